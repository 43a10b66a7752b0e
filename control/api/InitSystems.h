#pragma once

#include <cstdint>

#include "QMXControl.h"
#include "api/Registry.h"

namespace qmx {

// The init list and the first-generation USB systems that VX_InitSystems
// opens into the registry's init-list slots: one member for each export
// around it. The *Locked members need the registry mutex held.
class InitSystems {
public:
    explicit InitSystems(SystemRegistry& registry) : registry_(registry) {}

    // The ids of the attached systems: up to the capacity *count into
    // `idList`, *count becoming the number found.
    VX_STATUS availableSystems(unsigned int* idList, unsigned int* count);

    // The list may change only while nothing is initialised.
    VX_STATUS addToListLocked(uint32_t systemId);
    VX_STATUS clearListLocked();

    // Bit 0 of `configuration` asks for the asynchronous mode, bit 1 for a
    // reset of each system; the listed systems that are attached (all
    // attached ones for an empty list) are opened into slots 0, 1, ...
    VX_STATUS initialize(unsigned int configuration);

    VX_STATUS stateLocked(unsigned int* state);
    VX_STATUS numberOfSystemsLocked(unsigned int* number);

    // Drops the init-list systems; handles stay open.
    VX_STATUS release();

private:
    SystemRegistry& registry_;
};

}  // namespace qmx
