#pragma once

#include "core/Transport.h"

namespace vxio {

// The network row of the transport table.
extern const Transport kNetworkTransport;

}  // namespace vxio
