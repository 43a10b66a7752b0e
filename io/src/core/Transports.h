#pragma once

// The table of transports. Each transport folder defines its own row; the
// core walks this table and names no transport anywhere else.

#include <string_view>

#include "core/Transport.h"
#include "ftdi/UsbTransport.h"
#include "network/NetworkTransport.h"
#include "serial/SerialTransport.h"

namespace vxio {

// In the order the records of the type 9999 search appear.
inline constexpr const Transport* kTransports[] = {&kUsbTransport, &kNetworkTransport,
                                                   &kSerialTransport};

// The row of a locator kind or of an interface type; null when none has it.
const Transport* transportOfKind(std::string_view kind);
const Transport* transportOfType(int interfaceType);

// Hands the global options to every row that takes them; the first failure
// ends the call. Called with the API mutex held.
VX_IO_Result applyGlobalOptions(const Options& options);

}  // namespace vxio
