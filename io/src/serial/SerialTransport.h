#pragma once

// The serial row of the transport table, and its device maker for the
// tests that make a device without opening a handle.

#include "core/Transport.h"

namespace vxio {

extern const Transport kSerialTransport;
extern const DeviceMaker createSerialDevice;

}  // namespace vxio
