#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QMXControl.h"
#include "VeltraxIO.h"

namespace qmx {

enum SystemKind : uint32_t { KindUnknown = 0, KindFirstGeneration = 1, KindSecondGeneration = 2 };

struct SystemEntry {
    uint32_t kind;
    std::string locator;
};

// Digits up to the first other character; false without any digit or
// beyond 32 bits.
bool readUnsigned32(std::string_view text, uint32_t* value);

// The locators of the attached first-generation USB systems, one
// "usb:id:" locator each, as the device I/O library lists them; the
// callers map its result to their own statuses.
VX_IO_Result listFirstGenerationUsb(std::vector<std::string>* locators);

// First-generation USB systems, then those the second-generation library
// finds (when it can be loaded).
VX_STATUS enumerateSystems(std::vector<SystemEntry>* list);

// Opens the system at `locator` ("usb:ix:" resolved first) and registers
// it: with `atIndex` in the init-list slot *index, otherwise in the first
// free handle slot, written to *index. A system that cannot be registered is
// closed again.
VX_STATUS openAndRegisterSystem(VX_SystemIndex* index, const char* locator, const char* options,
                                bool atIndex);

}  // namespace qmx
