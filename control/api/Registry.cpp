#include "api/Registry.h"

#include <utility>

namespace qmx {

SystemRegistry::~SystemRegistry() { clear(); }

void SystemRegistry::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    clearLocked();
}

void SystemRegistry::clearLocked() {
    for (auto& slot : slots_) slot.reset();
    occupied_ = 0;
    initState_.store(kNotInitialized);
    initSystemsList_.clear();
}

std::shared_ptr<SystemBase> SystemRegistry::lookup(uint32_t index) {
    if (index >= kSlotCount) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_[index];
}

VX_STATUS SystemRegistry::putAtIndex(std::shared_ptr<SystemBase> system, uint32_t index) {
    if (index >= kInitSlotCount) return kInvalidSystemIndex;
    std::lock_guard<std::mutex> lock(mutex_);
    if (slots_[index]) return kTooManySystems;
    slots_[index] = std::move(system);
    ++occupied_;
    return kOk;
}

VX_STATUS SystemRegistry::putInFirstFree(std::shared_ptr<SystemBase> system, uint32_t* index) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (uint32_t i = kInitSlotCount; i < kSlotCount; ++i) {
        if (slots_[i]) continue;
        slots_[i] = std::move(system);
        ++occupied_;
        if (index) *index = i;
        return kOk;
    }
    return kTooManySystems;
}

VX_STATUS SystemRegistry::releaseAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (occupied_ == 0) return kUninitialized;
    for (uint32_t i = 0; i < kInitSlotCount; ++i) {
        if (!slots_[i]) continue;
        // A thread still waiting for a packet of this system must wake up
        // before the registry lets go of it.
        slots_[i]->cancelWaitForPacket();
        slots_[i].reset();
        --occupied_;
    }
    initState_.store(kNotInitialized);
    return kOk;
}

VX_STATUS SystemRegistry::closeOne(uint32_t index) {
    if (index < kInitSlotCount || index >= kSlotCount) return kInvalidSystemIndex;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!slots_[index]) return kInvalidSystemIndex;
    // Nothing can arrive once the connection is closed: a thread waiting
    // without limit for a packet of this system would wait for ever.
    slots_[index]->cancelWaitForPacket();
    slots_[index]->close();
    slots_[index].reset();
    --occupied_;
    return kOk;
}

uint32_t SystemRegistry::occupiedCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return occupied_;
}

uint32_t SystemRegistry::occupiedInitSlotsLocked() const {
    uint32_t count = 0;
    for (uint32_t i = 0; i < kInitSlotCount; ++i) {
        if (slots_[i]) ++count;
    }
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
