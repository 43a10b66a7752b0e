#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "VeltraxCTL.h"
#include "packet/FrameReceiver.h"

namespace vxctl {

// Slot 0 is never used: its ID is the request nobody waits for.
inline constexpr size_t kSlotCount = kLastRequestId + 1;

enum class SlotState : int32_t { Free = 0, Allocated = 1, Queued = 2, Sent = 3, Cancelled = 4, Completed = 5 };
enum class SlotKind : int32_t { Read = 0, Write = 1 };

// Data type of a slot that holds none.
inline constexpr uint8_t kNoDataType = 0xFF;

// One request that awaits an answer from the controller; its index in the
// pool is the request ID on the wire. Every field is guarded by the device
// mutex.
struct CommandSlot {
    using Clock = std::chrono::steady_clock;

    uint8_t requestId = 0;
    SlotState state = SlotState::Free;
    SlotKind kind = SlotKind::Read;
    bool waiter = false;
    bool notify = false;
    VX_CTL_TransmitHandle handle = 0;
    std::optional<Clock::time_point> sendTime;  // empty: not sent
    uint32_t replyType = 0;                     // 0x81 completion, 0x82 values
    std::vector<uint8_t> replyData;
    VX_CTL_Result result = 0;
    uint8_t dataType = kNoDataType;
    uint8_t index = 0;
    uint32_t key = 0;
    // Completed by its deadline while its reply may still come: the ID
    // stays taken (the pending reference) until the reply comes or can no
    // longer come.
    bool timedOut = false;
    // Where its frame went out, to tell the replies that came after it: the
    // connection, and the device's send clock as the send began and once it
    // had ended (0 while not known to have ended).
    uint64_t line = 0;
    uint64_t sendBegan = 0;
    uint64_t sendEnded = 0;
    // In a command group that has not run: answered at the group's trigger,
    // after requests sent later.
    bool awaitsTrigger = false;
    // Held by the slot itself while an asynchronous request is outstanding.
    std::shared_ptr<CommandSlot> self;
    // Held while the request is sent and its reply may still come.
    std::shared_ptr<CommandSlot> pending;
};

using SlotRef = std::shared_ptr<CommandSlot>;

// The 239 slots of one device. A slot is handed out as a shared reference
// whose last release resets the record, lowers the count in use and wakes
// the callers waiting for a free slot: a request ID is free again only when
// nobody (the caller, an outstanding asynchronous request, a reply still to
// come) holds it. Used only under the device mutex, which every release
// also runs under.
//
// The ID handed out is the one free for longest, so that a reply the
// controller repeats or sends late finds its ID free rather than taken by
// a newer request; when none was free, a waiting caller gets the one just
// released.
//
// Each slot has its own condition and signal count, so that its answer
// wakes only the one caller waiting for it, and that caller may watch the
// count for a short while without the mutex before it sleeps.
class CommandSlotPool {
public:
    using Lock = std::unique_lock<std::mutex>;

    CommandSlotPool();
    // Drops what the slots hold of themselves.
    ~CommandSlotPool() { releaseAll(); }
    CommandSlotPool(const CommandSlotPool&) = delete;
    CommandSlotPool& operator=(const CommandSlotPool&) = delete;

    // The slot free for longest, allocated to `kind`; null when all are in
    // use.
    SlotRef allocate(SlotKind kind);
    // Waits until a slot is released or wakeAll is called.
    void waitForRelease(Lock& lock);
    void waitForRelease(Lock& lock, CommandSlot::Clock::time_point until);
    // Wakes the callers waiting for a release, to look at the slots again.
    void wakeReleaseWaiters() {
        if (releaseWaiters_ > 0) released_.notify_all();
    }
    size_t inUse() const { return inUse_; }
    CommandSlot& slot(uint8_t requestId) { return slots_[requestId]; }
    const CommandSlot& slot(uint8_t requestId) const { return slots_[requestId]; }
    // Drops every self and pending reference, so that each slot returns once
    // its callers let go. For a device that closes.
    void releaseAll();

    // Wakes the caller waiting for `slot`, after its state changed.
    void wake(const CommandSlot& slot);
    // Wakes every waiter of every slot and of a release: for a change of
    // the whole device (closing, connection lost).
    void wakeAll();
    std::condition_variable& condition(const CommandSlot& slot) { return conditions_[slot.requestId]; }
    // Changes with every wake of the slot; read without the mutex.
    uint32_t signals(uint8_t requestId) const { return signals_[requestId].load(std::memory_order_acquire); }

private:
    // Room for the control block of a slot's shared reference: a slot has
    // one at a time, and its last release, under the device mutex, ends it
    // before the slot can be handed out again. A request allocates nothing.
    struct alignas(std::max_align_t) ReferenceBlock {
        std::byte bytes[64];
    };
    template <typename T>
    struct BlockAllocator {
        using value_type = T;
        explicit BlockAllocator(ReferenceBlock* room) : block(room) {}
        template <typename U>
        BlockAllocator(const BlockAllocator<U>& other) : block(other.block) {}
        T* allocate(size_t n) {
            static_assert(sizeof(T) <= sizeof(ReferenceBlock) && alignof(T) <= alignof(ReferenceBlock));
            if (n != 1) throw std::bad_alloc();
            return reinterpret_cast<T*>(block->bytes);
        }
        void deallocate(T*, size_t) {}
        template <typename U>
        bool operator==(const BlockAllocator<U>& other) const {
            return block == other.block;
        }
        ReferenceBlock* block;
    };

    void release(CommandSlot* slot);

    std::array<ReferenceBlock, kSlotCount> blocks_;
    alignas(32) std::array<CommandSlot, kSlotCount> slots_{};
    std::array<std::condition_variable, kSlotCount> conditions_;
    std::array<std::atomic<uint32_t>, kSlotCount> signals_{};
    // The free IDs in the order they were freed: a ring of freeCount_
    // entries from freeHead_.
    std::array<uint8_t, kSlotCount - 1> freeOrder_{};
    size_t freeHead_ = 0;
    size_t freeCount_ = 0;
    std::condition_variable released_;
    size_t releaseWaiters_ = 0;
    size_t inUse_ = 0;
};

// What a completed slot gives the caller of a read of that type, or of a
// write.
VX_CTL_Result collectValues(const CommandSlot& slot, std::vector<int32_t>* values);
VX_CTL_Result collectValues(const CommandSlot& slot, std::vector<int64_t>* values);
VX_CTL_Result collectText(const CommandSlot& slot, std::string* text);
VX_CTL_Result collectWrite(const CommandSlot& slot);

}  // namespace vxctl
