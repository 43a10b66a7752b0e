#include "network/DiscoveryTable.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "core/Event.h"
#include "core/OptionKeys.h"
#include "discovery/Address.h"
#include "discovery/Connection.h"
#include "discovery/Exceptions.h"

namespace vxio {

namespace {

using veltraxnd::DeviceFilter;
using veltraxnd::DiscoverInfo;

constexpr int64_t kMaxEntryAgeNs = 10'000'000'000;
constexpr int64_t kRediscoverAgeNs = 3'000'000'000;
constexpr char kNetworkPrefix[] = "network:";

// The word of an interface value: the text after "network:" up to the next
// ":"; false for a value with another prefix.
bool interfaceWord(const std::string& value, std::string& word) {
    const std::string prefix = kNetworkPrefix;
    if (value.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string rest = value.substr(prefix.size());
    word = rest.substr(0, rest.find(':'));
    return true;
}

void addUnique(std::vector<uint32_t>& addresses, uint32_t address) {
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
        addresses.push_back(address);
}

VX_IO_Result addAllInterfaces(std::vector<uint32_t>& addresses) {
    try {
        for (const auto& iface : veltraxnd::listNetworkInterfaces())
            addUnique(addresses, veltraxnd::networkOrder(iface.address));
    } catch (const std::exception&) {
        return VX_IO_LIST_QUERY_FAILED;
    }
    return VX_IO_OK;
}

// Set on a thread while it runs the event callback, which holds the API
// mutex: a discovery pass started from there would raise its own events on
// threads that wait for that mutex, while this thread waits for them.
thread_local bool insideEventCallback = false;

// Runs `work` on a thread of its own, waits for it and passes on what it
// throws. A host's receive thread holds the host's listener lock while a
// filter raises events, which take the table and API mutexes; so a filter
// is added to or removed from its host only on a thread that holds neither.
template <typename Work>
void runApart(Work&& work) {
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

// Filter callbacks run on discovery threads, which must never see an exception.
void raiseFromFilter(int kind, const DiscoverInfo& info, uint32_t address) {
    try {
        DiscoveryInterfaceTable::instance().raiseDiscoveryEvent(kind, info, address);
    } catch (const std::exception&) {
    }
}

}  // namespace

LocatorFormat getLocatorFormat(const Options& options) {
    const std::string word = options.getText(key::kLocatorFormatNetwork, "sn");
    if (word == "sn") return LocatorFormat::sn;
    if (word == "host") return LocatorFormat::host;
    throw std::invalid_argument("Unknown locator format");
}

VX_IO_Result readInterfaceValues(const std::vector<std::string>& values, std::vector<uint32_t>& addresses,
                                 bool* none) {
    addresses.clear();
    if (none) *none = false;
    for (const std::string& value : values) {
        std::string word;
        if (!interfaceWord(value, word)) continue;
        if (none && word == "none") {
            addresses.clear();
            *none = true;
            break;
        }
        if (word == "all") {
            const VX_IO_Result result = addAllInterfaces(addresses);
            if (result != VX_IO_OK) return result;
            continue;
        }
        const uint32_t address = parseIPv4(word);
        if (address == 0) return VX_IO_INVALID_OPTION;
        addUnique(addresses, address);
    }
    return VX_IO_OK;
}

VX_IO_Result readIfaceOption(const Options& options, std::vector<uint32_t>& addresses) {
    return readInterfaceValues(options.getAll(key::kIface), addresses);
}

bool isListableSerial(const std::string& serial) {
    return std::none_of(serial.begin(), serial.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F || c == ':';
    });
}

DeviceRecord makeNetworkDeviceRecord(const DiscoverInfo& info, LocatorFormat format, uint32_t ifaceAddress) {
    const std::string host = veltraxnd::addressText(info.address);
    const std::string port = std::to_string(info.Port);
    return {
        {"iface-type", "network"},
        {"network-host", host},
        {"network-port", port},
        {"device-type", std::to_string(info.DeviceType)},
        {"device-sn", info.SerialNumber},
        {"available", info.Available ? "1" : "0"},
        {"protocol-id", std::to_string(info.ProtocolId)},
        {"locator", format == LocatorFormat::sn ? kNetworkPrefix + std::string("sn:") + info.SerialNumber
                                                : kNetworkPrefix + host + ":" + port},
        {"iface", kNetworkPrefix + formatIPv4(ifaceAddress)},
        {"device-info", info.Info},
    };
}

DiscoveryInterfaceTable& DiscoveryInterfaceTable::instance() {
    static DiscoveryInterfaceTable table;
    return table;
}

DiscoveryInterfaceTable::DiscoveryInterfaceTable() {
    // Made first, so the API mutex outlives this table at exit.
    apiMutex();
}

DiscoveryInterfaceTable::~DiscoveryInterfaceTable() {
    Retired retired;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [address, entry] : entries_) retired.entries.push_back(entry);
        entries_.clear();
    }
    release(retired);
}

