#include "QMXControl.h"

/* Uses the library from C: a packet record, the version, an unknown system
 * and the library's positioner table. Returns the version, or a small
 * number naming the step that went wrong. */
unsigned int qmxPublicHeaderFromC(void) {
    VX_packet packet = {VX_PACKET_NONE, 0, 0, 0, 0, 0};
    unsigned int version = 0;
    unsigned int value = 0;
    if (sizeof packet != 24) return 1;
    if (VX_GetDLLVersion(&version) != 0) return 2;
    if (VX_ReceiveNextPacket_A(64, 0, &packet) != 5) return 3;
    if (VX_GetPositionerTypeProperty(VX_NO_SYSTEM, 13, 2, &value) != 0 || value != 0) return 4;
    return version;
}
