#include "ftdi/UsbShortList.h"

#include "core/OptionKeys.h"
#include "core/Options.h"

namespace vxio {

VX_IO_Result readShortListFields(const std::string& optionText, ShortListFields* fields) {
    ShortListFields selected;
    selected.chipId = rawHas(key::kIncludeId, optionText);
    selected.vendorId = rawHas(key::kIncludeUsbVid, optionText);
    selected.productId = rawHas(key::kIncludeUsbPid, optionText);
    selected.description = rawHas(key::kIncludeDs, optionText);
    const bool includeSerial = rawHas(key::kIncludeSn, optionText);
    const bool canonical = rawHas(key::kCanonicalLocator, optionText);
    if (canonical && (selected.chipId || selected.vendorId || selected.productId ||
                      selected.description || includeSerial)) {
        return VX_IO_INVALID_OPTION;
    }
    selected.serialNumber = includeSerial || canonical;
    *fields = selected;
    return VX_IO_OK;
}

std::string usbShortListLine(const UsbAdapterSummary& adapter, const ShortListFields& fields) {
    std::string line = "usb";
    if (fields.chipId) line += ":id:" + std::to_string(adapter.chipId);
    if (fields.vendorId) line += ":usb-vid:" + std::to_string(adapter.vendorId);
    if (fields.productId) line += ":usb-pid:" + std::to_string(adapter.productId);
    if (fields.description) line += ":ds:" + adapter.description;
    if (fields.serialNumber) line += ":sn:" + adapter.serialNumber;
    return line;
}

}  // namespace vxio
