#include "core/Enumeration.h"

#include <set>

#include "core/DeviceList.h"
#include "core/OptionKeys.h"
#include "core/Options.h"
#include "core/Transports.h"

namespace vxio {

namespace {

constexpr const char* kAll = "all";

// Whether "iface-type" asks for the transport's kind.
bool named(const std::set<std::string>& kinds, const Transport& transport) {
    return kinds.count(transport.kind) != 0;
}

VX_IO_Result enumerateAllKinds(const std::string& optionText, std::string& text) {
    const Options options = parseOptions(optionText);
    if (!options.hasOutputSelection()) return VX_IO_INVALID_OPTION;
    const std::set<std::string> kinds = options.getTextSet(key::kIfaceType);
    if (kinds.empty()) return VX_IO_INVALID_OPTION;
    const bool all = kinds.count(kAll) != 0;
    DeviceList list;
    for (const Transport* transport : kTransports) {
        if (transport->searchDevices == nullptr || !(all || named(kinds, *transport))) continue;
        const VX_IO_Result result = transport->searchDevices(options, list);
        if (result != VX_IO_OK) return result;
    }
    text = writeDeviceList(list, options);
    return VX_IO_OK;
}

decltype(Transport::shortList) shortListOf(int type) {
    const Transport* transport = transportOfType(type);
    return transport != nullptr ? transport->shortList : nullptr;
}

}  // namespace

bool hasShortList(int type) { return shortListOf(type) != nullptr; }

VX_IO_Result enumerateDevices(int type, const std::string& optionText, std::string& text) {
    if (type == VX_IO_IFACE_ALL) return enumerateAllKinds(optionText, text);
    const auto shortList = shortListOf(type);
    if (shortList == nullptr) return VX_IO_NOT_SUPPORTED;
    return shortList(optionText, text);
}

VX_IO_Result enumerateInterfaces(const std::string& optionText, std::string& text) {
    const Options options = parseOptions(optionText);
    const std::set<std::string> kinds = options.getTextSet(key::kIfaceType);
    if (kinds.empty()) return VX_IO_INVALID_OPTION;
    const bool all = kinds.count(kAll) != 0;
    bool unsupported = false;
    DeviceList list;
    for (const Transport* transport : kTransports) {
        if (!all && !named(kinds, *transport)) continue;
        if (transport->listInterfaces == nullptr) {
            // A kind of devices, not of interfaces of the host (USB adapters):
            // "all" passes over it, naming it fails the listing.
            unsupported = unsupported || !all;
            continue;
        }
        const VX_IO_Result result = transport->listInterfaces(options, list);
        // Under "all" a kind the host cannot list is left out: a host without
        // usable network interfaces still lists its ports.
        if (result != VX_IO_OK && !all) return result;
    }
    if (unsupported) return VX_IO_NOT_SUPPORTED;
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
