#pragma once

#include <memory>

#include "core/Transport.h"

namespace vxio {

// The serial row of the transport table.
extern const Transport kSerialTransport;

// The row's device maker, also used directly by the serial tests.
std::shared_ptr<IoDevice> createSerialDevice(const DeviceParams& params);

}  // namespace vxio
