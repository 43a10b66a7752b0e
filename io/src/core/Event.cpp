#include "core/Event.h"

namespace vxio {

namespace {

struct EventCallbackRegistration {
    VX_IO_EventCallback callback = nullptr;
    void* userData = nullptr;
};

// Guarded by apiMutex().
EventCallbackRegistration& registration() {
    static EventCallbackRegistration instance;
    return instance;
}

}  // namespace

std::mutex& apiMutex() {
    static std::mutex mutex;
    return mutex;
}

void invokeEventCallback(const VX_IO_Event& event) {
    const EventCallbackRegistration& current = registration();
    if (current.callback != nullptr) current.callback(current.userData, event.kind, &event);
}

void setEventCallback(VX_IO_EventCallback callback, void* userData) {
    std::lock_guard<std::mutex> lock(apiMutex());
    registration() = EventCallbackRegistration{callback, userData};
}

}  // namespace vxio
