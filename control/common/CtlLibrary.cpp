#include "common/CtlLibrary.h"

#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/DynamicLibrary.h"
#include "platform/Text.h"

namespace qmx {

namespace {

using FindDevicesFunction = uint32_t (*)(const char* options, char* deviceList, size_t* deviceListLength);

constexpr size_t kDeviceListCapacity = 4096;

// An object of this library: the second-generation library is looked for
// beside the file that holds it.
const char libraryAnchor = 0;

std::mutex libraryMutex;

// Built on first use: a host's static initialisers may set it before this
// file's own would have run.
std::string& libraryFileName() {
    static std::string name = kVeltraxCTLFileName;
    return name;
}
// Never unloaded: systems and their threads may call into it until the
// process ends. Reachable from here, so not a leak.
vxplatform::DynamicLibrary* library = nullptr;

struct ResultRange {
    uint32_t first;
    uint32_t last;
    VX_STATUS status;
};

constexpr ResultRange resultMap[] = {
    {0x0000, 0x0000, 0},   {0x0001, 0x0001, 240}, {0x0002, 0x0002, 12},  {0x0004, 0x0004, 15},
    {0x0005, 0x0005, 14},  {0x000C, 0x000E, 12},  {0x0010, 0x0010, 12},  {0x0013, 0x0013, 9},
    {0x0020, 0x0020, 5},   {0x0022, 0x0022, 6},   {0x0023, 0x0023, 157}, {0x0025, 0x0025, 146},
    {0x0027, 0x0027, 9},   {0x0100, 0x0100, 15},  {0x0102, 0x0103, 129}, {0x0104, 0x0104, 140},
    {0x0105, 0x010C, 150}, {0x0110, 0x0110, 141}, {0x0111, 0x0111, 150}, {0x0112, 0x0112, 148},
    {0x0113, 0x0113, 150}, {0x0114, 0x0114, 9},   {0x0150, 0x0153, 150}, {0x0200, 0x0200, 142},
    {0x0202, 0x0202, 147}, {0x0301, 0x0301, 150}, {0x0303, 0x0303, 150}, {0x0500, 0x0500, 12},
    {0x7FFD, 0x7FFD, 150}, {0x7FFE, 0x7FFE, 240}, {0xF000, 0xF000, 4},   {0xF001, 0xF001, 21},
    {0xF002, 0xF002, 1},   {0xF003, 0xF003, 2},   {0xF004, 0xF004, 7},   {0xF006, 0xF006, 23},
    {0xF007, 0xF007, 5},   {0xF00F, 0xF00F, 10},  {0xF010, 0xF010, 20},  {0xF013, 0xF013, 24},
    {0xF016, 0xF016, 149}, {0xF017, 0xF017, 14},  {0xF018, 0xF018, 1},   {0xF01A, 0xF01A, 3},
};

}  // namespace

bool loadVeltraxCTL() {
    std::lock_guard<std::mutex> lock(libraryMutex);
    if (library) return true;
    auto loaded = vxplatform::DynamicLibrary::openBesideModule(&libraryAnchor, libraryFileName());
    if (!loaded.loaded()) return false;
    library = new vxplatform::DynamicLibrary(std::move(loaded));
    return true;
}

void* veltraxCTLSymbol(const char* name) {
    std::lock_guard<std::mutex> lock(libraryMutex);
    return library ? library->symbol(name) : nullptr;
}

void setVeltraxCTLFileName(const std::string& fileName) {
    std::lock_guard<std::mutex> lock(libraryMutex);
    libraryFileName() = fileName;
}

VX_STATUS findVeltraxCTLDevices(std::vector<std::string>* locators) {
    locators->clear();
    if (!loadVeltraxCTL()) return 1;
    const auto findDevices = reinterpret_cast<FindDevicesFunction>(veltraxCTLSymbol("VX_CTL_FindDevices"));
    if (!findDevices) return 1;

    std::vector<char> buffer(kDeviceListCapacity, '\0');
    size_t length = buffer.size();
    const uint32_t result = findDevices("", buffer.data(), &length);
    if (result != 0) return mapCtlResult(result);
    // Up to the first NUL, and never past the buffer even without one.
    *locators = vxplatform::splitText(std::string_view(buffer.data(), ::strnlen(buffer.data(), buffer.size())), "\n");
    return 0;
}

VX_STATUS mapCtlResult(uint32_t result) {
    for (const auto& range : resultMap) {
        if (result >= range.first && result <= range.last) return range.status;
    }
    return 255;
}

}  // namespace qmx
