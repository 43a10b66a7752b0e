#pragma once

#include <cstdint>

namespace qmx {

class System;

// Milliseconds behind "open-timeout" in an option text; 3000 when absent.
int32_t parseOpenTimeout(const char* optionText);

// The channel's module word & 0xF000 is 0x2000, 0x6000 or 0xB000.
bool isPositionerChannel(const System& system, uint32_t channel);

}  // namespace qmx
