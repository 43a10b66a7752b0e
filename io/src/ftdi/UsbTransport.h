#pragma once

#include <memory>

#include "core/Transport.h"

namespace vxio {

// The USB row of the transport table.
extern const Transport kUsbTransport;

// The row's device maker, also used directly by the USB tests.
std::shared_ptr<IoDevice> createFtdiDevice(const DeviceParams& params);

}  // namespace vxio
