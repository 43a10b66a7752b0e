// A stand-in for the second-generation library that only answers opens,
// with a result the test sets, and records what they were given. Built once
// more without one of the names an adapter binds.
#include <cstring>
#include <mutex>
#include <string>

#include "VeltraxCTL.h"

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {
std::mutex mutex;
std::string lastConfiguration;
VX_CTL_Result openResult = VX_CTL_DEVICE_NOT_FOUND;
int opens = 0;

constexpr VX_CTL_Result kNotServed = VX_CTL_INVALID_PARAMETER;
}  // namespace

FAKE_API void BindingFake_SetOpenResult(uint32_t result) {
    std::lock_guard<std::mutex> lock(mutex);
    openResult = result;
}

FAKE_API int BindingFake_Opens() {
    std::lock_guard<std::mutex> lock(mutex);
    return opens;
}

FAKE_API const char* BindingFake_LastConfiguration() {
    std::lock_guard<std::mutex> lock(mutex);
    return lastConfiguration.c_str();
}

VX_CTL_Result VX_CTL_FindDevices(const char*, char* list, size_t* length) {
    if (*length == 0) return VX_CTL_INVALID_QUERYBUFFER_SIZE;
    list[0] = '\0';
    *length = 0;
    return VX_CTL_OK;
}

VX_CTL_Result VX_CTL_Open(VX_CTL_DeviceHandle* handle, const char*, const char* config) {
    std::lock_guard<std::mutex> lock(mutex);
    ++opens;
    lastConfiguration = config ? config : "";
    if (openResult == VX_CTL_OK) *handle = 1;
    return openResult;
}

VX_CTL_Result VX_CTL_Close(VX_CTL_DeviceHandle) { return VX_CTL_OK; }
#ifndef BINDINGFAKE_WITHOUT_CANCEL
VX_CTL_Result VX_CTL_Cancel(VX_CTL_DeviceHandle) { return VX_CTL_OK; }
#endif
VX_CTL_Result VX_CTL_RequestReadProperty(VX_CTL_DeviceHandle, int8_t, VX_CTL_PropertyKey, VX_CTL_RequestID*,
                                         VX_CTL_TransmitHandle) {
    return kNotServed;
}
VX_CTL_Result VX_CTL_ReadProperty_i32(VX_CTL_DeviceHandle, VX_CTL_RequestID, int32_t*, size_t*) { return kNotServed; }
VX_CTL_Result VX_CTL_ReadProperty_i64(VX_CTL_DeviceHandle, VX_CTL_RequestID, int64_t*, size_t*) { return kNotServed; }
VX_CTL_Result VX_CTL_ReadProperty_s(VX_CTL_DeviceHandle, VX_CTL_RequestID, char*, size_t*) { return kNotServed; }
VX_CTL_Result VX_CTL_RequestWriteProperty_i32(VX_CTL_DeviceHandle, int8_t, VX_CTL_PropertyKey, int32_t,
                                              VX_CTL_RequestID*, VX_CTL_TransmitHandle) {
    return kNotServed;
}
VX_CTL_Result VX_CTL_RequestWriteProperty_i64(VX_CTL_DeviceHandle, int8_t, VX_CTL_PropertyKey, int64_t,
                                              VX_CTL_RequestID*, VX_CTL_TransmitHandle) {
    return kNotServed;
}
VX_CTL_Result VX_CTL_RequestWriteProperty_s(VX_CTL_DeviceHandle, int8_t, VX_CTL_PropertyKey, const char*,
                                            VX_CTL_RequestID*, VX_CTL_TransmitHandle) {
    return kNotServed;
}
VX_CTL_Result VX_CTL_RequestWritePropertyArray_i32(VX_CTL_DeviceHandle, int8_t, VX_CTL_PropertyKey, const int32_t*,
                                                   size_t, VX_CTL_RequestID*, VX_CTL_TransmitHandle) {
    return kNotServed;
}
VX_CTL_Result VX_CTL_RequestWritePropertyArray_i64(VX_CTL_DeviceHandle, int8_t, VX_CTL_PropertyKey, const int64_t*,
                                                   size_t, VX_CTL_RequestID*, VX_CTL_TransmitHandle) {
    return kNotServed;
}
VX_CTL_Result VX_CTL_WaitForWrite(VX_CTL_DeviceHandle, VX_CTL_RequestID) { return kNotServed; }
VX_CTL_Result VX_CTL_CancelRequest(VX_CTL_DeviceHandle, VX_CTL_RequestID) { return kNotServed; }
VX_CTL_Result VX_CTL_WaitForEvent(VX_CTL_DeviceHandle, VX_CTL_Event*, uint32_t) { return VX_CTL_CANCELED; }
VX_CTL_Result VX_CTL_Move(VX_CTL_DeviceHandle, int8_t, int64_t, VX_CTL_TransmitHandle) { return kNotServed; }
VX_CTL_Result VX_CTL_Stop(VX_CTL_DeviceHandle, int8_t, VX_CTL_TransmitHandle) { return kNotServed; }
VX_CTL_Result VX_CTL_Calibrate(VX_CTL_DeviceHandle, int8_t, VX_CTL_TransmitHandle) { return kNotServed; }
VX_CTL_Result VX_CTL_Reference(VX_CTL_DeviceHandle, int8_t, VX_CTL_TransmitHandle) { return kNotServed; }
VX_CTL_Result VX_CTL_CreateOutputBuffer(VX_CTL_DeviceHandle, VX_CTL_TransmitHandle*) { return kNotServed; }
VX_CTL_Result VX_CTL_FlushOutputBuffer(VX_CTL_DeviceHandle, VX_CTL_TransmitHandle) { return kNotServed; }
VX_CTL_Result VX_CTL_CancelOutputBuffer(VX_CTL_DeviceHandle, VX_CTL_TransmitHandle) { return kNotServed; }
VX_CTL_Result VX_CTL_OpenCommandGroup(VX_CTL_DeviceHandle, VX_CTL_TransmitHandle*, uint32_t) { return kNotServed; }
VX_CTL_Result VX_CTL_CloseCommandGroup(VX_CTL_DeviceHandle, VX_CTL_TransmitHandle) { return kNotServed; }
VX_CTL_Result VX_CTL_CancelCommandGroup(VX_CTL_DeviceHandle, VX_CTL_TransmitHandle) { return kNotServed; }
