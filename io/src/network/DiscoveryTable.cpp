#include "network/DiscoveryTable.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <stdexcept>

#include "core/Event.h"
#include "core/OptionKeys.h"
#include "discovery/Address.h"
#include "discovery/Connection.h"
#include "discovery/Exceptions.h"
#include "platform/OwnedThread.h"

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

// Filter callbacks run on discovery threads, which must never see an exception.
void raiseFromFilter(int kind, const DiscoverInfo& info, uint32_t address, const veltraxnd::Host* source) {
    try {
        DiscoveryInterfaceTable::instance().raiseDiscoveryEvent(kind, info, address, source);
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

EntryList DiscoveryInterfaceTable::acquireEntries(const std::vector<uint32_t>& addresses,
                                                  std::unique_lock<std::mutex>& lock, Retired& retired) {
    for (bool firstRound = true;; firstRound = false) {
        const int64_t now = veltraxnd::steadyNanoseconds();
        std::vector<uint32_t> missing;
        for (uint32_t address : addresses) {
            auto it = entries_.find(address);
            // A host whose receive thread ended on a socket error is replaced:
            // without a new one the interface would stay deaf for the life of
            // the process. Later rounds only fill entries that a purge took
            // meanwhile, so a host that dies at once is not restarted forever.
            if (it == entries_.end() || (firstRound && !it->second->host->IsRunning())) {
                missing.push_back(address);
                continue;
            }
            // Kept from a purge while the missing hosts start.
            it->second->lastUsed = now;
        }
        if (missing.empty()) {
            EntryList entries;
            for (uint32_t address : addresses) entries.push_back(entries_.at(address));
            return entries;
        }

        lock.unlock();
        std::vector<Started> started;
        std::exception_ptr failure;
        try {
            for (uint32_t address : missing) started.push_back(startHost(address));
        } catch (const std::exception&) {
            failure = std::current_exception();
        }
        if (failure) {
            // Stopped here: their threads may be waiting for the table mutex.
            started.clear();
            lock.lock();
            std::rethrow_exception(failure);
        }
        lock.lock();
        for (Started& host : started) install(host, retired);
    }
}

void DiscoveryInterfaceTable::install(Started& started, Retired& retired) {
    auto& entry = entries_[started.address];
    if (!entry) {
        entry = std::make_shared<DiscoveryInterfaceEntry>();
        entry->address = started.address;
    }
    if (entry->host && entry->host->IsRunning()) {
        // Another caller put a host in first: this one is not needed.
        retired.hosts.push_back(std::move(started.host));
        retired.filters.push_back(std::move(started.filter));
    } else {
        if (entry->host) {
            retired.hosts.push_back(std::move(entry->host));
            retired.filters.push_back(std::move(entry->filter));
        }
        entry->host = std::move(started.host);
        entry->filter = std::move(started.filter);
    }
    entry->lastUsed = veltraxnd::steadyNanoseconds();
}

DiscoveryInterfaceTable::Started DiscoveryInterfaceTable::startHost(uint32_t address) {
    auto host = veltraxnd::Host::Create();
    const veltraxnd::Host* source = host.get();
    auto filter = std::make_shared<DeviceFilter>(
        host,
        [address, source](const DiscoverInfo& info) {
            raiseFromFilter(VX_IO_EVENT_DEVICE_AVAILABLE, info, address, source);
        },
        [address, source](const DiscoverInfo& info, cppu::Flags<DeviceFilter::Change> changes) {
            if (!changes.test(DeviceFilter::Change::AvailabilityChanged)) return;
            raiseFromFilter(info.Available ? VX_IO_EVENT_DEVICE_AVAILABLE : VX_IO_EVENT_DEVICE_GONE, info,
                            address, source);
        },
        [address, source](const DiscoverInfo& info) {
            raiseFromFilter(VX_IO_EVENT_DEVICE_GONE, info, address, source);
        });
    host->Start(veltraxnd::createConnection({veltraxnd::fromNetworkOrder(address)}));
    return {address, std::move(host), std::move(filter)};
}

void DiscoveryInterfaceTable::purgeLocked(int64_t maxAgeNs, Retired& retired) {
    const int64_t oldest = veltraxnd::steadyNanoseconds() - maxAgeNs;
    for (auto it = entries_.begin(); it != entries_.end();) {
        const auto& entry = it->second;
        if (!entry->raiseEvents && entry->deliveringOn.empty() && entry->lastUsed < oldest) {
            retired.entries.push_back(entry);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

bool DiscoveryInterfaceTable::deliveringOnThisThread() const {
    const auto self = std::this_thread::get_id();
    for (const auto& [address, entry] : entries_) {
        const auto& threads = entry->deliveringOn;
        if (std::find(threads.begin(), threads.end(), self) != threads.end()) return true;
    }
    return false;
}

void DiscoveryInterfaceTable::release(Retired& retired) {
    for (auto& entry : retired.entries) retired.hosts.push_back(entry->host);
    // Each stop waits for its receive thread, which may be in a listener:
    // hence no table mutex here.
    for (auto& host : retired.hosts) host->Stop();
    retired.filters.clear();
    retired.entries.clear();
    retired.hosts.clear();
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
    std::vector<std::shared_ptr<DeviceFilter>> toDiscover;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (addresses.empty()) return VX_IO_INVALID_OPTION;
        entries.clear();
        try {
            entries = acquireEntries(addresses, lock, retired);
        } catch (const std::exception&) {
            lock.unlock();
            release(retired);
            return VX_IO_INVALID_OPTION;
        }
        purgeLocked(kMaxEntryAgeNs, retired);

        // On a thread that delivers events, inside the event callback, only
        // what is known already is used: a pass raises its own events, which
        // wait for the API mutex that the callback holds while this thread
        // would wait for the pass.
        if (!deliveringOnThisThread()) {
            const int64_t stale = veltraxnd::steadyNanoseconds() - kRediscoverAgeNs;
            for (const auto& entry : entries) {
                if (force || entry->lastDiscovery < stale) toDiscover.push_back(entry->filter);
            }
        }
    }
    release(retired);

    std::atomic<unsigned> failures{0};
    // One pass per interface, side by side.
    std::deque<vxplatform::OwnedThread> passes;
    for (const auto& filter : toDiscover) {
        const bool started = passes.emplace_back().start([filter, timeoutMs, serial, &failures] {
            try {
                filter->Discover(std::chrono::milliseconds(timeoutMs), serial);
            } catch (const std::exception&) {
                ++failures;
            }
        });
        if (!started) ++failures;
    }
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
        std::unique_lock<std::mutex> lock(mutex_);
        if (!none) {
            try {
                // Existing entries too: a host that died is replaced here.
                acquireEntries(addresses, lock, retired);
            } catch (const std::exception&) {
                result = VX_IO_INVALID_OPTION;
            }
        }
        // After the hosts started: the lock was released meanwhile.
        for (auto& [address, entry] : entries_)
            entry->raiseEvents = !none && std::find(addresses.begin(), addresses.end(), address) != addresses.end();
        if (result == VX_IO_OK) purgeLocked(kMaxEntryAgeNs, retired);
    }
    release(retired);
    return result;
}

void DiscoveryInterfaceTable::raiseDiscoveryEvent(int kind, const DiscoverInfo& info, uint32_t ifaceAddress,
                                                  const veltraxnd::Host* source) {
    if (!isListableSerial(info.SerialNumber)) return;
    std::shared_ptr<DiscoveryInterfaceEntry> entry;
    LocatorFormat format;
    const auto self = std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.find(ifaceAddress);
        if (it == entries_.end() || !it->second->raiseEvents || it->second->host.get() != source) return;
        entry = it->second;
        entry->deliveringOn.push_back(self);
        format = format_;
    }
    struct Done {
        std::mutex& mutex;
        DiscoveryInterfaceEntry& entry;
        std::thread::id thread;
        ~Done() {
            std::lock_guard<std::mutex> lock(mutex);
            auto& threads = entry.deliveringOn;
            threads.erase(std::find(threads.begin(), threads.end(), thread));
        }
    } done{mutex_, *entry, self};

    VX_IO_Event event;
    event.kind = kind;
    event.device = makeNetworkDeviceRecord(info, format, ifaceAddress);
    std::lock_guard<std::mutex> api(apiMutex());
    invokeEventCallback(event);
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
