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
    {0x0000, 0x0000, kOk},
    {0x0001, 0x0001, kUnknownCommand},
    {0x0002, 0x0002, kInternalError},
    {0x0004, 0x0004, kTimeout},
    {0x0005, 0x0005, kProtocolError},
    {0x000C, 0x000E, kInternalError},
    {0x0010, 0x0010, kInternalError},
    {0x0013, 0x0013, kInvalidParameter},
    {0x0020, 0x0020, kInvalidSystemIndex},
    {0x0022, 0x0022, kInvalidChannelIndex},
    {0x0023, 0x0023, kPermissionDenied},
    {0x0025, 0x0025, kMovementLocked},
    {0x0027, 0x0027, kInvalidParameter},
    {0x0100, 0x0100, kTimeout},
    {0x0102, 0x0103, kNoSensorPresent},
    {0x0104, 0x0104, kSensorDisabled},
    {0x0105, 0x010C, kCommandNotProcessable},
    {0x0110, 0x0110, kCommandOverridden},
    {0x0111, 0x0111, kCommandNotProcessable},
    {0x0112, 0x0112, kPhysicalPositionUnknown},
    {0x0113, 0x0113, kCommandNotProcessable},
    {0x0114, 0x0114, kInvalidParameter},
    {0x0150, 0x0153, kCommandNotProcessable},
    {0x0200, 0x0200, kEndStopReached},
    {0x0202, 0x0202, kRangeLimitReached},
    {0x0301, 0x0301, kCommandNotProcessable},
    {0x0303, 0x0303, kCommandNotProcessable},
    {0x0500, 0x0500, kInternalError},
    {0x7FFD, 0x7FFD, kCommandNotProcessable},
    {0x7FFE, 0x7FFE, kUnknownCommand},
    {0xF000, 0xF000, kTooManySystems},
    {0xF001, 0xF001, kInvalidSystemLocator},
    {0xF002, 0xF002, kInitializationError},
    {0xF003, 0xF003, kUninitialized},
    {0xF004, 0xF004, kTransmitError},
    {0xF006, 0xF006, kQueryBufferTooSmall},
    {0xF007, 0xF007, kInvalidSystemIndex},
    {0xF00F, 0xF00F, kReadError},
    {0xF010, 0xF010, kCanceled},
    {0xF013, 0xF013, kDriverError},
    {0xF016, 0xF016, kOutputBufferOverflow},
    {0xF017, 0xF017, kProtocolError},
    {0xF018, 0xF018, kInitializationError},
    {0xF01A, 0xF01A, kNoSystemsFound},
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
    if (!loadVeltraxCTL()) return kInitializationError;
    const auto findDevices = reinterpret_cast<FindDevicesFunction>(veltraxCTLSymbol("VX_CTL_FindDevices"));
    if (!findDevices) return kInitializationError;

    std::vector<char> buffer(kDeviceListCapacity, '\0');
    size_t length = buffer.size();
    const VX_CTL_Result result = findDevices("", buffer.data(), &length);
    if (result != 0) return mapCtlResult(result);
    // Up to the first NUL, and never past the buffer even without one.
    *locators = vxplatform::splitText(std::string_view(buffer.data(), ::strnlen(buffer.data(), buffer.size())), "\n");
    return kOk;
}

VX_STATUS mapCtlResult(uint32_t result) {
    for (const auto& range : resultMap) {
        if (result >= range.first && result <= range.last) return range.status;
    }
    return kOtherError;
}

}  // namespace qmx
