#include "core/IoDevice.h"

#include "core/Locator.h"

namespace vxio {

namespace {

// The device whose callback the current thread is running, if any.
thread_local const IoDevice* callbackDevice = nullptr;

class CallbackScope {
public:
    explicit CallbackScope(const IoDevice* device) : previous_(callbackDevice) {
        callbackDevice = device;
    }
    ~CallbackScope() { callbackDevice = previous_; }
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

private:
    const IoDevice* previous_;
};

}  // namespace

IoDevice::IoDevice(const char* locator, const char* options, void* userContext,
                   VX_IO_ReceiveCallback receive, VX_IO_ErrorCallback error)
    : interfaceType_(VX_IO_IFACE_UNKNOWN),
      locator_(locator != nullptr ? locator : ""),
      options_(options != nullptr ? options : ""),
      userContext_(userContext),
      receive_(receive),
      error_(error) {
    locatorInterfaceType(locator_, &interfaceType_);
}

IoDevice::~IoDevice() = default;

bool IoDevice::inOwnCallback() const { return callbackDevice == this; }

void IoDevice::deliver(const void* data, size_t length) const {
    if (receive_ == nullptr) return;
    CallbackScope scope(this);
    receive_(userContext_, data, length);
}

void IoDevice::reportError(int code) const {
    if (error_ == nullptr) return;
    CallbackScope scope(this);
    error_(userContext_, code);
}

}  // namespace vxio
