#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "QMXControl.h"

namespace qmx {

// What the device I/O library is asked for when it lists USB systems: one
// "usb:id:" line per first-generation controller.
inline constexpr const char* kProductOptionText = "product-name Veltrax QMX-I\ninclude-id\n";

// Buffer for the device lists read from the I/O library.
inline constexpr size_t kEnumerationCapacity = 4096;

enum SystemKind : uint32_t { KindUnknown = 0, KindFirstGeneration = 1, KindSecondGeneration = 2 };

struct SystemEntry {
    uint32_t kind;
    std::string locator;
};

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
