#pragma once

#include <string>

#include "VeltraxIO.h"
#include "core/Event.h"

namespace vxio {

// Whether enumeration by this type gives a short list.
bool hasShortList(int type);

// Device list text of one enumeration: the short list of a type that has one,
// or the full list of type 9999 over the kinds named by "iface-type".
VX_IO_Result enumerateDevices(int type, const std::string& optionText, std::string& text);

// Device list text of the host's interfaces of the kinds in "iface-type".
VX_IO_Result enumerateInterfaces(const std::string& optionText, std::string& text);

// The device of a discovery event as device list text; 15 for other kinds.
VX_IO_Result discoveryEventText(const VX_IO_Event& event, const std::string& optionText,
                                std::string& text);

}  // namespace vxio
