#include "search/DeviceSearch.h"

#include <algorithm>
#include <string_view>

#include "platform/Text.h"

namespace vxctl {

namespace {

constexpr std::string_view kNoNetwork = "no-network-devices";
constexpr std::string_view kSerial = "include-serial-devices";
constexpr std::string_view kExtended = "extended-format";

// Second-generation controllers only.
constexpr int kDiscoveryDeviceType = 2;

constexpr const char* kUsbProductNames[] = {"Veltrax QMX2", "Veltrax WEM Eval Board", "Veltrax ZBU FB"};

VX_CTL_Result searchResult(VX_IO_Result result) {
    switch (result) {
        case VX_IO_OK:
        case VX_IO_BUFFER_TOO_SMALL:
            return VX_CTL_OK;
        case VX_IO_DRIVER_NOT_AVAILABLE:
            return VX_CTL_DRIVER_FAILED;
        default:
            return VX_CTL_COMMUNICATION_FAILED;
    }
}

// Adds one search's list behind what is there, with one LF between; a
// search that failed or found nothing takes its separator back. A search
// that did not fit hands back the room it was offered, none when the
// buffer is full: its separator stays, so that the length reaches the
// capacity and the call reports the buffer too small.
VX_CTL_Result appendSearch(const std::string& searchOptions, char* deviceList, size_t capacity, size_t* length,
                           const Enumerate& enumerate) {
    if (*length != 0) {
        if (*length < capacity) deviceList[*length] = '\n';
        ++*length;
    }
    size_t room = *length < capacity ? capacity - *length : 0;
    const VX_IO_Result result = enumerate(VX_IO_IFACE_ALL, searchOptions.c_str(), deviceList + *length, &room);
    const bool foundNothing = result == VX_IO_OK && room == 0;
    if ((result != VX_IO_OK && result != VX_IO_BUFFER_TOO_SMALL) || foundNothing) {
        if (*length != 0) --*length;
    } else {
        *length += room;
    }
    return searchResult(result);
}

}  // namespace

std::vector<std::string> searchOptionTexts(std::string_view options) {
    const std::vector<std::string> lines = vxplatform::splitText(options, "\n");
    const auto given = [&](std::string_view key) { return std::find(lines.begin(), lines.end(), key) != lines.end(); };

    const std::string base = "find-only-available\nfind-device-type " + std::to_string(kDiscoveryDeviceType) + "\n" +
                             (given(kExtended) ? "include-locator\n" : "only-locator\n");
    std::string usb = base + "iface-type usb\n";
    for (const char* name : kUsbProductNames) usb += std::string("find-usb-product-name ") + name + "\n";

    std::vector<std::string> searches{usb};
    if (!given(kNoNetwork)) searches.push_back(base + "iface-type network\niface network:all\n");
    if (given(kSerial)) searches.push_back(base + "iface-type serial\n");
    return searches;
}

VX_CTL_Result findDevices(const char* options, char* deviceList, size_t* deviceListLen, const Enumerate& enumerate) {
    if (!deviceListLen) return VX_CTL_INVALID_PARAMETER;
    const std::vector<std::string> searches = searchOptionTexts(options ? options : "");
    const size_t capacity = *deviceListLen;
    *deviceListLen = 0;
    bool anySucceeded = false;
    VX_CTL_Result last = VX_CTL_OK;
    for (const std::string& search : searches) {
        last = appendSearch(search, deviceList, capacity, deviceListLen, enumerate);
        anySucceeded = anySucceeded || last == VX_CTL_OK;
    }
    if (!anySucceeded) return last;
    if (capacity < *deviceListLen + 1) return VX_CTL_INVALID_QUERYBUFFER_SIZE;
    deviceList[*deviceListLen] = '\0';
    return VX_CTL_OK;
}

}  // namespace vxctl
