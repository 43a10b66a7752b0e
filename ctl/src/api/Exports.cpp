// The traced exports of the library, one row each; the frame around every
// operation is generated from its row (ExportFrame.h).

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "VeltraxCTL.h"
#include "api/CopyOut.h"
#include "api/ExportFrame.h"
#include "device/Device.h"
#include "device/DeviceTable.h"
#include "search/DeviceSearch.h"

namespace vxctl::api {

namespace {

using Handle = VX_CTL_TransmitHandle;
using Id = VX_CTL_RequestID;
using PKey = VX_CTL_PropertyKey;

uint8_t channel(int8_t index) { return static_cast<uint8_t>(index); }

// Library operations.

VX_CTL_Result findDevices(CallRecord&, const char* options, char* deviceList, size_t* deviceListLen) {
    return vxctl::findDevices(options, deviceList, deviceListLen);
}

VX_CTL_Result openDevice(CallRecord&, VX_CTL_DeviceHandle* handle, const char* locator, const char* config) {
    std::shared_ptr<Device> device;
    try {
        device = std::make_shared<Device>();
    } catch (...) {
        return VX_CTL_INITIALIZATION_FAILED;
    }
    if (const VX_CTL_Result result = device->open(locator, config); result != VX_CTL_OK) return result;
    return addDevice(std::move(device), handle);
}

VX_CTL_Result closeDevice(CallRecord&, VX_CTL_DeviceHandle handle) {
    const std::shared_ptr<Device> device = removeDevice(handle);
    if (!device) return VX_CTL_INVALID_DEVICE_HANDLE;
    device->disableDeviceLogging(true);
    // Now rather than when the last call lets go of the device: the port is
    // free for an open once this returns, and flushes in flight end.
    device->close(true);
    return VX_CTL_OK;
}

// Device operations.

VX_CTL_Result cancel(Device& device, CallRecord&) { return device.cancel(); }

template <CommandType Type>
VX_CTL_Result channelCommand(Device& device, CallRecord&, int8_t index, Handle tHandle) {
    return device.movementCommand(Type, channel(index), 0, tHandle);
}

VX_CTL_Result move(Device& device, CallRecord&, int8_t index, int64_t target, Handle tHandle) {
    return device.movementCommand(CommandType::Move, channel(index), target, tHandle);
}

VX_CTL_Result openStream(Device& device, CallRecord&, VX_CTL_StreamHandle* sHandle, uint32_t triggerMode) {
    return device.openStream(sHandle, triggerMode);
}
VX_CTL_Result streamFrame(Device& device, CallRecord&, VX_CTL_StreamHandle sHandle, const unsigned char* frame,
                          uint32_t size) {
    return device.streamFrame(sHandle, frame, size);
}
VX_CTL_Result closeStream(Device& device, CallRecord&, VX_CTL_StreamHandle sHandle) {
    return device.closeStream(sHandle);
}
VX_CTL_Result abortStream(Device& device, CallRecord&, VX_CTL_StreamHandle sHandle) {
    return device.abortStream(sHandle);
}

VX_CTL_Result getI32(Device& device, CallRecord& record, int8_t index, PKey key, int32_t* out, size_t* size) {
    std::vector<int32_t> list;
    return copyValues(device.getProperty_i32(channel(index), key, &list), list, out, size, record);
}
VX_CTL_Result getI64(Device& device, CallRecord& record, int8_t index, PKey key, int64_t* out, size_t* size) {
    std::vector<int64_t> list;
    return copyValues(device.getProperty_i64(channel(index), key, &list), list, out, size, record);
}
VX_CTL_Result getText(Device& device, CallRecord&, int8_t index, PKey key, char* out, size_t* size) {
    std::string text;
    return copyText(device.getProperty_s(channel(index), key, &text), text, out, size);
}

VX_CTL_Result setI32(Device& device, CallRecord&, int8_t index, PKey key, int32_t value) {
    return device.setProperty_i32(channel(index), key, &value, false, 1);
}
VX_CTL_Result setI32Array(Device& device, CallRecord&, int8_t index, PKey key, const int32_t* values, size_t count) {
    return device.setProperty_i32(channel(index), key, values, true, count);
}
VX_CTL_Result setI64(Device& device, CallRecord&, int8_t index, PKey key, int64_t value) {
    return device.setProperty_i64(channel(index), key, &value, false, 1);
}
VX_CTL_Result setI64Array(Device& device, CallRecord&, int8_t index, PKey key, const int64_t* values, size_t count) {
    return device.setProperty_i64(channel(index), key, values, true, count);
}
VX_CTL_Result setText(Device& device, CallRecord&, int8_t index, PKey key, const char* text) {
    if (!text) return VX_CTL_INVALID_PARAMETER;
    return device.setProperty_s(channel(index), key, text);
}

VX_CTL_Result requestRead(Device& device, CallRecord&, int8_t index, PKey key, Id* id, Handle tHandle) {
    return device.requestReadProperty(channel(index), key, id, tHandle);
}
VX_CTL_Result readI32(Device& device, CallRecord& record, Id id, int32_t* out, size_t* size) {
    std::vector<int32_t> list;
    return copyValues(device.readProperty_i32(id, &list), list, out, size, record);
}
VX_CTL_Result readI64(Device& device, CallRecord& record, Id id, int64_t* out, size_t* size) {
    std::vector<int64_t> list;
    return copyValues(device.readProperty_i64(id, &list), list, out, size, record);
}
VX_CTL_Result readText(Device& device, CallRecord&, Id id, char* out, size_t* size) {
    std::string text;
    return copyText(device.readProperty_s(id, &text), text, out, size);
}

VX_CTL_Result requestWriteI32(Device& device, CallRecord&, int8_t index, PKey key, int32_t value, Id* id,
                              Handle tHandle) {
    return device.requestWriteProperty_i32(channel(index), key, &value, false, 1, id, tHandle);
}
VX_CTL_Result requestWriteI64(Device& device, CallRecord&, int8_t index, PKey key, int64_t value, Id* id,
                              Handle tHandle) {
    return device.requestWriteProperty_i64(channel(index), key, &value, false, 1, id, tHandle);
}
VX_CTL_Result requestWriteText(Device& device, CallRecord&, int8_t index, PKey key, const char* text, Id* id,
                               Handle tHandle) {
    if (!text) return VX_CTL_INVALID_PARAMETER;
    return device.requestWriteProperty_s(channel(index), key, text, id, tHandle);
}
VX_CTL_Result requestWriteI32Array(Device& device, CallRecord&, int8_t index, PKey key, const int32_t* values,
                                   size_t count, Id* id, Handle tHandle) {
    return device.requestWriteProperty_i32(channel(index), key, values, true, count, id, tHandle);
}
VX_CTL_Result requestWriteI64Array(Device& device, CallRecord&, int8_t index, PKey key, const int64_t* values,
                                   size_t count, Id* id, Handle tHandle) {
    return device.requestWriteProperty_i64(channel(index), key, values, true, count, id, tHandle);
}
VX_CTL_Result waitForWrite(Device& device, CallRecord&, Id id) { return device.waitForWrite(id); }
VX_CTL_Result cancelRequest(Device& device, CallRecord&, Id id) { return device.cancelRequest(id); }

VX_CTL_Result waitForEvent(Device& device, CallRecord&, VX_CTL_Event* event, uint32_t timeout) {
    return device.waitForEvent(event, timeout);
}

VX_CTL_Result createOutputBuffer(Device& device, CallRecord&, Handle* tHandle) {
    return device.createOutputBuffer(tHandle);
}
template <bool Send>
VX_CTL_Result endOutputBuffer(Device& device, CallRecord&, Handle tHandle) {
    return device.endOutputBuffer(tHandle, Send);
}
VX_CTL_Result openCommandGroup(Device& device, CallRecord&, Handle* tHandle, uint32_t triggerMode) {
    return device.openCommandGroup(tHandle, triggerMode);
}
template <bool Close>
VX_CTL_Result endCommandGroup(Device& device, CallRecord&, Handle tHandle) {
    return device.endCommandGroup(tHandle, Close);
}

// Lines shared by several rows.
using HandleOnly = Line<Arg<0, Dec>>;
using HandleAndNumber = Line<Arg<0, Dec>, Arg<1, Dec>>;
using HandleIndexTransmit = Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Dec>>;
using GetCall = Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Key>, Arg<4, Pointed<Dec>>>;
using GetValues = Line<Values<3, 4>, Arg<4, Pointed<Dec>>>;
using GetText = Line<Arg<3, Text>, Arg<4, Pointed<Dec>>>;
using SetCall = Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Key>, Arg<3, Val>>;
using SetArrayCall = Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Key>, Values<3, 4>, Arg<4, Dec>>;
using ReadCall = Line<Arg<0, Dec>, Arg<1, Dec>, Arg<3, Pointed<Dec>>>;
using ReadValues = Line<Values<2, 3>, Arg<3, Pointed<Dec>>>;
using RequestWriteCall = Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Key>, Arg<3, Val>, Arg<4, Pointed<Dec>>, Arg<5, Dec>>;
using RequestWriteArrayCall =
    Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Key>, Values<3, 4>, Arg<4, Dec>, Arg<5, Pointed<Dec>>, Arg<6, Dec>>;

}  // namespace

}  // namespace vxctl::api

