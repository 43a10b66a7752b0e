#include "core/Enumeration.h"

#include <set>

#include "core/DeviceList.h"
#include "core/OptionKeys.h"
#include "core/Options.h"
#include "core/Transports.h"

namespace vxio {

namespace {

constexpr const char* kAll = "all";

// Searches of the full device list, in the order their records appear.
struct DeviceSearch {
    const char* kind;
    VX_IO_Result (*search)(const Options&, DeviceList&);
};

constexpr DeviceSearch kSearches[] = {
    {"usb", searchUsbDevices},
    {"network", enumerateNetworkDevices},
    {"serial", searchSerialDevices},
};

VX_IO_Result enumerateAllKinds(const std::string& optionText, std::string& text) {
    const Options options = parseOptions(optionText);
    if (!options.hasOutputSelection()) return VX_IO_INVALID_OPTION;
    const std::set<std::string> kinds = options.getTextSet(key::kIfaceType);
    if (kinds.empty()) return VX_IO_INVALID_OPTION;
    const bool all = kinds.count(kAll) != 0;
    DeviceList list;
    for (const DeviceSearch& search : kSearches) {
        if (!all && kinds.count(search.kind) == 0) continue;
        const VX_IO_Result result = search.search(options, list);
        if (result != VX_IO_OK) return result;
    }
    text = writeDeviceList(list, options);
    return VX_IO_OK;
}

}  // namespace

VX_IO_Result enumerateDevices(int type, const std::string& optionText, std::string& text) {
    switch (type) {
        case VX_IO_IFACE_USB:
            return enumerateUsbShortList(optionText, text);
        case VX_IO_IFACE_SERIAL:
            return enumerateSerialShortList(optionText, text);
        case VX_IO_IFACE_ALL:
            return enumerateAllKinds(optionText, text);
        default:
            return VX_IO_NOT_SUPPORTED;
    }
}

VX_IO_Result enumerateInterfaces(const std::string& optionText, std::string& text) {
    const Options options = parseOptions(optionText);
    const std::set<std::string> kinds = options.getTextSet(key::kIfaceType);
    if (kinds.empty()) return VX_IO_INVALID_OPTION;
    DeviceList list;
    if (kinds.count(kAll) != 0) {
        // A host without usable network interfaces still lists its ports.
        enumerateNetworkInterfaces(options, list);
        const VX_IO_Result result = enumerateSerialInterfaces(options, list);
        if (result != VX_IO_OK) return result;
    } else {
        if (kinds.count("network") != 0) {
            const VX_IO_Result result = enumerateNetworkInterfaces(options, list);
            if (result != VX_IO_OK) return result;
        }
        if (kinds.count("serial") != 0) {
            const VX_IO_Result result = enumerateSerialInterfaces(options, list);
            if (result != VX_IO_OK) return result;
        }
        // USB adapters are devices, not interfaces of the host.
        if (kinds.count("usb") != 0) return VX_IO_NOT_SUPPORTED;
    }
    text = writeDeviceList(list, options);
    return VX_IO_OK;
}

VX_IO_Result discoveryEventText(const VX_IO_Event& event, const std::string& optionText,
                                std::string& text) {
    if (event.kind != VX_IO_EVENT_DEVICE_AVAILABLE && event.kind != VX_IO_EVENT_DEVICE_GONE) {
        return VX_IO_WRONG_EVENT_KIND;
    }
    text = writeDeviceList(DeviceList{event.device}, parseOptions(optionText));
    return VX_IO_OK;
}

}  // namespace vxio
