/*
 * A tour of the controller API: open a controller system, look at its
 * channels, move one closed-loop, then do the same queries and a move
 * reported on completion asynchronously. Either controller generation.
 * Usage: qmx_demo LOCATOR   (for example network:127.0.0.1:5000)
 */
/* clock_gettime and nanosleep are POSIX, beyond strict C99. */
#define _POSIX_C_SOURCE 200809L

#include <stdio.h>
#include <string.h>
#include <time.h>

#include "QMXControl.h"

/* The library describes each system it opens in its "Opened System" log
   line; a second-generation system gives no description. */
static void showLogMessage(const char* message, unsigned int reserved) {
    (void)reserved;
    if (strncmp(message, "Opened System", 13) != 0) return;
    size_t length = strlen(message);
    while (length > 0 && (message[length - 1] == '\n' || message[length - 1] == ' ')) --length;
    if (length > 0 && message[length - 1] == ':')
        printf("%.*s (the system gives no description)\n", (int)length, message);
    else
        printf("%s\n", message);
}

static int failed(const char* what, VX_STATUS status) {
    if (status == VX_OK) return 0;
    printf("%s failed: %s (status %u)\n", what, VX_GetStatusText(status), status);
    return 1;
}

static double secondsSince(const struct timespec* start) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)(now.tv_sec - start->tv_sec) + (double)(now.tv_nsec - start->tv_nsec) / 1e9;
}

static const char* channelKind(unsigned int type) {
    return type == VX_CHANNEL_END_EFFECTOR ? "end effector" : "positioner";
}

/* Moves channel 0 to `target` nanometres and prints its way there. */
static int moveAndWatch(VX_SystemIndex system, int target) {
    /* 500 um/s, so that the way there can be watched. */
    if (failed("Setting the speed", VX_SetClosedLoopMoveSpeed_S(system, 0, 500000))) return 1;
    printf("\nMoving channel 0 closed-loop to %d nm at 500 um/s:\n", target);
    if (failed("Starting the move", VX_GotoPositionAbsolute_S(system, 0, target, 0))) return 1;

    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    int position = 0;
    for (;;) {
        if (failed("Reading the position", VX_GetPosition_S(system, 0, &position))) return 1;
        printf("  position %10d nm\n", position);
        if (position == target) break;
        if (secondsSince(&start) > 15.0) {
            printf("The channel did not arrive within 15 s.\n");
            return 1;
        }
        struct timespec pause = {0, 100 * 1000 * 1000};
        nanosleep(&pause, NULL); /* pacing the printout, not waiting for an event */
    }
    if (failed("Reading the position back", VX_GetPosition_S(system, 0, &position))) return 1;
    printf("Arrived: the controller reports %d nm for channel 0.\n", position);
    return 0;
}

static void describePacket(const VX_packet* p) {
    switch (p->packetType) {
    case VX_PACKET_POSITION:
        printf("  channel %u: position %d nm\n", p->channelIndex, p->data2);
        break;
    case VX_PACKET_STATUS:
        printf("  channel %u: status %u\n", p->channelIndex, p->data1);
        break;
    case VX_PACKET_SENSOR_TYPE:
        printf("  channel %u: sensor type %u\n", p->channelIndex, p->data1);
        break;
    case VX_PACKET_ERROR:
        printf("  channel %u: error %s\n", p->channelIndex, VX_GetStatusText(p->data1));
        break;
    default:
        printf("  channel %u: packet of type %u\n", p->channelIndex, p->packetType);
    }
}

