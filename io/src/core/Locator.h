#pragma once

#include <string>

#include "VeltraxIO.h"

namespace vxio {

// Interface kind named by the text before the first colon: writes 1 (usb),
// 2 (network) or 3 (serial) and returns 0; otherwise writes 0 and returns 2.
VX_IO_Result locatorInterfaceType(const std::string& locator, int* type);

}  // namespace vxio
