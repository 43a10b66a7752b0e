// The network row of the transport table: TCP devices, and the device and
// interface lists and global options that discovery serves.
#include <new>
#include <set>
#include <stdexcept>

#include "core/OptionKeys.h"
#include "discovery/Address.h"
#include "discovery/Connection.h"
#include "network/DiscoveryTable.h"
#include "network/IoNetwork.h"
#include "network/NetworkTransport.h"

namespace vxio {

namespace {

std::shared_ptr<IoDevice> createNetworkDevice(const DeviceParams& params) {
    try {
        return std::make_shared<IoNetwork>(params);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

VX_IO_Result enumerateNetworkDevices(const Options& options, DeviceList& list) {
    std::vector<uint32_t> addresses;
    VX_IO_Result result = readIfaceOption(options, addresses);
    if (result != VX_IO_OK) return result;

    std::set<uint32_t> types;
    std::set<uint32_t> protocols;
    LocatorFormat format;
    try {
        types = options.getUnsignedSet(key::kFindDeviceType);
        protocols = options.getUnsignedSet(key::kFindProtocolId);
        format = getLocatorFormat(options);
    } catch (const std::invalid_argument&) {
        return VX_IO_INVALID_OPTION;
    }
    const std::set<std::string> serials = options.getTextSet(key::kFindDeviceSn);
    const bool onlyAvailable = options.hasKey(key::kFindOnlyAvailable);
    const uint32_t timeoutMs = options.getUnsigned(key::kDiscoveryTimeout, 100);
    const bool force = options.hasKey(key::kForceRescan);
    if (addresses.empty()) return VX_IO_OK;

    auto& table = DiscoveryInterfaceTable::instance();
    EntryList entries;
    // Whatever a pass fails to reach, the devices known so far are listed.
    table.discoverOnInterfaces(addresses, timeoutMs, force, "", entries);
    table.collectDevices(
        entries, format,
        [&](const veltraxnd::DiscoverInfo& info) {
            if (!protocols.empty() && protocols.count(info.ProtocolId) == 0) return false;
            if (!types.empty() && types.count(info.DeviceType) == 0) return false;
            if (!serials.empty() && serials.count(info.SerialNumber) == 0) return false;
            return !onlyAvailable || info.Available;
        },
        list);
    return VX_IO_OK;
}

VX_IO_Result enumerateNetworkInterfaces(const Options&, DeviceList& list) {
    std::vector<veltraxnd::NetworkInterfaceInfo> interfaces;
    try {
        interfaces = veltraxnd::listNetworkInterfaces();
    } catch (const std::exception&) {
        return VX_IO_LIST_QUERY_FAILED;
    }
    for (const auto& iface : interfaces) {
        list.push_back({
            {"iface-type", "network"},
            {"network-host", veltraxnd::addressText(iface.address)},
            {"network-subnet-mask", veltraxnd::addressText(iface.mask)},
            {"name", iface.friendlyName},
        });
    }
    return VX_IO_OK;
}

VX_IO_Result applyNetworkGlobalOptions(const Options& options) {
    auto& table = DiscoveryInterfaceTable::instance();
    if (options.hasKey(key::kLocatorFormatNetwork)) {
        try {
            table.setLocatorFormat(getLocatorFormat(options));
        } catch (const std::invalid_argument&) {
            return VX_IO_INVALID_OPTION;
        }
    }

    // Each call names the whole set of interfaces that raise events.
    std::vector<uint32_t> addresses;
    bool none = false;
    const VX_IO_Result result = readInterfaceValues(options.getAll(key::kDiscoveryIface), addresses, &none);
    if (result != VX_IO_OK) return result;
    return table.setEventInterfaces(addresses, none);
}

}  // namespace

// No short list: network devices are found only by the type 9999 search.
const Transport kNetworkTransport{.kind = "network",
                                  .interfaceType = VX_IO_IFACE_NETWORK,
                                  .createDevice = createNetworkDevice,
                                  .searchDevices = enumerateNetworkDevices,
                                  .listInterfaces = enumerateNetworkInterfaces,
                                  .applyGlobalOptions = applyNetworkGlobalOptions};

}  // namespace vxio
