#pragma once

// Asks the controller behind a USB adapter which protocols it speaks, so
// that the USB search can list one record per protocol id.

#include <cstddef>

#include "VeltraxIO.h"
#include "ftdi/FtdiDriver.h"
#include "ftdi/UsbDeviceList.h"

namespace vxio {

// Two products are known by their description alone; any other adapter is
// opened by its list index `index` and asked with a handshake and an info
// request. On 0 the entry's protocol ids are replaced (an empty list when no
// answer came in time); on a failure they stay as they were. The caller
// holds usbListMutex(); the adapter is closed again on every way out.
// 4 when neither its record nor its description gives line settings
// (nothing sent), 5 for a driver failure or a malformed reply, the send
// loop's result when the request cannot be sent, 7 or 8 when the reply
// cannot be read or is no frame.
VX_IO_Result probeUsbAdapter(const FtdiDriver& driver, size_t index, UsbDeviceEntry& entry);

}  // namespace vxio
