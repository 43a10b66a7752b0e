#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "sim/DiscoveryDevice.h"
#include "sim/StopSignals.h"

namespace vxsim {

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vxsim-discovery --iface ADDRESS [--serial TEXT] [--type N] [--protocol N]\n"
                 "                       [--port N] [--info TEXT] [--unavailable]\n"
                 "                       [--reply unicast|broadcast|multicast|limited] [--inform]\n");
    return 2;
}

bool number(const char* text, unsigned long max, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 0);
    return errno == 0 && end != text && *end == '\0' && value <= max;
}

}  // namespace

int runDiscoveryProgram(int argc, char** argv) {
    std::string iface;
    DiscoveryIdentity identity;
    DiscoveryRoute route = DiscoveryRoute::Unicast;
    bool inform = false;

    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        unsigned long value = 0;
        if (option == "--unavailable") {
            identity.available = false;
        } else if (option == "--inform") {
            inform = true;
        } else if (!hasValue) {
            return usage();
        } else if (option == "--iface") {
            iface = argv[++i];
        } else if (option == "--serial") {
            identity.serialNumber = argv[++i];
        } else if (option == "--info") {
            identity.info = argv[++i];
        } else if (option == "--type" && number(argv[i + 1], 0xFFFFFFFFul, value)) {
            identity.deviceType = static_cast<uint32_t>(value);
            ++i;
        } else if (option == "--protocol" && number(argv[i + 1], 0xFF, value)) {
            identity.protocolId = static_cast<uint8_t>(value);
            ++i;
        } else if (option == "--port" && number(argv[i + 1], 0xFFFF, value)) {
            identity.port = static_cast<uint16_t>(value);
            ++i;
        } else if (option == "--reply") {
            const std::string name = argv[++i];
            if (name == "unicast") route = DiscoveryRoute::Unicast;
            else if (name == "broadcast") route = DiscoveryRoute::Broadcast;
            else if (name == "multicast") route = DiscoveryRoute::Multicast;
            else if (name == "limited") route = DiscoveryRoute::LimitedBroadcast;
            else return usage();
        } else {
            return usage();
        }
    }
    if (iface.empty()) return usage();

    // Blocked before the device's thread starts, so that only sigwait sees them.
    sigset_t stopSignals;
    blockStopSignals(&stopSignals);

    try {
        DiscoveryDevice device(iface, identity);
        device.setReplyRoute(route);
        if (inform) device.sendInform();
        std::printf("ready\n");
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stopSignals, &signal);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vxsim-discovery: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace vxsim
