#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "FtdiDouble.h"
#include "VeltraxIO.h"
#include "ftdi/UsbDeviceList.h"
#include "support/IoReceiver.h"

namespace usbtest {

using namespace std::chrono_literals;

// The list cache reads this clock, so tests move time instead of waiting.
inline std::chrono::steady_clock::time_point fakeNow = std::chrono::steady_clock::now();
inline std::chrono::steady_clock::time_point fakeClock() { return fakeNow; }

inline const VxFtdiDoubleApi& ftdi() {
    static const VxFtdiDoubleApi* api = vxftdi_api();
    if (!api) ADD_FAILURE() << "FTDI driver double not loadable: " << dlerror();
    return *api;
}

struct Adapter {
    std::string serial = "VX000001";
    std::string description = "Veltrax QMX-I";
    uint16_t vid = 0x0403;
    uint16_t pid = 0x6001;
    uint32_t chipId = 1001;
    uint32_t type = VXFTDI_TYPE_SINGLE;
    uint32_t flags = 0;
    std::vector<uint8_t> userArea;

    Adapter& sn(std::string value) { serial = std::move(value); return *this; }
    Adapter& desc(std::string value) { description = std::move(value); return *this; }
    Adapter& vendor(uint16_t value) { vid = value; return *this; }
    Adapter& product(uint16_t value) { pid = value; return *this; }
    Adapter& chip(uint32_t value) { chipId = value; return *this; }
    Adapter& ofType(uint32_t value) { type = value; return *this; }
    Adapter& withFlags(uint32_t value) { flags = value; return *this; }
    Adapter& withUserArea(std::vector<uint8_t> value) { userArea = std::move(value); return *this; }
};

inline VxFtdiAdapterSpec specOf(const Adapter& adapter) {
    VxFtdiAdapterSpec spec{};
    spec.serial = adapter.serial.c_str();
    spec.description = adapter.description.c_str();
    spec.vendorId = adapter.vid;
    spec.productId = adapter.pid;
    spec.chipId = adapter.chipId;
    spec.type = adapter.type;
    spec.flags = adapter.flags;
    spec.userArea = adapter.userArea.empty() ? nullptr : adapter.userArea.data();
    spec.userAreaLength = adapter.userArea.size();
    return spec;
}

inline int plug(const Adapter& adapter) {
    const VxFtdiAdapterSpec spec = specOf(adapter);
    return ftdi().addAdapter(&spec);
}

// A configuration record of the given kind.
inline std::vector<uint8_t> record(uint8_t kind) { return {'V', 'X', 'I', 'O', kind}; }

// A user area as a test name shows it.
inline std::string describeUserArea(const std::vector<uint8_t>& userArea) {
    if (userArea.empty()) return "no record";
    const std::vector<uint8_t> magic = {'V', 'X', 'I', 'O'};
    if (userArea.size() >= 5 && std::equal(magic.begin(), magic.end(), userArea.begin()))
        return "record kind " + std::to_string(userArea[4]);
    return std::to_string(userArea.size()) + " bytes without record";
}

inline std::string callLog() {
    // The receive thread keeps logging: ask again until the log fits.
    std::string text;
    for (size_t need = ftdi().callLog(nullptr, 0);;) {
        text.assign(need + 1, '\0');
        const size_t length = ftdi().callLog(text.data(), text.size());
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        need = length;
    }
}

// Driver calls of the log whose names are among `names` (all when empty).
inline std::vector<std::string> calls(const std::vector<std::string>& names = {}) {
    std::vector<std::string> found;
    const std::string log = callLog();
    size_t start = 0;
    while (start < log.size()) {
        const size_t end = std::min(log.find('\n', start), log.size());
        const std::string line = log.substr(start, end - start);
        const std::string name = line.substr(0, line.find('('));
        bool wanted = names.empty();
        for (const std::string& n : names) wanted = wanted || n == name;
        if (wanted) found.push_back(line);
        start = end + 1;
    }
    return found;
}

inline VxFtdiLineState lineState(int adapter) {
    VxFtdiLineState state{};
    EXPECT_EQ(0, ftdi().lineState(adapter, &state));
    return state;
}

// Result and text of an enumeration.
struct Listing {
    int result = -1;
    std::string text;
    size_t length = 0;
};

inline Listing enumerate(int type, const std::string& options, size_t capacity = 4096) {
    Listing listing;
    std::vector<char> buffer(capacity + 1, 'x');
    listing.length = capacity;
    listing.result = VX_IO_EnumerateDevices(type, options.c_str(), buffer.data(), &listing.length);
    if (listing.result == VX_IO_OK) listing.text = buffer.data();
    return listing;
}

// Records of a device list text (values here need no unescaping).
inline std::vector<std::map<std::string, std::string>> records(const std::string& text) {
    std::vector<std::map<std::string, std::string>> found;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::map<std::string, std::string> record;
        std::istringstream pairs(line);
        std::string pair;
        while (std::getline(pairs, pair, '|')) {
            const size_t equals = pair.find('=');
            record[pair.substr(0, equals)] = pair.substr(equals + 1);
        }
        found.push_back(record);
    }
    return found;
}

// Collects what a device's callbacks deliver.
using Receiver = vxtest::IoReceiver;

inline int open(VX_IO_Handle* handle, const std::string& locator, const std::string& options,
                Receiver* receiver) {
    return VX_IO_Open(handle, locator.c_str(), options.c_str(), receiver, &Receiver::onReceive,
                      &Receiver::onError);
}

// Every test starts with no adapters, no faults, an empty call log and a
// list cache that is due for a rescan.
class UsbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ftdi().reset();
        vxio::UsbDeviceList::setClockSource(&fakeClock);
        advanceClock(10s);
    }
    void TearDown() override { ftdi().reset(); }
    static void advanceClock(std::chrono::milliseconds step) { fakeNow += step; }
};

}  // namespace usbtest
