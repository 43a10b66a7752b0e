#include "StreamPortBase.h"

#include <algorithm>
#include <chrono>

#include "UpdateException.h"
#include "platform/Text.h"

namespace vxfw {

StreamPortBase::StreamPortBase(PortType type)
    : Port(type), ring_(std::make_unique<uint8_t[]>(kRingCapacity)) {}

StreamPortBase::~StreamPortBase() {
    if (isOpen()) VX_IO_Close(handle_, 1);
}

void StreamPortBase::openDevice(const std::string& locator, int interfaceKind,
                                const std::string& options) {
    if (isOpen()) throw UpdateException(kPortAlreadyOpen);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = 0;
        count_ = writeIndex_ = readIndex_ = 0;
    }
    int kind = VX_IO_IFACE_UNKNOWN;
    if (VX_IO_GetLocatorInterfaceType(&kind, locator.c_str()) != VX_IO_OK || kind != interfaceKind)
        throw UpdateException(kInvalidParameter);
    VX_IO_Handle handle = 0;
    if (VX_IO_Open(&handle, locator.c_str(), options.c_str(), this, &portReceiveCallback,
                   &portErrorCallback) != VX_IO_OK)
        throw UpdateException(kCouldNotOpenPort);
    handle_ = handle;
    markOpen(locator);
}

std::vector<std::string> StreamPortBase::listDevices(int interfaceKind, const std::string& options,
                                                     const char* failure) {
    constexpr size_t kListCapacity = 1024;
    char buffer[kListCapacity];
    size_t length = kListCapacity;
    if (VX_IO_EnumerateDevices(interfaceKind, options.c_str(), buffer, &length) != VX_IO_OK)
        throw UpdateException(kPortEnumerationError, failure);
    std::vector<std::string> locators =
        vxplatform::splitText(std::string_view(buffer, std::min(length, kListCapacity)), "\n");
    std::sort(locators.begin(), locators.end());
    return locators;
}

void StreamPortBase::close() {
    if (!isOpen()) return;
    // Waits for the receive thread, so no callback runs on a closed port.
    VX_IO_Close(handle_, 1);
    handle_ = 0;
    markClosed();
}

void StreamPortBase::setTimeout(uint32_t milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    timeoutMs_ = milliseconds;
}

uint32_t StreamPortBase::timeout() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeoutMs_;
}

void StreamPortBase::send(uint32_t count, const uint8_t bytes[]) {
    if (!isOpen()) throw UpdateException(kPortNotOpen);
    if (VX_IO_Send(handle_, bytes, count) != VX_IO_OK) throw UpdateException(kSendError);
}

void StreamPortBase::receive(uint32_t count, uint8_t bytes[]) {
    if (!isOpen()) throw UpdateException(kPortNotOpen);
    std::unique_lock<std::mutex> lock(mutex_);
    // One deadline for the whole call: bytes that trickle in wake the wait
    // but never move it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    const auto ready = [&] { return count_ >= count || error_ != 0; };
    if (count_ < count && error_ == 0) changed_.wait_until(lock, deadline, ready);
    if (count_ >= count) {
        take(count, bytes);
        return;
    }
    if (error_ != 0) throw UpdateException(error_);
    throw UpdateException(kTimeout);
}

void StreamPortBase::take(uint32_t count, uint8_t bytes[]) {
    for (uint32_t i = 0; i < count; ++i) {
        bytes[i] = ring_[readIndex_];
        readIndex_ = (readIndex_ + 1) % kRingCapacity;
    }
    count_ -= count;
}

void StreamPortBase::portReceiveCallback(void* user, const void* data, size_t length) {
    auto* self = static_cast<StreamPortBase*>(user);
    const auto* bytes = static_cast<const uint8_t*>(data);
    {
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (kRingCapacity - self->count_ >= length) {
            for (size_t i = 0; i < length; ++i) {
                self->ring_[self->writeIndex_] = bytes[i];
                self->writeIndex_ = (self->writeIndex_ + 1) % kRingCapacity;
            }
            self->count_ += length;
        } else if (self->error_ == 0) {
            // A chunk that does not fit is dropped whole.
            self->error_ = kBufferFull;
        }
    }
    self->changed_.notify_all();
}

void StreamPortBase::portErrorCallback(void* user, int) {
    auto* self = static_cast<StreamPortBase*>(user);
    {
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (self->error_ == 0) self->error_ = kReceiveError;
    }
    self->changed_.notify_all();
}

}  // namespace vxfw
