// Property access of a device: command slots, the synchronous and
// asynchronous reads and writes, and the properties the library answers
// itself.

#include "device/Device.h"
#include "log/Log.h"
#include "platform/Spin.h"

namespace vxctl {

namespace {

constexpr uint32_t kCompletionReply = static_cast<uint32_t>(CommandType::Completion);
constexpr uint32_t kValueReply = static_cast<uint32_t>(CommandType::PropertyValue);

// The longest writes one frame carries.
constexpr size_t kMaxInt32Values = 59;
constexpr size_t kMaxInt64Values = 29;
constexpr size_t kMaxTextLength = 63;

// About a round trip over the network: slower replies are waited for asleep.
constexpr auto kSpinLength = std::chrono::microseconds(150);

bool zeroOrOne(const int32_t& value) { return value == 0 || value == 1; }

// The number of values a read was answered with, as the request-ready
// event reports it.
uint8_t valueCount(const CommandSlot& slot) {
    if (slot.kind != SlotKind::Read || slot.replyType != kValueReply) return 0;
    const size_t size = slot.replyData.size();
    switch (slot.dataType) {
    case VX_CTL_DT_INT32:
    case kDataTypeOther32:
        return static_cast<uint8_t>(size / 4);
    case VX_CTL_DT_INT64:
    case kDataTypeOther64:
        return static_cast<uint8_t>(size / 8);
    case VX_CTL_DT_STRING:
        return static_cast<uint8_t>(size == 0 ? 0 : size - 1);
    default:
        return 0;
    }
}

VX_CTL_Event requestReadyEvent(const CommandSlot& slot) {
    VX_CTL_Event event{};
    event.idx = slot.requestId;
    event.type = VX_CTL_EVENT_REQUEST_READY;
    event.value.bytes[0] = slot.requestId;
    event.value.bytes[1] = static_cast<uint8_t>(slot.kind);
    event.value.bytes[2] = slot.dataType;
    event.value.bytes[3] = valueCount(slot);
    for (size_t i = 0; i < 4; ++i) event.value.bytes[4 + i] = static_cast<uint8_t>(slot.key >> (8 * i));
    return event;
}

template <typename T>
std::span<const T> valuesOf(const T* values, bool isArray, size_t count) {
    return std::span<const T>(values, isArray ? count : 1);
}

}  // namespace

void Device::registerLibraryProperties() {
    using detail::PropertyWrapperGetSet;
    using detail::PropertyWrapperRef;
    libraryProperties_[kRequestReadyEventsKey] =
        std::make_shared<PropertyWrapperRef<int32_t>>(requestReadyEvents_, zeroOrOne);
    libraryProperties_[kAutoReconnectKey] = std::make_shared<PropertyWrapperRef<int32_t>>(autoReconnect_, zeroOrOne);
    libraryProperties_[kLogLevelKey] = std::make_shared<PropertyWrapperGetSet<int32_t>>(
        [](int32_t* level) {
            *level = logLevel();
            return VX_CTL_OK;
        },
        [](const int32_t& level) {
            setLogLevel(level);
            return VX_CTL_OK;
        });
    // The setter only notes the wish: the write path switches device
    // logging with the mutex released (switchDeviceLogging).
    libraryProperties_[kDeviceLoggingKey] = std::make_shared<PropertyWrapperGetSet<int32_t>>(
        [this](int32_t* on) {
            *on = deviceLogging_ ? 1 : 0;
            return VX_CTL_OK;
        },
        [this](const int32_t& on) {
            if (!zeroOrOne(on)) return VX_CTL_INVALID_PARAMETER;
            deviceLoggingWanted_ = on == 1;
            return VX_CTL_OK;
        });
    libraryProperties_[kLogPathKey] = std::make_shared<PropertyWrapperGetSet<std::string>>(
        [](std::string* path) {
            *path = logPath();
            return VX_CTL_OK;
        },
        nullptr);
}

VX_CTL_Result Device::allocateSlot(Lock& lock, SlotKind kind, SlotRef* slot) {
    std::optional<Clock::time_point> giveUpAt;
    while (!(*slot = slots_.allocate(kind))) {
        if (closing_) return VX_CTL_CANCELED;
        if (!connection_ && !reconnectPending_) return VX_CTL_COMMUNICATION_FAILED;
        if (idsHeldForLateReplies() == 0) {
            // A request in flight ends by its deadline, one collected or
            // flushed by its caller.
            giveUpAt.reset();
            slots_.waitForRelease(lock);
            continue;
        }
        if (probeLateReplies(lock)) continue;
        // An ID held for a late reply is freed only by an answer of the
        // controller: waited for as long as for a reply.
        const Clock::time_point now = Clock::now();
        if (!giveUpAt) giveUpAt = now + timing_.request;
        if (now >= *giveUpAt) return VX_CTL_TIMEOUT;
        slots_.waitForRelease(lock, *giveUpAt);
    }
    return VX_CTL_OK;
}

void Device::completeSlot(CommandSlot& slot, uint32_t replyType, VX_CTL_Result result) {
    // Held to the end: it may be the last reference, whose release resets
    // the record.
    const SlotRef pending = std::move(slot.pending);
    slot.replyType = replyType;
    slot.result = result;
    slot.state = SlotState::Completed;
    if (slot.notify && !slot.waiter) pushEventLocked(requestReadyEvent(slot));
    slots_.wake(slot);
}

void Device::cancelSlot(CommandSlot& slot) {
    if (slot.state == SlotState::Queued) transmits_.dropQueued(slot.handle, &slot);
    slot.handle = 0;
    slot.state = SlotState::Cancelled;
    // Sent, it keeps its ID until its reply comes or can no longer come;
    // sent in a group that has not run, it counts from now.
    if (slot.pending && !slot.sendTime) slot.sendTime = Clock::now();
    if (slot.pending) {
        if (slot.sendEnded != 0 && !replyMayCome(slot.line)) {
            slot.pending.reset();
        } else {
            lateRepliesHeld_ = true;
            slots_.wakeReleaseWaiters();
        }
    }
    slots_.wake(slot);
}

VX_CTL_Result Device::issueRead(Lock& lock, const SlotRef& slot, uint8_t index, VX_CTL_PropertyKey key,
                                VX_CTL_TransmitHandle handle) {
    slot->index = index;
    slot->key = key;
    const auto library = libraryProperties_.find(key);
    if (library == libraryProperties_.end()) {
        Packet frame = readPropertyFrame(slot->requestId, groupByte(handle), index, key);
        return send(lock, frame, handle, slot);
    }
    if (handle != 0) return VX_CTL_INVALID_PARAMETER;
    if (index != 0) {
        completeSlot(*slot, kCompletionReply, VX_CTL_INVALID_DEVICE_INDEX);
        return VX_CTL_OK;
    }
    std::vector<uint8_t> bytes;
    if (const VX_CTL_Result result = library->second->getBytes(&bytes); result != VX_CTL_OK) {
        completeSlot(*slot, kCompletionReply, result);
        return VX_CTL_OK;
    }
    slot->replyData = std::move(bytes);
    slot->dataType = library->second->dataType();
    completeSlot(*slot, kValueReply, VX_CTL_OK);
    return VX_CTL_OK;
}

VX_CTL_Result Device::libraryWrite(detail::PropertyWrapperBase& wrapper, uint8_t index, const WriteValues& data) {
    if (data.isArray) return VX_CTL_INVALID_DATA_TYPE;
    if (index != 0) return VX_CTL_INVALID_DEVICE_INDEX;
    if (const auto* values = std::get_if<std::span<const int32_t>>(&data.values)) {
        auto* typed = dynamic_cast<detail::PropertyWrapper<int32_t>*>(&wrapper);
        return typed ? typed->set(values->front()) : VX_CTL_INVALID_DATA_TYPE;
    }
    if (const auto* values = std::get_if<std::span<const int64_t>>(&data.values)) {
        auto* typed = dynamic_cast<detail::PropertyWrapper<int64_t>*>(&wrapper);
        return typed ? typed->set(values->front()) : VX_CTL_INVALID_DATA_TYPE;
    }
    auto* typed = dynamic_cast<detail::PropertyWrapper<std::string>*>(&wrapper);
    return typed ? typed->set(std::string(std::get<std::string_view>(data.values))) : VX_CTL_INVALID_DATA_TYPE;
}

VX_CTL_Result Device::issueWrite(Lock& lock, const SlotRef& slot, uint8_t index, VX_CTL_PropertyKey key,
                                 const WriteValues& data, VX_CTL_TransmitHandle handle) {
    uint8_t dataType = VX_CTL_DT_STRING;
    if (const auto* values = std::get_if<std::span<const int32_t>>(&data.values)) {
        if (values->size() > kMaxInt32Values) return VX_CTL_INVALID_ARRAY_SIZE;
        if (values->data() == nullptr && !values->empty()) return VX_CTL_INVALID_PARAMETER;
        dataType = VX_CTL_DT_INT32;
    } else if (const auto* values = std::get_if<std::span<const int64_t>>(&data.values)) {
        if (values->size() > kMaxInt64Values) return VX_CTL_INVALID_ARRAY_SIZE;
        if (values->data() == nullptr && !values->empty()) return VX_CTL_INVALID_PARAMETER;
        dataType = VX_CTL_DT_INT64;
    } else if (std::get<std::string_view>(data.values).size() > kMaxTextLength) {
        return VX_CTL_INVALID_PARAMETER;
    }
    if (slot) {
        slot->dataType = dataType;
        slot->index = index;
        slot->key = key;
    }

    const auto library = libraryProperties_.find(key);
    if (library == libraryProperties_.end()) {
        const uint8_t id = slot ? slot->requestId : 0;
        const uint8_t group = groupByte(handle);
        Packet frame = std::visit(
            [&](const auto& values) {
                using Values = std::decay_t<decltype(values)>;
                if constexpr (std::is_same_v<Values, std::string_view>) {
                    return writePropertyFrame(id, group, index, key, values);
                } else if (data.isArray) {
                    return writePropertyArrayFrame(id, group, index, key, values.data(),
                                                   static_cast<uint16_t>(values.size()));
                } else {
                    return writePropertyFrame(id, group, index, key, values.front());
                }
            },
            data.values);
        return send(lock, frame, handle, slot);
    }
    if (handle != 0) return VX_CTL_INVALID_PARAMETER;
    const VX_CTL_Result result = libraryWrite(*library->second, index, data);
    if (result == VX_CTL_OK && key == kDeviceLoggingKey) switchDeviceLogging(lock);
    if (slot) completeSlot(*slot, kCompletionReply, result);
    return VX_CTL_OK;
}

VX_CTL_Result Device::waitForSlot(Lock& lock, CommandSlot& slot, SlotKind kind) {
    if (closing_) return VX_CTL_CANCELED;
    if (slot.state == SlotState::Cancelled || slot.waiter) return VX_CTL_INVALID_PARAMETER;
    if (slot.kind != kind) {
        cancelSlot(slot);
        return VX_CTL_INVALID_PARAMETER;
    }
    if (slot.state == SlotState::Completed) return VX_CTL_OK;
    // No time limit here: the worker completes a sent request at its deadline.
    VX_CTL_Result result = VX_CTL_OK;
    slot.waiter = true;
    if (slot.state == SlotState::Sent) spinForReply(lock, slot);
    slots_.condition(slot).wait(lock, [&] {
        if (slot.state == SlotState::Completed) {
            result = VX_CTL_OK;
        } else if (closing_ || slot.state == SlotState::Cancelled) {
            result = VX_CTL_CANCELED;
        } else if (!connection_ && !reconnectPending_) {
            result = VX_CTL_COMMUNICATION_FAILED;
        } else {
            return false;
        }
        return true;
    });
    slot.waiter = false;
    return result;
}

void Device::spinForReply(Lock& lock, const CommandSlot& slot) {
    const uint8_t id = slot.requestId;
    const uint32_t seen = slots_.signals(id);
    const Clock::time_point until = Clock::now() + kSpinLength;
    lock.unlock();
    const bool signalled = vxplatform::spinUntil(until, [&] { return slots_.signals(id) != seen; });
    // The signalling thread lets go of the mutex a moment later: a caller
    // that blocked on it now would sleep and need another wake.
    if (signalled && vxplatform::spinUntil(until, [&] { return lock.try_lock(); })) return;
    lock.lock();
}

VX_CTL_Result Device::getPropertyLocked(Lock& lock, uint8_t index, VX_CTL_PropertyKey key, const Collect& collect) {
    SlotRef slot;
    VX_CTL_Result result = allocateSlot(lock, SlotKind::Read, &slot);
    if (result == VX_CTL_OK) result = issueRead(lock, slot, index, key, 0);
    if (result == VX_CTL_OK) result = waitForSlot(lock, *slot, SlotKind::Read);
    if (result == VX_CTL_OK) result = collect(*slot);
    return result;
}

VX_CTL_Result Device::getProperty(uint8_t index, VX_CTL_PropertyKey key, const Collect& collect) {
    Lock lock = lockSpinning();
    return getPropertyLocked(lock, index, key, collect);
}

VX_CTL_Result Device::getProperty_i32(uint8_t index, VX_CTL_PropertyKey key, std::vector<int32_t>* values) {
    return getProperty(index, key, [&](const CommandSlot& slot) { return collectValues(slot, values); });
}

VX_CTL_Result Device::getProperty_i64(uint8_t index, VX_CTL_PropertyKey key, std::vector<int64_t>* values) {
    return getProperty(index, key, [&](const CommandSlot& slot) { return collectValues(slot, values); });
}

VX_CTL_Result Device::getProperty_s(uint8_t index, VX_CTL_PropertyKey key, std::string* text) {
    return getProperty(index, key, [&](const CommandSlot& slot) { return collectText(slot, text); });
}

VX_CTL_Result Device::setProperty(uint8_t index, VX_CTL_PropertyKey key, const WriteValues& data) {
    Lock lock(mutex_);
    SlotRef slot;
    VX_CTL_Result result = allocateSlot(lock, SlotKind::Write, &slot);
    if (result == VX_CTL_OK) result = issueWrite(lock, slot, index, key, data, 0);
    if (result == VX_CTL_OK) result = waitForSlot(lock, *slot, SlotKind::Write);
    if (result == VX_CTL_OK) result = collectWrite(*slot);
    return result;
}

VX_CTL_Result Device::setProperty_i32(uint8_t index, VX_CTL_PropertyKey key, const int32_t* values, bool isArray,
                                      size_t count) {
    return setProperty(index, key, {valuesOf(values, isArray, count), isArray});
}

VX_CTL_Result Device::setProperty_i64(uint8_t index, VX_CTL_PropertyKey key, const int64_t* values, bool isArray,
                                      size_t count) {
    return setProperty(index, key, {valuesOf(values, isArray, count), isArray});
}

VX_CTL_Result Device::setProperty_s(uint8_t index, VX_CTL_PropertyKey key, std::string_view text) {
    return setProperty(index, key, {text, false});
}

VX_CTL_Result Device::requestReadProperty(uint8_t index, VX_CTL_PropertyKey key, VX_CTL_RequestID* requestId,
                                          VX_CTL_TransmitHandle handle) {
    return requestRead(index, key, requestId, handle, true);
}

VX_CTL_Result Device::requestLibraryRead(uint8_t index, VX_CTL_PropertyKey key, VX_CTL_RequestID* requestId) {
    return requestRead(index, key, requestId, 0, false);
}

void Device::switchDeviceLogging(Lock& lock) {
    const bool on = deviceLoggingWanted_;
    lock.unlock();
    if (on) {
        enableDeviceLogging();
    } else {
        disableDeviceLogging(true);
    }
    lock.lock();
}

VX_CTL_Result Device::requestRead(uint8_t index, VX_CTL_PropertyKey key, VX_CTL_RequestID* requestId,
                                  VX_CTL_TransmitHandle handle, bool notify) {
    if (!requestId) return VX_CTL_INVALID_PARAMETER;
    Lock lock = lockSpinning();
    SlotRef slot;
    if (const VX_CTL_Result result = allocateSlot(lock, SlotKind::Read, &slot); result != VX_CTL_OK) return result;
    slot->notify = notify && (requestReadyEvents_ & 1) != 0;
    if (const VX_CTL_Result result = issueRead(lock, slot, index, key, handle); result != VX_CTL_OK) return result;
    *requestId = slot->requestId;
    CommandSlot& record = *slot;
    record.self = std::move(slot);
    return VX_CTL_OK;
}

VX_CTL_Result Device::requestWrite(uint8_t index, VX_CTL_PropertyKey key, const WriteValues& data,
                                   VX_CTL_RequestID* requestId, VX_CTL_TransmitHandle handle) {
    Lock lock(mutex_);
    if (!requestId) return issueWrite(lock, nullptr, index, key, data, handle);
    SlotRef slot;
    if (const VX_CTL_Result result = allocateSlot(lock, SlotKind::Write, &slot); result != VX_CTL_OK) return result;
    slot->notify = (requestReadyEvents_ & 1) != 0;
    if (const VX_CTL_Result result = issueWrite(lock, slot, index, key, data, handle); result != VX_CTL_OK)
        return result;
    *requestId = slot->requestId;
    CommandSlot& record = *slot;
    record.self = std::move(slot);
    return VX_CTL_OK;
}

VX_CTL_Result Device::requestWriteProperty_i32(uint8_t index, VX_CTL_PropertyKey key, const int32_t* values,
                                               bool isArray, size_t count, VX_CTL_RequestID* requestId,
                                               VX_CTL_TransmitHandle handle) {
    return requestWrite(index, key, {valuesOf(values, isArray, count), isArray}, requestId, handle);
}

VX_CTL_Result Device::requestWriteProperty_i64(uint8_t index, VX_CTL_PropertyKey key, const int64_t* values,
                                               bool isArray, size_t count, VX_CTL_RequestID* requestId,
                                               VX_CTL_TransmitHandle handle) {
    return requestWrite(index, key, {valuesOf(values, isArray, count), isArray}, requestId, handle);
}

VX_CTL_Result Device::requestWriteProperty_s(uint8_t index, VX_CTL_PropertyKey key, std::string_view text,
                                             VX_CTL_RequestID* requestId, VX_CTL_TransmitHandle handle) {
    return requestWrite(index, key, {text, false}, requestId, handle);
}

VX_CTL_Result Device::collectRequest(VX_CTL_RequestID requestId,
                                     const std::function<VX_CTL_Result(Lock&, CommandSlot&)>& use) {
    Lock lock = lockSpinning();
    if (requestId < kFirstRequestId || requestId > kLastRequestId) return VX_CTL_INVALID_PARAMETER;
    // Taken for this call only: each request is collected or cancelled once.
    const SlotRef taken = std::move(slots_.slot(requestId).self);
    if (!taken) return VX_CTL_INVALID_PARAMETER;
    return use(lock, *taken);
}

VX_CTL_Result Device::readProperty_i32(VX_CTL_RequestID requestId, std::vector<int32_t>* values) {
    return collectRequest(requestId, [&](Lock& lock, CommandSlot& slot) {
        const VX_CTL_Result result = waitForSlot(lock, slot, SlotKind::Read);
        return result != VX_CTL_OK ? result : collectValues(slot, values);
    });
}

VX_CTL_Result Device::readProperty_i64(VX_CTL_RequestID requestId, std::vector<int64_t>* values) {
    return collectRequest(requestId, [&](Lock& lock, CommandSlot& slot) {
        const VX_CTL_Result result = waitForSlot(lock, slot, SlotKind::Read);
        return result != VX_CTL_OK ? result : collectValues(slot, values);
    });
}

VX_CTL_Result Device::readProperty_s(VX_CTL_RequestID requestId, std::string* text) {
    return collectRequest(requestId, [&](Lock& lock, CommandSlot& slot) {
        const VX_CTL_Result result = waitForSlot(lock, slot, SlotKind::Read);
        return result != VX_CTL_OK ? result : collectText(slot, text);
    });
}

VX_CTL_Result Device::waitForWrite(VX_CTL_RequestID requestId) {
    return collectRequest(requestId, [&](Lock& lock, CommandSlot& slot) {
        const VX_CTL_Result result = waitForSlot(lock, slot, SlotKind::Write);
        return result != VX_CTL_OK ? result : collectWrite(slot);
    });
}

VX_CTL_Result Device::cancelRequest(VX_CTL_RequestID requestId) {
    return collectRequest(requestId, [&](Lock&, CommandSlot& slot) {
        cancelSlot(slot);
        return VX_CTL_OK;
    });
}

VX_CTL_Result Device::readChannelCount(int32_t* count) {
    std::vector<int32_t> values;
    if (const VX_CTL_Result result = getProperty_i32(0, kChannelCountKey, &values); result != VX_CTL_OK)
        return result;
    if (values.size() != 1) return VX_CTL_INVALID_QUERYBUFFER_SIZE;
    *count = values.front();
    return VX_CTL_OK;
}

}  // namespace vxctl
