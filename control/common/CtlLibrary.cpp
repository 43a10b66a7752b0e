#include "common/CtlLibrary.h"

#include <cstring>
#include <mutex>
#include <string_view>

#include "VeltraxCTL.h"
#include "common/StatusCodes.h"
#include "platform/DynamicLibrary.h"
#include "platform/Text.h"

namespace qmx {

namespace {

// The type of each bound function is its declaration's: no signature is
// written a second time.
using FindDevicesFunction = decltype(&VX_CTL_FindDevices);

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
    {0x0000, 0x0000, VX_OK},
    {0x0001, 0x0001, VX_UNKNOWN_COMMAND},
    {0x0002, 0x0002, VX_INTERNAL_ERROR},
    {0x0004, 0x0004, VX_TIMEOUT},
    {0x0005, 0x0005, VX_PROTOCOL_ERROR},
    {0x000C, 0x000E, VX_INTERNAL_ERROR},
    {0x0010, 0x0010, VX_INTERNAL_ERROR},
    {0x0013, 0x0013, VX_INVALID_PARAMETER},
    {0x0020, 0x0020, VX_INVALID_SYSTEM_INDEX},
    {0x0022, 0x0022, VX_INVALID_CHANNEL_INDEX},
    {0x0023, 0x0023, VX_PERMISSION_DENIED},
    {0x0025, 0x0025, VX_MOVEMENT_LOCKED},
    {0x0027, 0x0027, VX_INVALID_PARAMETER},
    {0x0100, 0x0100, VX_TIMEOUT},
    {0x0102, 0x0103, VX_NO_SENSOR_PRESENT},
    {0x0104, 0x0104, VX_SENSOR_DISABLED},
    {0x0105, 0x010C, VX_COMMAND_NOT_PROCESSABLE},
    {0x0110, 0x0110, VX_COMMAND_OVERRIDDEN},
    {0x0111, 0x0111, VX_COMMAND_NOT_PROCESSABLE},
    {0x0112, 0x0112, VX_PHYSICAL_POSITION_UNKNOWN},
    {0x0113, 0x0113, VX_COMMAND_NOT_PROCESSABLE},
    {0x0114, 0x0114, VX_INVALID_PARAMETER},
    {0x0150, 0x0153, VX_COMMAND_NOT_PROCESSABLE},
    {0x0200, 0x0200, VX_END_STOP_REACHED},
    {0x0202, 0x0202, VX_RANGE_LIMIT_REACHED},
    {0x0301, 0x0301, VX_COMMAND_NOT_PROCESSABLE},
    {0x0303, 0x0303, VX_COMMAND_NOT_PROCESSABLE},
    {0x0500, 0x0500, VX_INTERNAL_ERROR},
    {0x7FFD, 0x7FFD, VX_COMMAND_NOT_PROCESSABLE},
    {0x7FFE, 0x7FFE, VX_UNKNOWN_COMMAND},
    {0xF000, 0xF000, VX_TOO_MANY_SYSTEMS},
    {0xF001, 0xF001, VX_INVALID_SYSTEM_LOCATOR},
    {0xF002, 0xF002, VX_INITIALIZATION_ERROR},
    {0xF003, 0xF003, VX_NOT_INITIALIZED},
    {0xF004, 0xF004, VX_TRANSMIT_ERROR},
    {0xF006, 0xF006, VX_QUERY_BUFFER_SIZE},
    {0xF007, 0xF007, VX_INVALID_SYSTEM_INDEX},
    {0xF00F, 0xF00F, VX_READ_ERROR},
    {0xF010, 0xF010, VX_CANCELED},
    {0xF013, 0xF013, VX_DRIVER_ERROR},
    {0xF016, 0xF016, VX_OUTPUT_BUFFER_OVERFLOW},
    {0xF017, 0xF017, VX_PROTOCOL_ERROR},
    {0xF018, 0xF018, VX_INITIALIZATION_ERROR},
    {0xF01A, 0xF01A, VX_NO_SYSTEMS_FOUND},
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
    if (!loadVeltraxCTL()) return VX_INITIALIZATION_ERROR;
    const auto findDevices = reinterpret_cast<FindDevicesFunction>(veltraxCTLSymbol("VX_CTL_FindDevices"));
    if (!findDevices) return VX_INITIALIZATION_ERROR;

    std::vector<char> buffer(kDeviceListCapacity, '\0');
    size_t length = buffer.size();
    const VX_CTL_Result result = findDevices("", buffer.data(), &length);
    if (result != 0) return mapCtlResult(result);
    // Up to the first NUL, and never past the buffer even without one.
    *locators = vxplatform::splitText(std::string_view(buffer.data(), ::strnlen(buffer.data(), buffer.size())), "\n");
    return VX_OK;
}

VX_STATUS mapCtlResult(uint32_t result) {
    for (const auto& range : resultMap) {
        if (result >= range.first && result <= range.last) return range.status;
    }
    return VX_OTHER_ERROR;
}

}  // namespace qmx
