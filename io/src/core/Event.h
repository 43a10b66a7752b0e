#pragma once

#include <mutex>
#include <string>

#include "VeltraxIO.h"
#include "core/DeviceList.h"

// The record behind the opaque VX_IO_Event of the C interface.
struct VX_IO_Event {
    int kind = VX_IO_EVENT_ERROR;
    int code = 0;
    std::string message;
    vxio::DeviceRecord device;
};

namespace vxio {

// The process-wide API mutex: handle table, event callback, global options.
std::mutex& apiMutex();

// Calls the registered event callback, if any. The caller holds apiMutex().
void invokeEventCallback(const VX_IO_Event& event);

// Registers the event callback (null: no events). Takes apiMutex().
void setEventCallback(VX_IO_EventCallback callback, void* userData);

}  // namespace vxio