using namespace vxctl::api;
using vxctl::CommandType;

VX_CTL_EXPORT_3(VX_CTL_FindDevices,
                Export<findDevices, OnLibraryStartingLog, Line<Arg<0, Text>, Arg<2, Pointed<Dec>>>, Line<Arg<1, Text>>>)
VX_CTL_EXPORT_3(VX_CTL_Open, Export<openDevice, OnLibraryStartingLog, Line<Arg<1, Text>, Arg<2, Text>>,
                                    Line<Arg<0, Pointed<Dec>>>>)
VX_CTL_EXPORT_1(VX_CTL_Close, Export<closeDevice, OnLibrary, HandleOnly, None>)
VX_CTL_EXPORT_1(VX_CTL_Cancel, Export<cancel, OnDevice, HandleOnly, None>)
VX_CTL_EXPORT_3(VX_CTL_Calibrate, Export<channelCommand<CommandType::Calibrate>, OnDevice, HandleIndexTransmit, None>)
VX_CTL_EXPORT_3(VX_CTL_Reference, Export<channelCommand<CommandType::Reference>, OnDevice, HandleIndexTransmit, None>)
VX_CTL_EXPORT_4(VX_CTL_Move,
                Export<move, OnDevice, Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Val>, Arg<3, Dec>>, None>)