std::shared_ptr<DiscoveryInterfaceEntry> DiscoveryInterfaceTable::acquireInterfaceEntry(uint32_t address,
                                                                                      Retired& retired) {
    const int64_t now = veltraxnd::steadyNanoseconds();
    auto it = entries_.find(address);
    if (it != entries_.end()) {
        auto& entry = it->second;
        if (!entry->host->IsRunning()) {
            // Its receive thread ended on a socket error: without a new host
            // the interface would stay deaf for the life of the process.
            retired.hosts.push_back(entry->host);
            retired.filters.push_back(entry->filter);
            startHost(address, entry->host, entry->filter);
        }
        entry->lastUsed = now;
        return entry;
    }
    auto entry = std::make_shared<DiscoveryInterfaceEntry>();
    entry->address = address;
    startHost(address, entry->host, entry->filter);
    entry->lastUsed = now;
    entries_.emplace(address, entry);
    return entry;
}

void DiscoveryInterfaceTable::startHost(uint32_t address, std::shared_ptr<veltraxnd::Host>& hostOut,
                                        std::shared_ptr<veltraxnd::DeviceFilter>& filterOut) {
    runApart([&] {
        auto host = veltraxnd::Host::Create();
        auto filter = std::make_shared<DeviceFilter>(
            host,
            [address](const DiscoverInfo& info) { raiseFromFilter(VX_IO_EVENT_DEVICE_AVAILABLE, info, address); },
            [address](const DiscoverInfo& info, cppu::Flags<DeviceFilter::Change> changes) {
                if (!changes.test(DeviceFilter::Change::AvailabilityChanged)) return;
                raiseFromFilter(info.Available ? VX_IO_EVENT_DEVICE_AVAILABLE : VX_IO_EVENT_DEVICE_GONE, info,
                                address);
            },
            [address](const DiscoverInfo& info) { raiseFromFilter(VX_IO_EVENT_DEVICE_GONE, info, address); });
        host->Start(veltraxnd::createConnection({veltraxnd::fromNetworkOrder(address)}));
        hostOut = std::move(host);
        filterOut = std::move(filter);
    });
}

void DiscoveryInterfaceTable::purgeLocked(int64_t maxAgeNs, Retired& retired) {
    const int64_t oldest = veltraxnd::steadyNanoseconds() - maxAgeNs;
    for (auto it = entries_.begin(); it != entries_.end();) {
        const auto& entry = it->second;
        if (!entry->raiseEvents && entry->users == 0 && entry->lastUsed < oldest) {
            retired.entries.push_back(entry);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

void DiscoveryInterfaceTable::release(Retired& retired) {
    if (retired.hosts.empty() && retired.filters.empty() && retired.entries.empty()) return;
    auto stopAndDrop = [&retired] {
        for (auto& entry : retired.entries) retired.hosts.push_back(entry->host);
        for (auto& host : retired.hosts) host->Stop();
        retired.filters.clear();
        retired.entries.clear();
        retired.hosts.clear();
    };
    try {
        runApart(stopAndDrop);
    } catch (const std::system_error&) {
        // No thread to spare: the stopped hosts hold no listener lock anyway.
        stopAndDrop();
    }
}

void DiscoveryInterfaceTable::purgeInterfaceEntries(int64_t maxAgeNs) {
    Retired retired;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        purgeLocked(maxAgeNs, retired);
    }
    release(retired);
}

std::shared_ptr<veltraxnd::Host> DiscoveryInterfaceTable::hostOf(uint32_t address) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(address);
    return it == entries_.end() ? nullptr : it->second->host;
}

VX_IO_Result DiscoveryInterfaceTable::discoverOnInterfaces(const std::vector<uint32_t>& addresses,
                                                           uint32_t timeoutMs, bool force,
                                                           const std::string& serial, EntryList& entries) {
    Retired retired;
    std::atomic<unsigned> failures{0};
    std::vector<std::thread> passes;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (addresses.empty()) return VX_IO_INVALID_OPTION;
        entries.clear();
        try {
            for (uint32_t address : addresses) entries.push_back(acquireInterfaceEntry(address, retired));
        } catch (const std::exception&) {
            lock.unlock();
            release(retired);
            return VX_IO_INVALID_OPTION;
        }
        purgeLocked(kMaxEntryAgeNs, retired);

        const int64_t stale = veltraxnd::steadyNanoseconds() - kRediscoverAgeNs;
        passes.reserve(entries.size());
        for (const auto& entry : entries) {
            // From inside the event callback only what is known already is used.
            if (insideEventCallback) break;
            if (!force && entry->lastDiscovery >= stale) continue;
            auto filter = entry->filter;
            try {
                passes.emplace_back([filter, timeoutMs, serial, &failures] {
                    try {
                        filter->Discover(std::chrono::milliseconds(timeoutMs), serial);
                    } catch (const std::exception&) {
                        ++failures;
                    }
                });
            } catch (const std::exception&) {
                ++failures;
            }
        }
    }
    release(retired);
    for (auto& pass : passes) pass.join();
    return failures == 0 ? VX_IO_OK : VX_IO_LIST_QUERY_FAILED;
}

