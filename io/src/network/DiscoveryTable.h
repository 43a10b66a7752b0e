#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "VeltraxIO.h"
#include "core/DeviceList.h"
#include "core/Options.h"
#include "discovery/DeviceFilter.h"
#include "discovery/Host.h"
#include "network/NetworkLocator.h"

namespace vxio {

// How network locators are written in device records.
enum class LocatorFormat { sn = 0, host = 1 };

// "locator-format-network" (default "sn"); throws std::invalid_argument
// "Unknown locator format" for any other word.
LocatorFormat getLocatorFormat(const Options& options);

// The local addresses named by interface values ("network:" + address or
// "network:all"; values with another prefix are skipped), in order, without
// repeats: 0 and the list, 4 for a bad address, 13 when the interface list
// cannot be read. With `none` given, "network:none" empties the list, sets
// *none and ends the scan.
VX_IO_Result readInterfaceValues(const std::vector<std::string>& values, std::vector<uint32_t>& addresses,
                                 bool* none = nullptr);
// The same for the "iface" values of `options`.
VX_IO_Result readIfaceOption(const Options& options, std::vector<uint32_t>& addresses);

// A discovered device whose serial number could smuggle extra lines or
// another locator into device lists is not taken from the network.
bool isListableSerial(const std::string& serial);

DeviceRecord makeNetworkDeviceRecord(const veltraxnd::DiscoverInfo& info, LocatorFormat format,
                                     uint32_t ifaceAddress);

// One local interface with discovery running on it.
struct DiscoveryInterfaceEntry {
    std::shared_ptr<veltraxnd::Host> host;
    std::shared_ptr<veltraxnd::DeviceFilter> filter;
    int64_t lastDiscovery = 0;
    uint32_t address = 0;  // network byte order
    bool raiseEvents = false;
    int64_t lastUsed = 0;
    // The threads delivering this interface's events now: the receive thread
    // and pass threads may overlap. An entry with deliveries stays, and an
    // enumeration on one of these threads starts no pass.
    std::vector<std::thread::id> deliveringOn;
};

using EntryList = std::vector<std::shared_ptr<DiscoveryInterfaceEntry>>;

// The process-wide table of discovery interfaces, one host each.
// Lock order: API mutex, then this table's mutex, then a host's or a
// filter's. Under the table mutex the hosts to start or stop are only
// collected: they start and stop with it released, because their threads
// take it to raise events. A host's events reach the event callback only
// while its entry holds it, so a host that left the table never waits for
// the API mutex, which the caller of a stop may hold.
class DiscoveryInterfaceTable {
public:
    static DiscoveryInterfaceTable& instance();
    DiscoveryInterfaceTable();
    // Stops every host before the table goes, so no receive thread outlives it.
    ~DiscoveryInterfaceTable();

    // Runs a discovery pass on each interface (in parallel) and lists the
    // entries: 4 for an empty set or an interface that cannot be served,
    // 13 when a pass failed, else 0.
    VX_IO_Result discoverOnInterfaces(const std::vector<uint32_t>& addresses, uint32_t timeoutMs, bool force,
                                      const std::string& serial, EntryList& entries);

    // First device with exactly this serial number on any interface.
    bool findDiscoveredDevice(const std::string& serial, veltraxnd::DiscoverInfo& found);

    // The devices of `entries` that pass `keep`, as records with locators
    // in `format`.
    template <typename Keep>
    void collectDevices(const EntryList& entries, LocatorFormat format, Keep keep, DeviceList& list);

    void setLocatorFormat(LocatorFormat format);
    // Events on exactly these interfaces; `none` switches them off everywhere.
    VX_IO_Result setEventInterfaces(const std::vector<uint32_t>& addresses, bool none);

    // From `source`, the host that heard of the device; dropped unless it
    // still serves the interface.
    void raiseDiscoveryEvent(int kind, const veltraxnd::DiscoverInfo& info, uint32_t ifaceAddress,
                             const veltraxnd::Host* source);

    // Entries that nothing holds and that were not used within `maxAgeNs`
    // leave the table; their hosts stop.
    void purgeInterfaceEntries(int64_t maxAgeNs);

    // The host serving an interface, null when it has no entry.
    std::shared_ptr<veltraxnd::Host> hostOf(uint32_t address);

private:
    struct Retired {
        std::vector<std::shared_ptr<veltraxnd::Host>> hosts;
        std::vector<std::shared_ptr<veltraxnd::DeviceFilter>> filters;
        std::vector<std::shared_ptr<DiscoveryInterfaceEntry>> entries;
    };

    struct Started {
        uint32_t address = 0;
        std::shared_ptr<veltraxnd::Host> host;
        std::shared_ptr<veltraxnd::DeviceFilter> filter;
    };

    // The entries of `addresses`, in order, each with a host; `lock` holds
    // the table mutex and is released while missing hosts start. Throws
    // veltraxnd::VeltraxNDException with the lock held.
    EntryList acquireEntries(const std::vector<uint32_t>& addresses, std::unique_lock<std::mutex>& lock,
                             Retired& retired);
    // Table mutex held.
    void install(Started& started, Retired& retired);
    void purgeLocked(int64_t maxAgeNs, Retired& retired);
    bool deliveringOnThisThread() const;
    // Table mutex released.
    static Started startHost(uint32_t address);
    static void release(Retired& retired);

    std::mutex mutex_;
    LocatorFormat format_ = LocatorFormat::sn;
    std::unordered_map<uint32_t, std::shared_ptr<DiscoveryInterfaceEntry>> entries_;
};

template <typename Keep>
void DiscoveryInterfaceTable::collectDevices(const EntryList& entries, LocatorFormat format, Keep keep,
                                             DeviceList& list) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : entries) {
        for (const auto& info : entry->filter->GetDevices()) {
            if (!isListableSerial(info.SerialNumber) || !keep(info)) continue;
            list.push_back(makeNetworkDeviceRecord(info, format, entry->address));
        }
    }
}

// Resolves "network:sn:" locators: known devices first, else a discovery
// pass on the "iface" interfaces of the open options.
VX_IO_Result resolveSerialThroughDiscovery(const std::string& serial, const std::string& optionText,
                                           ResolvedDevice& device);

}  // namespace vxio
