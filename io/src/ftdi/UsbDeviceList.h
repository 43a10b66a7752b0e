#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "VeltraxIO.h"
#include "ftdi/FtdiDriver.h"

namespace vxio {

// One cached FTDI device, in the driver's order.
struct UsbDeviceEntry {
    FtdiDeviceInfoNode node{};
    bool chipIdKnown = false;
    uint32_t chipId = 0;
    std::vector<uint8_t> protocolIds;
};

// Node fields as texts (the driver's fields need not be terminated).
std::string nodeSerial(const FtdiDeviceInfoNode& node);
std::string nodeDescription(const FtdiDeviceInfoNode& node);
uint16_t nodeVendorId(const FtdiDeviceInfoNode& node);
uint16_t nodeProductId(const FtdiDeviceInfoNode& node);
bool nodeOpened(const FtdiDeviceInfoNode& node);
bool nodeHighSpeed(const FtdiDeviceInfoNode& node);
// Type 6 with the high-speed flag: one of the two channels of an FT2232H.
bool nodeIsDualChannel(const FtdiDeviceInfoNode& node);

// Listings show a two-channel chip once, by its channel A with the channel
// suffix cut; channel B gives nothing.
std::optional<std::string> listedDescription(const FtdiDeviceInfoNode& node);
std::string listedSerial(const FtdiDeviceInfoNode& node);
// What an open matches: any high-speed device with " A" loses its last two
// characters; nothing is hidden.
std::string openDescription(const FtdiDeviceInfoNode& node);

// The process-wide cache of the driver's device list. Every call needs
// usbListMutex() held.
class UsbDeviceList {
public:
    using Clock = std::chrono::steady_clock;
    using ClockSource = Clock::time_point (*)();

    static UsbDeviceList& instance();

    // Rescans when forced, on the first scan or 1500 ms after the last one;
    // 0, or 13 when the driver's list cannot be read.
    VX_IO_Result scan(const FtdiDriver& driver, bool forceRescan);
    std::vector<UsbDeviceEntry>& entries() { return entries_; }

    // Reads the chip id of entry `index` unless known: open by index, ask the
    // chip-id library, close. False when any step fails.
    bool readChipId(const FtdiDriver& driver, size_t index);

    // For tests: where "now" comes from (null: the steady clock).
    static void setClockSource(ClockSource source);

private:
    std::vector<UsbDeviceEntry> entries_;
    bool scanned_ = false;
    Clock::time_point lastScan_{};
};

// Reads the driver's device list afresh, bypassing the cache; the driver's
// status.
FtdiStatus queryDeviceList(const FtdiDriver& driver, std::vector<FtdiDeviceInfoNode>* nodes);

// Which adapters the type 1 short list names.
struct ShortListFilter {
    std::set<std::string> productNames;  // empty: any
    std::optional<uint32_t> vendorId;
    std::optional<uint32_t> productId;
};

// Scans and selects, in list order, the entries that the short list shows;
// with `chipIds` their chip ids are read too. 0, or 13 when a query fails.
VX_IO_Result selectShortList(const FtdiDriver& driver, bool forceRescan,
                             const ShortListFilter& filter, bool chipIds,
                             std::vector<size_t>* selected);

}  // namespace vxio
