#pragma once

#include <string>

#include "VeltraxIO.h"
#include "core/Transport.h"

namespace vxio {

// The row of the text before the first colon, and what follows it; no row
// without a colon or for a kind no transport has.
ParsedLocator parseLocator(const std::string& locator);

// Interface kind named by the text before the first colon: writes its type
// and returns 0; otherwise writes 0 and returns 2.
VX_IO_Result locatorInterfaceType(const std::string& locator, int* type);

}  // namespace vxio
