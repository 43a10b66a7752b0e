// A stand-in for the second-generation library: its device search answers
// with a list and a result that the test sets. Built once more without the
// search, as a library that lacks one of its functions.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "VeltraxCTL.h"

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {
std::mutex mutex;
std::string devices;
uint32_t result = 0;
int searches = 0;
}  // namespace

FAKE_API void FakeCtl_SetSearch(const char* list, uint32_t searchResult) {
    std::lock_guard<std::mutex> lock(mutex);
    devices = list ? list : "";
    result = searchResult;
}

FAKE_API int FakeCtl_Searches() {
    std::lock_guard<std::mutex> lock(mutex);
    return searches;
}

#ifndef FAKECTL_WITHOUT_SEARCH
FAKE_API VX_CTL_Result VX_CTL_FindDevices(const char* options, char* deviceList, size_t* deviceListLen) {
    std::lock_guard<std::mutex> lock(mutex);
    ++searches;
    if (!options || !deviceList || !deviceListLen) return 0x13;
    if (result != 0) return result;
    const size_t capacity = *deviceListLen;
    *deviceListLen = devices.size();
    if (capacity < devices.size() + 1) return 0xF006;
    std::memcpy(deviceList, devices.c_str(), devices.size() + 1);
    return 0;
}
#endif