bool DiscoveryInterfaceTable::findDiscoveredDevice(const std::string& serial, DiscoverInfo& found) {
    if (!isListableSerial(serial)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [address, entry] : entries_) {
        for (const auto& info : entry->filter->GetDevices()) {
            if (info.SerialNumber == serial) {
                found = info;
                return true;
            }
        }
    }
    return false;
}

void DiscoveryInterfaceTable::setLocatorFormat(LocatorFormat format) {
    std::lock_guard<std::mutex> lock(mutex_);
    format_ = format;
}

VX_IO_Result DiscoveryInterfaceTable::setEventInterfaces(const std::vector<uint32_t>& addresses, bool none) {
    Retired retired;
    VX_IO_Result result = VX_IO_OK;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [address, entry] : entries_)
            entry->raiseEvents = !none && std::find(addresses.begin(), addresses.end(), address) != addresses.end();
        if (!none) {
            try {
                // Existing entries too: a host that died is replaced here.
                for (uint32_t address : addresses) acquireInterfaceEntry(address, retired)->raiseEvents = true;
            } catch (const std::exception&) {
                result = VX_IO_INVALID_OPTION;
            }
        }
        if (result == VX_IO_OK) purgeLocked(kMaxEntryAgeNs, retired);
    }
    release(retired);
    return result;
}

void DiscoveryInterfaceTable::raiseDiscoveryEvent(int kind, const DiscoverInfo& info, uint32_t ifaceAddress) {
    if (!isListableSerial(info.SerialNumber)) return;
    std::shared_ptr<DiscoveryInterfaceEntry> entry;
    LocatorFormat format;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.find(ifaceAddress);
        if (it == entries_.end() || !it->second->raiseEvents) return;
        entry = it->second;
        ++entry->users;
        format = format_;
    }
    struct Done {
        std::mutex& mutex;
        DiscoveryInterfaceEntry& entry;
        ~Done() {
            std::lock_guard<std::mutex> lock(mutex);
            --entry.users;
        }
    } done{mutex_, *entry};

    VX_IO_Event event;
    event.kind = kind;
    event.device = makeNetworkDeviceRecord(info, format, ifaceAddress);
    std::lock_guard<std::mutex> api(apiMutex());
    insideEventCallback = true;
    invokeEventCallback(event);
    insideEventCallback = false;
}

VX_IO_Result resolveSerialThroughDiscovery(const std::string& serial, const std::string& optionText,
                                           ResolvedDevice& device) {
    auto& table = DiscoveryInterfaceTable::instance();
    DiscoverInfo info;
    if (!table.findDiscoveredDevice(serial, info)) {
        const Options options = parseOptions(optionText);
        std::vector<uint32_t> addresses;
        const VX_IO_Result result = readIfaceOption(options, addresses);
        if (result != VX_IO_OK) return result;
        if (addresses.empty()) return VX_IO_DEVICE_NOT_FOUND;
        const uint32_t timeoutMs = options.getUnsigned(key::kDiscoveryTimeout, 100);
        EntryList entries;
        table.discoverOnInterfaces(addresses, timeoutMs, true, serial, entries);
        if (!table.findDiscoveredDevice(serial, info)) return VX_IO_DEVICE_NOT_FOUND;
    }
    device.address = veltraxnd::networkOrder(info.address);
    device.port = info.Port;
    return VX_IO_OK;
}

VX_IO_Result parseNetworkLocator(const std::string& optionText, const std::vector<std::string>& pieces,
                                 std::string& host, uint16_t& port) {
    return parseNetworkLocator(optionText, pieces, resolveSerialThroughDiscovery, host, port);
}

}  // namespace vxio
