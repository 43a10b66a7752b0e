#pragma once

#include <cstdint>

#include "QMXControl.h"

namespace qmx {

// The library's table of first-generation positioner types.
VX_STATUS listPositionerTypes(uint32_t* list, uint32_t* size);
VX_STATUS positionerTypeName(uint32_t type, char* name, uint32_t* size);
VX_STATUS positionerTypeProperty(uint32_t type, uint32_t property, uint32_t* value);

}  // namespace qmx
