#include "api/OpenSystems.h"

#include <cstring>
#include <memory>

#include "VeltraxIO.h"
#include "api/ExportFrame.h"
#include "api/Registry.h"
#include "common/CtlLibrary.h"
#include "common/Log.h"
#include "platform/Text.h"
#include "systems/gen1/System.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace qmx {

namespace {

constexpr uint32_t kNoIndex = 0xFFFFFFFF;

// What the device I/O library is asked for when it lists USB systems: one
// "usb:id:" line per first-generation controller.
constexpr const char* kProductOptionText = "product-name Veltrax QMX-I\ninclude-id\n";

// Buffer for the device list read from the I/O library.
constexpr size_t kEnumerationCapacity = 4096;

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// N of "usb:ix:N": leading blanks and a sign allowed, digits up to the
// first other character; false without digits or beyond 32 bits.
bool readIndexNumber(std::string_view text, uint32_t* number) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;
    if (!readUnsigned32(text.substr(i), &value) || (negative && value != 0)) return false;
    *number = value;
    return true;
}

VX_STATUS copyText(const std::string& text, char* buffer, unsigned int* size) {
    if (!size) return VX_INVALID_PARAMETER;
    const unsigned int capacity = *size;
    *size = static_cast<unsigned int>(text.size());
    if (capacity < text.size() + 1) return VX_QUERY_BUFFER_SIZE;
    if (!buffer) return VX_INVALID_PARAMETER;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return VX_OK;
}

}  // namespace

bool readUnsigned32(std::string_view text, uint32_t* value) {
    uint64_t read = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        read = read * 10 + static_cast<uint64_t>(text[i] - '0');
        if (read > 0xFFFFFFFFull) return false;
    }
    if (i == 0) return false;
    *value = static_cast<uint32_t>(read);
    return true;
}

VX_IO_Result listFirstGenerationUsb(std::vector<std::string>* locators) {
    locators->clear();
    std::vector<char> buffer(kEnumerationCapacity, '\0');
    size_t length = buffer.size();
    const VX_IO_Result result =
        VX_IO_EnumerateDevices(VX_IO_IFACE_USB, kProductOptionText, buffer.data(), &length);
    if (result == VX_IO_OK) {
        // Up to the first NUL, and never past the buffer even without one.
        const std::string_view text(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
        *locators = vxplatform::splitText(text, "\n");
    }
    return result;
}

VX_STATUS enumerateSystems(std::vector<SystemEntry>* list) {
    list->clear();
    std::vector<std::string> usb;
    switch (listFirstGenerationUsb(&usb)) {
    case VX_IO_OK:
        break;
    case VX_IO_BUFFER_TOO_SMALL:
        return VX_QUERY_BUFFER_SIZE;
    case VX_IO_DRIVER_NOT_AVAILABLE:
        return VX_DRIVER_ERROR;
    default:
        return VX_OTHER_ERROR;
    }
    for (auto& locator : usb) list->push_back({KindFirstGeneration, std::move(locator)});

    if (!loadVeltraxCTL()) return VX_OK;
    std::vector<std::string> locators;
    if (const VX_STATUS status = findVeltraxCTLDevices(&locators)) return status;
    for (auto& locator : locators) list->push_back({KindSecondGeneration, std::move(locator)});
    return VX_OK;
}

VX_STATUS openAndRegisterSystem(VX_SystemIndex* index, const char* locatorText, const char* optionsText,
                                bool atIndex) {
    if (!index) return VX_INVALID_PARAMETER;
    if (!locatorText) return VX_INVALID_SYSTEM_LOCATOR;
    std::string locator = locatorText;
    const std::string options = optionsText ? optionsText : "";

    uint32_t kind = KindUnknown;
    if (startsWith(locator, "usb:ix:")) {
        std::vector<SystemEntry> entries;
        if (const VX_STATUS status = enumerateSystems(&entries)) return status;
        std::vector<SystemEntry> usb;
        for (auto& entry : entries) {
            if (startsWith(entry.locator, "usb:")) usb.push_back(std::move(entry));
        }
        uint32_t number = 0;
        if (!readIndexNumber(locator.substr(std::strlen("usb:ix:")), &number)) return VX_INVALID_SYSTEM_LOCATOR;
        if (number >= usb.size()) return VX_NO_SYSTEMS_FOUND;
        locator = usb[number].locator;
        kind = usb[number].kind;
    }
    if (startsWith(locator, "usb:id:")) kind = KindFirstGeneration;
    if (startsWith(locator, "usb:sn:QMX2-")) kind = KindSecondGeneration;
    if (startsWith(locator, "network:sn:QMX2-")) kind = KindSecondGeneration;

    std::shared_ptr<SystemBase> system;
    VX_STATUS status = VX_NO_SYSTEMS_FOUND;
    if (kind != KindSecondGeneration) {
        auto first = std::make_shared<System>();
        status = first->open(locator.c_str(), options.c_str());
        if (status == VX_OK) system = std::move(first);
        else if (kind == KindFirstGeneration) return status;
    }
    if (!system) {
        // An unknown kind gets its second chance as a second-generation
        // system; without that library it keeps the first open's status.
        if (!loadVeltraxCTL()) return status;
        auto second = std::make_shared<SystemVeltraxCTL>();
        if (const VX_STATUS secondStatus = second->open(locator.c_str(), options.c_str())) return secondStatus;
        system = std::move(second);
    }

    std::string description;
    status = system->getDescription(&description);
    if (status == VX_OK) {
        auto& registry = systemRegistry();
        status = atIndex ? registry.putAtIndex(system, *index) : registry.putInFirstFree(system, index);
    }
    if (status != VX_OK) {
        // Never drop an open connection on the floor.
        system->close();
        return status;
    }
    logMessage(1, "Opened System " + std::to_string(*index) + ":\n" + description);
    return VX_OK;
}

}  // namespace qmx

