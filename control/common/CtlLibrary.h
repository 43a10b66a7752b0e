#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "QMXControl.h"

namespace qmx {

inline constexpr const char* kVeltraxCTLFileName = "libVeltraxCTL.so";

// The second-generation library is loaded once per process, from beside
// this library first and then from the normal search path, and stays loaded.
// A failed load is tried again at the next call. Safe on any thread.
bool loadVeltraxCTL();

// The address of an export of the loaded library; null when the library is
// not loaded or lacks the name.
void* veltraxCTLSymbol(const char* name);

// Which file loadVeltraxCTL looks for while nothing is loaded yet; tests
// point it at a double, or at a file that does not exist.
void setVeltraxCTLFileName(const std::string& fileName);

// The second-generation locators that the library's device search finds,
// in order. 1 when the library or its search cannot be loaded, else the
// mapped result of the search.
VX_STATUS findVeltraxCTLDevices(std::vector<std::string>* locators);

// Status code of a second-generation library result; 255 for a code
// without a mapping.
VX_STATUS mapCtlResult(uint32_t result);

}  // namespace qmx
