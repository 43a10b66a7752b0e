#include "ftdi/UsbDeviceList.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace vxio {

namespace {

constexpr auto kRescanInterval = std::chrono::milliseconds(1500);
constexpr const char* kChannelA = " A";

UsbDeviceList::ClockSource clockSource = nullptr;

UsbDeviceList::Clock::time_point now() {
    return clockSource ? clockSource() : UsbDeviceList::Clock::now();
}

std::string boundedText(const char* field, size_t capacity) {
    return std::string(field, strnlen(field, capacity));
}

std::string cutEnd(const std::string& text, size_t count) {
    return text.substr(0, text.size() >= count ? text.size() - count : 0);
}

}  // namespace

std::string nodeSerial(const FtdiDeviceInfoNode& node) {
    return boundedText(node.serialNumber, sizeof(node.serialNumber));
}

std::string nodeDescription(const FtdiDeviceInfoNode& node) {
    return boundedText(node.description, sizeof(node.description));
}

uint16_t nodeVendorId(const FtdiDeviceInfoNode& node) { return static_cast<uint16_t>(node.id >> 16); }
uint16_t nodeProductId(const FtdiDeviceInfoNode& node) { return static_cast<uint16_t>(node.id); }
bool nodeOpened(const FtdiDeviceInfoNode& node) { return node.flags & kFtdiFlagOpened; }
bool nodeHighSpeed(const FtdiDeviceInfoNode& node) { return node.flags & kFtdiFlagHighSpeed; }

bool nodeIsDualChannel(const FtdiDeviceInfoNode& node) {
    return node.type == kFtdiTypeDualHighSpeed && nodeHighSpeed(node);
}

std::optional<std::string> listedDescription(const FtdiDeviceInfoNode& node) {
    const std::string description = nodeDescription(node);
    if (!nodeIsDualChannel(node)) return description;
    if (description.rfind(kChannelA) == std::string::npos) return std::nullopt;
    return cutEnd(description, 2);
}

std::string listedSerial(const FtdiDeviceInfoNode& node) {
    const std::string serial = nodeSerial(node);
    return nodeIsDualChannel(node) ? cutEnd(serial, 1) : serial;
}

std::string openDescription(const FtdiDeviceInfoNode& node) {
    const std::string description = nodeDescription(node);
    if (nodeHighSpeed(node) && description.rfind(kChannelA) != std::string::npos)
        return cutEnd(description, 2);
    return description;
}

UsbDeviceList& UsbDeviceList::instance() {
    static UsbDeviceList list;
    return list;
}

void UsbDeviceList::setClockSource(ClockSource source) {
    std::lock_guard<std::mutex> lock(usbListMutex());
    clockSource = source;
}

FtdiStatus queryDeviceList(const FtdiDriver& driver, std::vector<FtdiDeviceInfoNode>* nodes) {
    nodes->clear();
    uint32_t count = 0;
    FtdiStatus status = driver.FT_CreateDeviceInfoList(&count);
    if (status != kFtdiOk || count == 0) return status;
    nodes->resize(count);
    status = driver.FT_GetDeviceInfoList(nodes->data(), &count);
    if (status != kFtdiOk) {
        nodes->clear();
        return status;
    }
    nodes->resize(std::min<size_t>(count, nodes->size()));
    return kFtdiOk;
}

VX_IO_Result UsbDeviceList::scan(const FtdiDriver& driver, bool forceRescan) {
    const Clock::time_point time = now();
    if (scanned_ && !forceRescan && time - lastScan_ < kRescanInterval) return VX_IO_OK;
    scanned_ = true;
    lastScan_ = time;

    std::vector<FtdiDeviceInfoNode> nodes;
    if (queryDeviceList(driver, &nodes) != kFtdiOk) return VX_IO_LIST_QUERY_FAILED;

    // Protocol ids stay with the serial number they were found for; chip
    // ids are read again.
    std::map<std::string, std::vector<uint8_t>> protocolIds;
    for (const UsbDeviceEntry& entry : entries_)
        protocolIds[nodeSerial(entry.node)] = entry.protocolIds;
    entries_.clear();
    for (const FtdiDeviceInfoNode& node : nodes) {
        UsbDeviceEntry entry;
        entry.node = node;
        auto known = protocolIds.find(nodeSerial(node));
        if (known != protocolIds.end()) entry.protocolIds = known->second;
        entries_.push_back(std::move(entry));
    }
    return VX_IO_OK;
}

bool UsbDeviceList::readChipId(const FtdiDriver& driver, size_t index) {
    UsbDeviceEntry& entry = entries_.at(index);
    if (entry.chipIdKnown) return true;
    FtdiHandle handle = nullptr;
    if (driver.FT_Open(static_cast<int>(index), &handle) != kFtdiOk) return false;
    uint32_t chipId = 0;
    const FtdiStatus status = driver.FTID_GetChipIDFromHandle(handle, &chipId);
    const FtdiStatus closed = driver.FT_Close(handle);
    if (status != kFtdiOk || closed != kFtdiOk) return false;
    entry.chipId = chipId;
    entry.chipIdKnown = true;
    return true;
}

VX_IO_Result selectShortList(const FtdiDriver& driver, bool forceRescan,
                             const ShortListFilter& filter, bool chipIds,
                             std::vector<size_t>* selected) {
    selected->clear();
    UsbDeviceList& list = UsbDeviceList::instance();
    const VX_IO_Result scanned = list.scan(driver, forceRescan);
    if (scanned != VX_IO_OK) return scanned;
    if (list.entries().empty()) return VX_IO_OK;

    for (size_t i = 0; i < list.entries().size(); ++i) {
        const FtdiDeviceInfoNode& node = list.entries()[i].node;
        if (nodeOpened(node)) continue;
        const std::optional<std::string> description = listedDescription(node);
        if (!description) continue;
        if (!filter.productNames.empty() && !filter.productNames.count(*description)) continue;
        if (filter.productId && nodeProductId(node) != *filter.productId) continue;
        if (filter.vendorId && nodeVendorId(node) != *filter.vendorId) continue;
        selected->push_back(i);
    }

    if (chipIds) {
        uint32_t count = 0;
        if (driver.FTID_GetNumDevices(&count) != kFtdiOk) return VX_IO_LIST_QUERY_FAILED;
        for (size_t index : *selected) {
            if (!list.readChipId(driver, index)) return VX_IO_LIST_QUERY_FAILED;
        }
    }
    return VX_IO_OK;
}

}  // namespace vxio