using qmx::LogValues;

extern "C" QMX_API VX_STATUS VX_OpenSystem(VX_SystemIndex* systemIndex, const char* locator, const char* options) {
    qmx::runUnframed([] {
        // Settings that cannot be read leave logging as it is.
        qmx::readIniOnce();
        return VX_STATUS{VX_OK};
    });
    return qmx::runFramed(
        "VX_OpenSystem", [&](LogValues& v) { v.text(locator).text(options); },
        [&]() -> VX_STATUS {
            if (!systemIndex) return VX_INVALID_PARAMETER;
            *systemIndex = qmx::kNoIndex;
            VX_SystemIndex index = qmx::kNoIndex;
            const VX_STATUS status = qmx::openAndRegisterSystem(&index, locator, options, false);
            if (status == VX_OK) *systemIndex = index;
            return status;
        },
        [&](LogValues& v, VX_STATUS) { v.unsignedValue(systemIndex ? *systemIndex : qmx::kNoIndex); });
}

extern "C" QMX_API VX_STATUS VX_CloseSystem(VX_SystemIndex systemIndex) {
    return qmx::runFramed(
        "VX_CloseSystem", [&](LogValues& v) { v.unsignedValue(systemIndex); },
        [&] { return qmx::systemRegistry().closeOne(systemIndex); }, qmx::noOutputs);
}

extern "C" QMX_API VX_STATUS VX_FindSystems(const char* options, char* buffer, unsigned int* size) {
    return qmx::runFramed(
        "VX_FindSystems", [&](LogValues& v) { v.text(options); },
        [&] {
            std::vector<qmx::SystemEntry> entries;
            if (const VX_STATUS status = qmx::enumerateSystems(&entries)) return status;
            std::string text;
            for (size_t i = 0; i < entries.size(); ++i) {
                if (i) text += '\n';
                text += entries[i].locator;
            }
            return qmx::copyText(text, buffer, size);
        },
        [&](LogValues& v, VX_STATUS) { v.unsignedValue(size ? *size : 0); });
}

extern "C" QMX_API VX_STATUS VX_GetSystemLocator(VX_SystemIndex systemIndex, char* buffer, unsigned int* size) {
    return qmx::runFramed(
        "VX_GetSystemLocator", [&](LogValues& v) { v.unsignedValue(systemIndex); },
        [&]() -> VX_STATUS {
            const auto system = qmx::lookupSystem(systemIndex);
            return system ? qmx::copyText(system->uniqueLocator(), buffer, size) : VX_INVALID_SYSTEM_INDEX;
        },
        // A buffer the call did not fill may hold anything: log it only on success.
        [&](LogValues& v, VX_STATUS status) { v.text(status == VX_OK ? buffer : "").unsignedValue(size ? *size : 0); });
}
