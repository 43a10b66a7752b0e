#include "api/Registry.h"

#include <utility>

namespace qmx {

SystemRegistry::~SystemRegistry() { clear(); }

void SystemRegistry::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    clearLocked();
}

void SystemRegistry::clearLocked() {
    slots_.clear();
    initState_.store(kNotInitialized);
    initSystemsList_.clear();
}

std::shared_ptr<SystemBase> SystemRegistry::lookup(uint32_t index) {
    if (index >= kSlotCount) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_.find(index);
}

VX_STATUS SystemRegistry::putAtIndex(std::shared_ptr<SystemBase> system, uint32_t index) {
    if (index >= kInitSlotCount) return VX_INVALID_SYSTEM_INDEX;
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_.insertAt(index, std::move(system)) ? VX_OK : VX_TOO_MANY_SYSTEMS;
}

VX_STATUS SystemRegistry::putInFirstFree(std::shared_ptr<SystemBase> system, uint32_t* index) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto taken = slots_.insertFirstFree(std::move(system), kInitSlotCount, kSlotCount);
    if (!taken) return VX_TOO_MANY_SYSTEMS;
    if (index) *index = static_cast<uint32_t>(*taken);
    return VX_OK;
}

VX_STATUS SystemRegistry::releaseAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slots_.occupied() == 0) return VX_NOT_INITIALIZED;
    for (uint32_t i = 0; i < kInitSlotCount; ++i) {
        const std::shared_ptr<SystemBase> system = slots_.find(i);
        if (!system) continue;
        // A thread still waiting for a packet of this system must wake up
        // before the registry lets go of it.
        system->cancelWaitForPacket();
        slots_.take(i);
    }
    initState_.store(kNotInitialized);
    return VX_OK;
}

VX_STATUS SystemRegistry::closeOne(uint32_t index) {
    if (index < kInitSlotCount || index >= kSlotCount) return VX_INVALID_SYSTEM_INDEX;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<SystemBase> system = slots_.find(index);
    if (!system) return VX_INVALID_SYSTEM_INDEX;
    // Nothing can arrive once the connection is closed: a thread waiting
    // without limit for a packet of this system would wait for ever.
    system->cancelWaitForPacket();
    system->close();
    slots_.take(index);
    return VX_OK;
}

uint32_t SystemRegistry::occupiedCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint32_t>(slots_.occupied());
}

uint32_t SystemRegistry::occupiedInitSlotsLocked() const {
    uint32_t count = 0;
    slots_.forEach([&](size_t index, const std::shared_ptr<SystemBase>&) { count += index < kInitSlotCount; });
    return count;
}

SystemRegistry& systemRegistry() {
    static SystemRegistry registry;
    return registry;
}

namespace {
// Build the registry while the library loads, so that its first user never
// races another thread to construct it.
[[maybe_unused]] const bool registryBuilt = (systemRegistry(), true);
}  // namespace

}  // namespace qmx
