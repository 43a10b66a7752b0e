#pragma once

#include <string>

#include "VeltraxIO.h"
#include "core/Event.h"

namespace vxio {

// Device list text of one enumeration: the short lists of types 1 and 3,
// or the full list of type 9999 over the kinds named by "iface-type".
VX_IO_Result enumerateDevices(int type, const std::string& optionText, std::string& text);

// Device list text of the host's interfaces of the kinds in "iface-type".
VX_IO_Result enumerateInterfaces(const std::string& optionText, std::string& text);

// The device of a discovery event as device list text; 15 for other kinds.
VX_IO_Result discoveryEventText(const VX_IO_Event& event, const std::string& optionText,
                                std::string& text);

}  // namespace vxio