VX_CTL_EXPORT_3(VX_CTL_Stop, Export<channelCommand<CommandType::Stop>, OnDevice, HandleIndexTransmit, None>)
VX_CTL_EXPORT_3(VX_CTL_OpenStream,
                Export<openStream, OnDevice, Line<Arg<0, Dec>, Arg<2, Dec>>, Line<Arg<1, Pointed<Dec>>>>)
VX_CTL_EXPORT_4(VX_CTL_StreamFrame, Export<streamFrame, OnDevice, Line<Arg<0, Dec>, Arg<1, Dec>, Arg<3, Dec>>, None>)
VX_CTL_EXPORT_2(VX_CTL_CloseStream, Export<closeStream, OnDevice, HandleAndNumber, None>)
VX_CTL_EXPORT_2(VX_CTL_AbortStream, Export<abortStream, OnDevice, HandleAndNumber, None>)
VX_CTL_EXPORT_5(VX_CTL_GetProperty_i32, Export<getI32, OnDevice, GetCall, GetValues>)
VX_CTL_EXPORT_4(VX_CTL_SetProperty_i32, Export<setI32, OnDevice, SetCall, None>)
VX_CTL_EXPORT_5(VX_CTL_SetPropertyArray_i32, Export<setI32Array, OnDevice, SetArrayCall, None>)
VX_CTL_EXPORT_5(VX_CTL_GetProperty_i64, Export<getI64, OnDevice, GetCall, GetValues>)
VX_CTL_EXPORT_4(VX_CTL_SetProperty_i64, Export<setI64, OnDevice, SetCall, None>)
VX_CTL_EXPORT_5(VX_CTL_SetPropertyArray_i64, Export<setI64Array, OnDevice, SetArrayCall, None>)
VX_CTL_EXPORT_5(VX_CTL_GetProperty_s, Export<getText, OnDevice, GetCall, GetText>)
VX_CTL_EXPORT_4(VX_CTL_SetProperty_s,
                Export<setText, OnDevice, Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Key>, Arg<3, Text>>, None>)
