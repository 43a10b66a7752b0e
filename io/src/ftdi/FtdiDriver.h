#pragma once

#include <mutex>

#include "ftdi/FtdiApi.h"

namespace vxio {

// The bound functions of the FTDI driver and chip-id libraries.
struct FtdiDriver {
#define VX_FTDI_POINTER(name, params) name##_Function name = nullptr;
    VX_FTDI_DRIVER_FUNCTIONS(VX_FTDI_POINTER)
    VX_FTDI_CHIPID_FUNCTIONS(VX_FTDI_POINTER)
#undef VX_FTDI_POINTER
};

// Serialises binding, scanning, listing, searching and every USB open.
std::mutex& usbListMutex();

// Loads both libraries and binds all their functions, once per process; the
// caller holds usbListMutex(). Null when a library or a function is missing,
// for the rest of the process. The functions stay valid for the process.
const FtdiDriver* bindFtdiDriver();

}  // namespace vxio
