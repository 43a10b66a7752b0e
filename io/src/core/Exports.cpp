// The C interface of the library: each export checks its arguments, calls
// one function of the core and turns every failure into a result code.

#include <exception>
#include <mutex>
#include <string>

#include "VeltraxIO.h"
#include "core/Enumeration.h"
#include "core/Event.h"
#include "core/HandleTable.h"
#include "core/Locator.h"
#include "core/Options.h"
#include "core/Transports.h"
#include "platform/CopyOut.h"

namespace {

// No exception may cross the C boundary: a bad option value gives 4, any
// other failure the result that fits the call.
template <typename Call>
VX_IO_Result guarded(VX_IO_Result fallback, Call&& call) noexcept {
    try {
        return call();
    } catch (const vxio::InvalidOptionValue&) {
        return VX_IO_INVALID_OPTION;
    } catch (...) {
        return fallback;
    }
}

std::string textOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

extern "C" {

VX_IO_API VX_IO_Result VX_IO_GetVersion(int* major, int* minor, int* update) {
    if (major != nullptr) *major = 2;
    if (minor != nullptr) *minor = 0;
    if (update != nullptr) *update = 3;
    return VX_IO_OK;
}

VX_IO_API VX_IO_Result VX_IO_GetLocatorInterfaceType(int* type, const char* locator) {
    int found = VX_IO_IFACE_UNKNOWN;
    const VX_IO_Result result = guarded(VX_IO_INVALID_LOCATOR, [&]() -> VX_IO_Result {
        if (locator == nullptr) return VX_IO_INVALID_LOCATOR;
        return vxio::locatorInterfaceType(locator, &found);
    });
    if (type != nullptr) *type = found;
    return result;
}

VX_IO_API VX_IO_Result VX_IO_Open(VX_IO_Handle* handle, const char* locator, const char* options,
                                  void* userContext, VX_IO_ReceiveCallback receive,
                                  VX_IO_ErrorCallback error) {
    if (handle == nullptr) return VX_IO_INVALID_OPTION;
    *handle = 0;
    if (locator == nullptr) return VX_IO_INVALID_LOCATOR;
    return guarded(VX_IO_OPEN_FAILED, [&] {
        // Splitting the locator allocates, so it too stays inside the guard.
        const vxio::DeviceParams params(locator, options != nullptr ? options : "", userContext,
                                        receive, error);
        return vxio::openByLocator(params, handle);
    });
}

VX_IO_API VX_IO_Result VX_IO_Close(VX_IO_Handle handle, int wait) {
    return guarded(VX_IO_INVALID_HANDLE, [&] { return vxio::closeDevice(handle, wait != 0); });
}

VX_IO_API VX_IO_Result VX_IO_Send(VX_IO_Handle handle, const void* data, size_t length) {
    return guarded(VX_IO_WRITE_ERROR, [&]() -> VX_IO_Result {
        const std::shared_ptr<vxio::IoDevice> device = vxio::findDevice(handle);
        if (!device) return VX_IO_INVALID_HANDLE;
        if (data == nullptr && length != 0) return VX_IO_WRITE_ERROR;
        return device->Send(data, length);
    });
}

VX_IO_API VX_IO_Result VX_IO_GetProperty(VX_IO_Handle handle, const char* key, char* buffer,
                                         size_t* length) {
    return guarded(VX_IO_UNKNOWN_PROPERTY, [&]() -> VX_IO_Result {
        const std::shared_ptr<vxio::IoDevice> device = vxio::findDevice(handle);
        if (!device) return VX_IO_INVALID_HANDLE;
        if (key == nullptr) return VX_IO_UNKNOWN_PROPERTY;
        if (length == nullptr) return VX_IO_BUFFER_TOO_SMALL;
        return device->GetProperty(key, buffer, length);
    });
}

VX_IO_API VX_IO_Result VX_IO_CanEnumerateDevices(int type, int* canEnumerate) {
    if (canEnumerate != nullptr) {
        *canEnumerate = vxio::hasShortList(type) ? 1 : 0;
    }
    return VX_IO_OK;
}

VX_IO_API VX_IO_Result VX_IO_EnumerateDevices(int type, const char* options, char* buffer,
                                              size_t* length) {
    return guarded(VX_IO_LIST_QUERY_FAILED, [&]() -> VX_IO_Result {
        std::string text;
        const VX_IO_Result result = vxio::enumerateDevices(type, textOrEmpty(options), text);
        if (result != VX_IO_OK) {
            // A failed short list leaves the empty text, not the caller's old bytes.
            if (vxio::hasShortList(type)) {
                vxplatform::copyOutReportingNeed(std::string(), buffer, length);
            }
            return result;
        }
        // The short lists tell the caller how much room they need.
        const bool copied = type == VX_IO_IFACE_ALL
                                ? vxplatform::copyOut(text, buffer, length)
                                : vxplatform::copyOutReportingNeed(text, buffer, length);
        return copied ? VX_IO_OK : VX_IO_BUFFER_TOO_SMALL;
    });
}

VX_IO_API VX_IO_Result VX_IO_EnumerateInterfaces(const char* options, char* buffer,
                                                 size_t* length) {
    return guarded(VX_IO_LIST_QUERY_FAILED, [&]() -> VX_IO_Result {
        std::string text;
        const VX_IO_Result result = vxio::enumerateInterfaces(textOrEmpty(options), text);
        if (result != VX_IO_OK) return result;
        return vxplatform::copyOut(text, buffer, length) ? VX_IO_OK : VX_IO_BUFFER_TOO_SMALL;
    });
}

VX_IO_API VX_IO_Result VX_IO_SetGlobalOptions(const char* options) {
    return guarded(VX_IO_INVALID_OPTION, [&]() -> VX_IO_Result {
        const vxio::Options parsed = vxio::parseOptions(textOrEmpty(options));
        std::lock_guard<std::mutex> lock(vxio::apiMutex());
        return vxio::applyGlobalOptions(parsed);
    });
}

VX_IO_API VX_IO_Result VX_IO_SetEventCallback(VX_IO_EventCallback callback, void* userData) {
    vxio::setEventCallback(callback, userData);
    return VX_IO_OK;
}

VX_IO_API VX_IO_Result VX_IO_GetErrorEventData(const VX_IO_Event* event, int* code,
                                               char* message, size_t* length) {
    if (event == nullptr || event->kind != VX_IO_EVENT_ERROR) return VX_IO_WRONG_EVENT_KIND;
    if (!vxplatform::copyOut(event->message, message, length)) return VX_IO_BUFFER_TOO_SMALL;
    if (code != nullptr) *code = event->code;
    return VX_IO_OK;
}

VX_IO_API VX_IO_Result VX_IO_GetDiscoveryEventData(const VX_IO_Event* event, const char* options,
                                                   char* buffer, size_t* length) {
    if (event == nullptr) return VX_IO_WRONG_EVENT_KIND;
    return guarded(VX_IO_BUFFER_TOO_SMALL, [&]() -> VX_IO_Result {
        std::string text;
        const VX_IO_Result result = vxio::discoveryEventText(*event, textOrEmpty(options), text);
        if (result != VX_IO_OK) return result;
        return vxplatform::copyOut(text, buffer, length) ? VX_IO_OK : VX_IO_BUFFER_TOO_SMALL;
    });
}

}  // extern "C"
