#include "device/CommandSlot.h"

#include <cstdlib>
#include <string>

#include "VeltraxControlPrivate"
#include "log/Log.h"

namespace vxctl {

namespace {

// Releasing a slot that is free, or that a thread still waits on, is a
// fault of the library itself: reported under its fixed number, the same in
// every build, then the process ends.
enum class SlotInvariant { ReleasedWhileFree = 2051, ReleasedWhileWaited = 2052 };

[[noreturn]] void brokenSlotInvariant(SlotInvariant which) {
    logLine("Assertion failed in src/VeltraxCTL, line " + std::to_string(static_cast<int>(which)), 1);
    std::abort();
}

constexpr uint32_t kCompletionReply = static_cast<uint32_t>(CommandType::Completion);
constexpr uint32_t kValueReply = static_cast<uint32_t>(CommandType::PropertyValue);

// A read's reply: the device's refusal, values of the wanted type, or
// something no read is answered with.
VX_CTL_Result readReply(const CommandSlot& slot, VX_CTL_DataType wanted) {
    if (slot.replyType == kCompletionReply) return slot.result;
    if (slot.replyType != kValueReply) return VX_CTL_UNEXPECTED_PACKET;
    return slot.dataType == wanted ? VX_CTL_OK : VX_CTL_INVALID_DATA_TYPE;
}

template <typename T>
VX_CTL_Result collectIntegers(const CommandSlot& slot, VX_CTL_DataType wanted, std::vector<T>* values) {
    if (const VX_CTL_Result result = readReply(slot, wanted); result != VX_CTL_OK) return result;
    values->clear();
    for (size_t at = 0; at + sizeof(T) <= slot.replyData.size(); at += sizeof(T)) {
        std::make_unsigned_t<T> raw = 0;
        for (size_t i = 0; i < sizeof(T); ++i) raw |= static_cast<decltype(raw)>(slot.replyData[at + i]) << (8 * i);
        values->push_back(static_cast<T>(raw));
    }
    return VX_CTL_OK;
}

}  // namespace

VX_CTL_Result collectValues(const CommandSlot& slot, std::vector<int32_t>* values) {
    return collectIntegers(slot, VX_CTL_DT_INT32, values);
}

VX_CTL_Result collectValues(const CommandSlot& slot, std::vector<int64_t>* values) {
    return collectIntegers(slot, VX_CTL_DT_INT64, values);
}

VX_CTL_Result collectText(const CommandSlot& slot, std::string* text) {
    if (const VX_CTL_Result result = readReply(slot, VX_CTL_DT_STRING); result != VX_CTL_OK) return result;
    const auto& data = slot.replyData;
    text->assign(data.begin(), data.empty() ? data.end() : data.end() - 1);
    return VX_CTL_OK;
}

VX_CTL_Result collectWrite(const CommandSlot& slot) {
    return slot.replyType == kCompletionReply ? slot.result : VX_CTL_INVALID_PACKET;
}

CommandSlotPool::CommandSlotPool() {
    for (size_t id = kFirstRequestId; id <= kLastRequestId; ++id) freeOrder_[freeCount_++] = static_cast<uint8_t>(id);
}

SlotRef CommandSlotPool::allocate(SlotKind kind) {
    if (freeCount_ == 0) return nullptr;
    const uint8_t id = freeOrder_[freeHead_];
    freeHead_ = (freeHead_ + 1) % freeOrder_.size();
    --freeCount_;
    CommandSlot& slot = slots_[id];
    slot.requestId = id;
    slot.state = SlotState::Allocated;
    slot.kind = kind;
    ++inUse_;
    return SlotRef(&slot, [this](CommandSlot* released) { release(released); },
                   BlockAllocator<CommandSlot>(&blocks_[id]));
}

void CommandSlotPool::waitForRelease(Lock& lock) {
    ++releaseWaiters_;
    released_.wait(lock);
    --releaseWaiters_;
}

void CommandSlotPool::waitForRelease(Lock& lock, CommandSlot::Clock::time_point until) {
    ++releaseWaiters_;
    released_.wait_until(lock, until);
    --releaseWaiters_;
}

void CommandSlotPool::release(CommandSlot* slot) {
    if (slot->state == SlotState::Free) brokenSlotInvariant(SlotInvariant::ReleasedWhileFree);
    if (slot->waiter) brokenSlotInvariant(SlotInvariant::ReleasedWhileWaited);
    const uint8_t id = slot->requestId;
    // The reply buffer keeps its capacity for the slot's next request.
    std::vector<uint8_t> replyBuffer = std::move(slot->replyData);
    replyBuffer.clear();
    *slot = CommandSlot{};
    slot->replyData = std::move(replyBuffer);
    freeOrder_[(freeHead_ + freeCount_) % freeOrder_.size()] = id;
    ++freeCount_;
    --inUse_;
    if (releaseWaiters_ > 0) released_.notify_all();
}

void CommandSlotPool::releaseAll() {
    for (CommandSlot& slot : slots_) {
        // Taken out first: dropping the last reference resets the record.
        SlotRef self = std::move(slot.self);
        SlotRef pending = std::move(slot.pending);
    }
}

void CommandSlotPool::wake(const CommandSlot& slot) {
    signals_[slot.requestId].fetch_add(1, std::memory_order_release);
    if (slot.waiter) conditions_[slot.requestId].notify_one();
}

void CommandSlotPool::wakeAll() {
    for (size_t id = 0; id < kSlotCount; ++id) {
        signals_[id].fetch_add(1, std::memory_order_release);
        conditions_[id].notify_all();
    }
    released_.notify_all();
}

}  // namespace vxctl
