#pragma once

#include <cstdint>

#include "QMXControl.h"
#include "common/StatusCodes.h"

namespace qmx {

// The library's version: major 3, minor 0, update 23 packed from the most
// to the least significant bits, and the full text with the build number.
inline constexpr uint32_t kLibraryVersion = 0x03000017;
inline constexpr const char* kLibraryVersionText = "3.0.23.63405";

// The static text of a status code, or the text for an unknown code.
const char* statusText(VX_STATUS status);

// Whether the code has a row of its own; `text` gets statusText(status).
bool lookupStatusText(VX_STATUS status, const char** text);

}  // namespace qmx