static int asynchronousTour(const char* locator, unsigned int channels) {
    printf("\nOpening the system again in asynchronous mode: requests only send,\n"
           "answers come back as packets.\n");
    VX_SystemIndex system;
    if (failed("Opening", VX_OpenSystem(&system, locator, "async"))) return 1;

    unsigned int requests = 0;
    for (unsigned int ch = 0; ch < channels; ++ch) {
        if (failed("Sending a position request", VX_GetPosition_A(system, ch))) goto fail;
        if (failed("Sending a status request", VX_GetStatus_A(system, ch))) goto fail;
        requests += 2;
    }
    printf("Sent %u requests; collecting the answers:\n", requests);
    for (unsigned int i = 0; i < requests; ++i) {
        VX_packet packet;
        if (failed("Receiving", VX_ReceiveNextPacket_A(system, 1000, &packet))) goto fail;
        if (packet.packetType == VX_PACKET_NONE) {
            printf("  no answer within 1000 ms\n");
            goto fail;
        }
        describePacket(&packet);
    }

    /* A move that reports its end: with report-on-complete on, the channel
       sends a completion packet when it arrives. */
    printf("\nMoving channel 0 back to 0 nm, reported on completion:\n");
    if (failed("Switching report-on-complete on", VX_SetReportOnComplete_A(system, 0, 1))) goto fail;
    if (failed("Starting the move", VX_GotoPositionAbsolute_A(system, 0, 0, 0))) goto fail;
    for (;;) {
        VX_packet packet;
        if (failed("Receiving", VX_ReceiveNextPacket_A(system, 15000, &packet))) goto fail;
        if (packet.packetType == VX_PACKET_NONE) {
            printf("  no completion within 15 s\n");
            goto fail;
        }
        if (packet.packetType == VX_PACKET_MOVEMENT_COMPLETED) {
            printf("  channel %u: movement completed\n", packet.channelIndex);
            break;
        }
        describePacket(&packet);
    }
    if (failed("Sending a position request", VX_GetPosition_A(system, 0))) goto fail;
    {
        VX_packet packet;
        if (failed("Receiving", VX_ReceiveNextPacket_A(system, 1000, &packet))) goto fail;
        describePacket(&packet);
    }
    VX_CloseSystem(system);
    return 0;
fail:
    VX_CloseSystem(system);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s LOCATOR\n", argv[0]);
        return 2;
    }
    const char* locator = argv[1];

    unsigned int version = 0;
    VX_GetDLLVersion(&version);
    printf("QMXControl %u.%u.%u\n", version >> 24, (version >> 16) & 0xFF, version & 0xFFFF);

    VX_SetLogHandler(showLogMessage);
    VX_SetLogLevel(1);

    printf("\nOpening the controller system at %s (synchronous mode):\n", locator);
    VX_SystemIndex system;
    if (failed("Opening", VX_OpenSystem(&system, locator, NULL))) return 1;
    VX_SetLogLevel(0);
    printf("Opened as system %u.\n", system);

    unsigned int channels = 0;
    if (failed("Counting channels", VX_GetNumberOfChannels(system, &channels))) goto fail;
    printf("\nThe system has %u channels:\n", channels);
    for (unsigned int ch = 0; ch < channels; ++ch) {
        unsigned int type = 0, positioner = 0;
        if (failed("Reading a channel type", VX_GetChannelType(system, ch, &type))) goto fail;
        /* A second-generation system reports every channel as type 0. */
        printf("  channel %u: %s", ch, channelKind(type));
        if (type == VX_CHANNEL_POSITIONER &&
            VX_GetPositionerType_S(system, ch, &positioner) == VX_OK) {
            char name[64];
            unsigned int size = sizeof name;
            if (VX_GetPositionerTypeName(system, positioner, name, &size) == VX_OK)
                printf(", positioner type %u (%s)", positioner, name);
            else
                printf(", positioner type %u", positioner);
        }
        printf("\n");
    }

    if (channels == 0) {
        printf("No channel to move.\n");
        goto fail;
    }
    if (moveAndWatch(system, 250000)) goto fail;

    VX_CloseSystem(system);
    printf("Closed the system.\n");

    if (asynchronousTour(locator, channels)) return 1;
    printf("\nDone: the asynchronous system is closed too.\n");
    return 0;

fail:
    VX_CloseSystem(system);
    return 1;
}
