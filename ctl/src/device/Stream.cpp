// The trajectory stream of a device and its flow control.

#include <algorithm>

#include "device/Device.h"

namespace vxctl {

namespace {

constexpr uint32_t kUnitBytes = 9;
constexpr uint32_t kMaxFrameBytes = 247;

}  // namespace

void Device::resetStreamCounts() {
    streamUnitsSent_ = 0;
    streamCapacity_ = 0;
    streamCounts_[0] = streamCounts_[1] = 0;
    streamStatusArrived_ = false;
}

VX_CTL_Result Device::openStream(VX_CTL_StreamHandle* handle, uint32_t triggerMode) {
    Lock lock(mutex_);
    if (streamHandle_ != 0) return VX_CTL_HANDLE_LIMIT_REACHED;
    // Nothing of an earlier stream counts for this one; a status that comes
    // before the reply is already the new stream's.
    resetStreamCounts();
    SlotRef slot;
    VX_CTL_Result result = allocateSlot(lock, SlotKind::Read, &slot);
    if (result != VX_CTL_OK) return result;
    Packet frame = openStreamFrame(slot->requestId, static_cast<uint8_t>(triggerMode));
    if ((result = send(lock, frame, 0, slot)) != VX_CTL_OK) return result;
    if ((result = waitForSlot(lock, *slot, SlotKind::Read)) != VX_CTL_OK) return result;
    std::vector<int32_t> values;
    if ((result = collectValues(*slot, &values)) != VX_CTL_OK) return result;
    // A reply without a handle opened nothing the caller could name.
    if (values.empty()) return VX_CTL_INVALID_PACKET;
    const auto opened = static_cast<uint32_t>(values.front());
    // Another open may have won while the mutex was let go: the stream this
    // one opened would have no owner, so it is given up on the device.
    if (streamHandle_ != 0) {
        if (opened != streamHandle_) sendEndOfStream(lock, &abortStreamFrame, opened);
        return VX_CTL_HANDLE_LIMIT_REACHED;
    }
    streamHandle_ = opened;
    streamFinished_ = false;
    streamEndCode_ = VX_CTL_OK;
    *handle = streamHandle_;
    return VX_CTL_OK;
}

VX_CTL_Result Device::waitForStreamCapacity(Lock& lock, uint32_t units) {
    VX_CTL_Result result = VX_CTL_OK;
    changed_.wait(lock, [&] {
        if (closing_) {
            result = VX_CTL_CANCELED;
        } else if (streamFinished_) {
            result = streamEndCode_;
        } else if (!connection_ && !reconnectPending_) {
            // No status can come any more.
            result = VX_CTL_COMMUNICATION_FAILED;
        } else if (streamStatusArrived_) {
            // The capacity is compared only after a new status.
            streamStatusArrived_ = false;
            if (streamCapacity_ < units) return false;
            result = VX_CTL_OK;
        } else {
            return false;
        }
        return true;
    });
    return result;
}

VX_CTL_Result Device::streamFrame(VX_CTL_StreamHandle handle, const uint8_t* bytes, uint32_t size) {
    Lock lock(mutex_);
    if (closing_) return VX_CTL_CANCELED;
    if (handle == 0 || handle != streamHandle_) return VX_CTL_INVALID_STREAM_HANDLE;
    if (streamFinished_) return streamEndCode_;
    if (size == 0 || size % kUnitBytes != 0) return VX_CTL_INVALID_FRAME_SIZE;
    if (size > kMaxFrameBytes) return VX_CTL_INVALID_PARAMETER;
    const uint32_t units = size / kUnitBytes;
    if (streamCapacity_ < units) {
        if (const VX_CTL_Result result = waitForStreamCapacity(lock, units); result != VX_CTL_OK) return result;
        // The stream may have ended or changed while the mutex was let go.
        if (handle != streamHandle_) return VX_CTL_INVALID_STREAM_HANDLE;
    }
    Packet frame = streamDataFrame(static_cast<uint8_t>(handle), bytes, size);
    const VX_CTL_Result result = send(lock, frame, 0);
    if (result == VX_CTL_OK && handle == streamHandle_) {
        streamUnitsSent_ += units;
        streamCapacity_ = std::max<int64_t>(
            0, int64_t{streamCounts_[0]} + int64_t{streamCounts_[1]} - static_cast<int64_t>(streamUnitsSent_));
    }
    return result;
}

void Device::streamFlowStatus(uint32_t first, uint32_t second) {
    Lock lock(mutex_);
    streamCounts_[0] = first;
    streamCounts_[1] = second;
    streamCapacity_ =
        std::max<int64_t>(0, int64_t{first} + int64_t{second} - static_cast<int64_t>(streamUnitsSent_));
    streamStatusArrived_ = true;
    changed_.notify_all();
}

void Device::streamFinished(uint8_t streamByte, VX_CTL_Result endCode) {
    // A late end of a stream that is gone says nothing about the open one.
    if (streamHandle_ == 0 || streamByte != static_cast<uint8_t>(streamHandle_)) return;
    resetStreamCounts();
    streamFinished_ = true;
    streamEndCode_ = endCode;
    if (endCode == VX_CTL_OK) streamHandle_ = 0;
    changed_.notify_all();
}

VX_CTL_Result Device::endStream(Lock& lock, Packet (*frame)(uint8_t, uint8_t), VX_CTL_StreamHandle handle) {
    if (handle == 0 || handle != streamHandle_) return VX_CTL_INVALID_STREAM_HANDLE;
    return sendEndOfStream(lock, frame, handle);
}

VX_CTL_Result Device::sendEndOfStream(Lock& lock, Packet (*frame)(uint8_t, uint8_t), VX_CTL_StreamHandle handle) {
    SlotRef slot;
    VX_CTL_Result result = allocateSlot(lock, SlotKind::Write, &slot);
    if (result != VX_CTL_OK) return result;
    Packet packet = frame(slot->requestId, static_cast<uint8_t>(handle));
    if ((result = send(lock, packet, 0, slot)) != VX_CTL_OK) return result;
    if ((result = waitForSlot(lock, *slot, SlotKind::Write)) != VX_CTL_OK) return result;
    return collectWrite(*slot);
}

VX_CTL_Result Device::closeStream(VX_CTL_StreamHandle handle) {
    Lock lock(mutex_);
    const VX_CTL_Result result = endStream(lock, &closeStreamFrame, handle);
    // Until the device reports the end, the handle stays.
    if (result == VX_CTL_OK && streamFinished_ && handle == streamHandle_) streamHandle_ = 0;
    return result;
}

VX_CTL_Result Device::abortStream(VX_CTL_StreamHandle handle) {
    Lock lock(mutex_);
    const VX_CTL_Result result = endStream(lock, &abortStreamFrame, handle);
    if (result == VX_CTL_OK && handle == streamHandle_) {
        resetStreamCounts();
        streamFinished_ = true;
        streamEndCode_ = VX_CTL_ABORTED;
        streamHandle_ = 0;
        changed_.notify_all();
    }
    return result;
}

}  // namespace vxctl
