/*
 * QMXControl: the controller API. Plain C interface; every function returns
 * a VX_STATUS unless noted.
 */
#ifndef QMX_CONTROL_H
#define QMX_CONTROL_H

#include <stdint.h>

#if defined(QMX_BUILD)
#define QMX_API __attribute__((visibility("default")))
#else
#define QMX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t VX_STATUS;
typedef uint32_t VX_PacketType;

/* The API packet record: answers and reports of asynchronous calls. */
typedef struct VX_packet {
    uint32_t packetType;
    uint32_t channelIndex;
    uint32_t data1;
    int32_t data2;
    int32_t data3;
    uint32_t data4;
} VX_packet;

/* Declarations of the VX_ functions follow. */

#ifdef __cplusplus
}
#endif

#endif /* QMX_CONTROL_H */
