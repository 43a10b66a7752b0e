/*
 * VeltraxCTL: the library for second-generation controllers. A program
 * reaches a controller's properties by a 32-bit key and an 8-bit index of
 * the device, module or channel; the library frames each request, matches
 * the controller's replies to it and reports the outcome as a VX_CTL_Result.
 *
 * Plain C interface. Every function that does not return a text returns a
 * VX_CTL_Result. Texts are 8-bit and NUL-terminated.
 */
#ifndef VELTRAX_CTL_H
#define VELTRAX_CTL_H

#include <stddef.h>
#include <stdint.h>

#if defined(VX_CTL_BUILD)
#define VX_CTL_API __attribute__((visibility("default")))
#else
#define VX_CTL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Outcome of a call or of a request: 0 is no error; codes below 0x8000 are
 * reported by the controller in its replies, codes from 0xF000 are the
 * library's own.
 */
typedef uint32_t VX_CTL_Result;

#define VX_CTL_OK ((VX_CTL_Result)0x0000)
/* A frame from the controller was damaged or malformed: its check sum did
   not match, it was too short for its kind, it named no valid request, or
   its values did not fit in it. */
#define VX_CTL_INVALID_PACKET ((VX_CTL_Result)0x0010)

/*
 * A property key: component selector in bits 31 to 24, sub-component
 * selector in bits 23 to 16, property number in bits 15 to 0. Passed to the
 * controller unchanged.
 */
typedef uint32_t VX_CTL_PropertyKey;

/* Identifies an asynchronous property request, 1 to 239. */
typedef uint8_t VX_CTL_RequestID;

/* 0 sends a request at once; 1 to 31 names an output buffer or a command
   group of the device that collects it. */
typedef uint32_t VX_CTL_TransmitHandle;

/* Type of a property value. */
typedef uint32_t VX_CTL_DataType;

#define VX_CTL_DT_INT32 ((VX_CTL_DataType)0x06)  /* signed 32-bit */
#define VX_CTL_DT_INT64 ((VX_CTL_DataType)0x0E)  /* signed 64-bit */
#define VX_CTL_DT_STRING ((VX_CTL_DataType)0x12) /* NUL-terminated text */

/* The library's version as text, "major.minor.update.build". Never null;
   owned by the library. */
VX_CTL_API const char* VX_CTL_GetFullVersionString(void);

#ifdef __cplusplus
}
#endif

#endif /* VELTRAX_CTL_H */
