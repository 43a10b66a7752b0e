#pragma once

// Lines of the short USB device list (enumeration of type 1), whose fields
// are chosen by keys found anywhere in the raw option text.

#include <cstdint>
#include <string>

#include "VeltraxIO.h"

namespace vxio {

struct ShortListFields {
    bool chipId = false;
    bool vendorId = false;
    bool productId = false;
    bool description = false;
    bool serialNumber = false;
};

// 4 when "canonical-locator" comes together with any of the include keys.
VX_IO_Result readShortListFields(const std::string& optionText, ShortListFields* fields);

struct UsbAdapterSummary {
    uint32_t chipId = 0;
    uint32_t vendorId = 0;
    uint32_t productId = 0;
    std::string description;
    std::string serialNumber;
};

// "usb", then ":id:", ":usb-vid:", ":usb-pid:", ":ds:", ":sn:" fields in
// that order, each when selected.
std::string usbShortListLine(const UsbAdapterSummary& adapter, const ShortListFields& fields);

}  // namespace vxio
