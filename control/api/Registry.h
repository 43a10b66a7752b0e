#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "QMXControl.h"
#include "platform/SlotTable.h"
#include "systems/SystemBase.h"

namespace qmx {

// The one process-wide table of open systems: slots 0 to 31 belong to the
// init list, 32 to 63 to handles of VX_OpenSystem. Every operation holds the
// registry mutex for its whole duration, including the calls it makes on
// systems and the destruction that dropping a reference may cause.
class SystemRegistry {
public:
    static constexpr uint32_t kSlotCount = 64;
    static constexpr uint32_t kInitSlotCount = 32;
    static constexpr uint32_t kInitListCapacity = 64;

    // Init states.
    static constexpr uint32_t kNotInitialized = 0;
    static constexpr uint32_t kInitializedSync = 1;
    static constexpr uint32_t kInitializedAsync = 2;

    SystemRegistry() = default;
    ~SystemRegistry();
    SystemRegistry(const SystemRegistry&) = delete;
    SystemRegistry& operator=(const SystemRegistry&) = delete;

    // Drops every slot, sets the count and the init state to 0 and empties
    // the init-systems list; calls no operation of the systems.
    void clear();

    // A copy of the reference in slot `index`; empty for an empty slot or an
    // index of 64 and above (the caller's status 5).
    std::shared_ptr<SystemBase> lookup(uint32_t index);

    // Init-list slots only: 0, 4 when occupied, 5 for an index of 32 or more.
    VX_STATUS putAtIndex(std::shared_ptr<SystemBase> system, uint32_t index);

    // First free handle of 32 to 63 into *index: 0, or 4 when all are used.
    VX_STATUS putInFirstFree(std::shared_ptr<SystemBase> system, uint32_t* index);

    // Cancels the waits of and drops every init-list system, sets the init
    // state to 0; handles stay. 2 when nothing at all is open.
    VX_STATUS releaseAll();

    // Wakes a thread waiting for a packet of a handle of 32 to 63, closes
    // the handle and drops it; 5 for any other index or an empty slot.
    VX_STATUS closeOne(uint32_t index);

    uint32_t occupiedCount();

    // The init state may be stored without the mutex (by VX_InitSystems
    // after its opens), so it is a single atomic word.
    uint32_t initState() const { return initState_.load(); }
    void setInitState(uint32_t state) { initState_.store(state); }

    // The registry mutex, for the init-list exports that read or change the
    // list and the init state directly and write their return lines while
    // holding it. The *Locked members below need it held.
    std::mutex& mutex() { return mutex_; }
    std::vector<uint32_t>& initSystemsListLocked() { return initSystemsList_; }
    uint32_t occupiedInitSlotsLocked() const;

private:
    void clearLocked();

    std::mutex mutex_;
    vxplatform::SlotTable<SystemBase, kSlotCount> slots_;
    std::atomic<uint32_t> initState_{kNotInitialized};
    std::vector<uint32_t> initSystemsList_;
};

// The library's registry, built (and cleared) when the library is loaded.
SystemRegistry& systemRegistry();

}  // namespace qmx