VX_CTL_EXPORT_5(VX_CTL_RequestReadProperty,
                Export<requestRead, OnDevice,
                       Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Key>, Arg<3, Pointed<Dec>>, Arg<4, Dec>>,
                       Line<Arg<3, Pointed<Dec>>>>)
VX_CTL_EXPORT_4(VX_CTL_ReadProperty_i32, Export<readI32, OnDevice, ReadCall, ReadValues>)
VX_CTL_EXPORT_4(VX_CTL_ReadProperty_i64, Export<readI64, OnDevice, ReadCall, ReadValues>)
VX_CTL_EXPORT_4(VX_CTL_ReadProperty_s,
                Export<readText, OnDevice, ReadCall, Line<Arg<2, Text>, Arg<3, Pointed<Dec>>>>)
VX_CTL_EXPORT_6(VX_CTL_RequestWriteProperty_i32,
                Export<requestWriteI32, OnDevice, RequestWriteCall, Line<Arg<4, Pointed<Dec>>>>)
VX_CTL_EXPORT_6(VX_CTL_RequestWriteProperty_i64,
                Export<requestWriteI64, OnDevice, RequestWriteCall, Line<Arg<4, Pointed<Dec>>>>)
VX_CTL_EXPORT_6(VX_CTL_RequestWriteProperty_s,
                Export<requestWriteText, OnDevice,
                       Line<Arg<0, Dec>, Arg<1, Idx>, Arg<2, Key>, Arg<3, Text>, Arg<4, Pointed<Dec>>, Arg<5, Dec>>,
                       Line<Arg<4, Pointed<Dec>>>>)
VX_CTL_EXPORT_7(VX_CTL_RequestWritePropertyArray_i32,
                Export<requestWriteI32Array, OnDevice, RequestWriteArrayCall, Line<Arg<5, Pointed<Dec>>>>)
VX_CTL_EXPORT_7(VX_CTL_RequestWritePropertyArray_i64,
                Export<requestWriteI64Array, OnDevice, RequestWriteArrayCall, Line<Arg<5, Pointed<Dec>>>>)
VX_CTL_EXPORT_2(VX_CTL_WaitForWrite, Export<waitForWrite, OnDevice, HandleAndNumber, None>)
VX_CTL_EXPORT_2(VX_CTL_CancelRequest, Export<cancelRequest, OnDevice, HandleAndNumber, None>)
VX_CTL_EXPORT_3(VX_CTL_WaitForEvent,
                Export<waitForEvent, OnDevice, Line<Arg<0, Dec>, Arg<2, Dec>>, Line<EventAt<1>>>)
VX_CTL_EXPORT_2(VX_CTL_CreateOutputBuffer, Export<createOutputBuffer, OnDevice, HandleOnly, Line<Arg<1, Pointed<Dec>>>>)
VX_CTL_EXPORT_2(VX_CTL_FlushOutputBuffer, Export<endOutputBuffer<true>, OnDevice, HandleAndNumber, None>)
VX_CTL_EXPORT_2(VX_CTL_CancelOutputBuffer, Export<endOutputBuffer<false>, OnDevice, HandleAndNumber, None>)
VX_CTL_EXPORT_3(VX_CTL_OpenCommandGroup,
                Export<openCommandGroup, OnDevice, Line<Arg<0, Dec>, Arg<2, Dec>>, Line<Arg<1, Pointed<Dec>>>>)
VX_CTL_EXPORT_2(VX_CTL_CloseCommandGroup, Export<endCommandGroup<true>, OnDevice, HandleAndNumber, None>)
VX_CTL_EXPORT_2(VX_CTL_CancelCommandGroup, Export<endCommandGroup<false>, OnDevice, HandleAndNumber, None>)
