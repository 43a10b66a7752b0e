#include "api/OpenSystems.h"

#include <cstring>
#include <memory>

#include "VeltraxIO.h"
#include "api/CtlLibrary.h"
#include "api/ExportFrame.h"
#include "api/Log.h"
#include "api/Registry.h"
#include "systems/System.h"

#if __has_include("systems/SystemVeltraxCTL.h")
#include "systems/SystemVeltraxCTL.h"
#define QMX_HAVE_SECOND_GENERATION 1
#endif

namespace qmx {

namespace {

constexpr uint32_t kNoIndex = 0xFFFFFFFF;

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

std::shared_ptr<SystemBase> createSecondGenerationSystem() {
#ifdef QMX_HAVE_SECOND_GENERATION
    return std::make_shared<SystemVeltraxCTL>();
#else
    return nullptr;
#endif
}

// N of "usb:ix:N": leading blanks and a sign allowed, digits up to the
// first other character; false without digits or beyond 32 bits.
bool readIndexNumber(const std::string& text, uint32_t* number) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > 0xFFFFFFFFull) return false;
    }
    if (digits == 0 || (negative && value != 0)) return false;
    *number = static_cast<uint32_t>(value);
    return true;
}

VX_STATUS copyText(const std::string& text, char* buffer, unsigned int* size) {
    if (!size) return kInvalidParameter;
    const unsigned int capacity = *size;
    *size = static_cast<unsigned int>(text.size());
    if (capacity < text.size() + 1) return kQueryBufferTooSmall;
    if (!buffer) return kInvalidParameter;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return kOk;
}

}  // namespace

VX_STATUS enumerateSystems(std::vector<SystemEntry>* list) {
    list->clear();
    std::vector<char> buffer(kEnumerationCapacity, '\0');
    size_t length = buffer.size();
    switch (VX_IO_EnumerateDevices(VX_IO_IFACE_USB, kProductOptionText, buffer.data(), &length)) {
    case VX_IO_OK:
        break;
    case VX_IO_BUFFER_TOO_SMALL:
        return kQueryBufferTooSmall;
    case VX_IO_DRIVER_NOT_AVAILABLE:
        return kDriverError;
    default:
        return kOtherError;
    }
    const std::string text(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
    for (auto& line : splitString(text, "\n")) list->push_back({KindFirstGeneration, std::move(line)});

    if (!loadVeltraxCTL()) return kOk;
    std::vector<std::string> locators;
    if (const VX_STATUS status = findVeltraxCTLDevices(&locators)) return status;
    for (auto& locator : locators) list->push_back({KindSecondGeneration, std::move(locator)});
    return kOk;
}

VX_STATUS openAndRegisterSystem(VX_SystemIndex* index, const char* locatorText, const char* optionsText,
                                bool atIndex) {
    if (!index) return kInvalidParameter;
    if (!locatorText) return kInvalidSystemLocator;
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
        if (!readIndexNumber(locator.substr(std::strlen("usb:ix:")), &number)) return kInvalidSystemLocator;
        if (number >= usb.size()) return kNoSystemsFound;
        locator = usb[number].locator;
        kind = usb[number].kind;
    }
    if (startsWith(locator, "usb:id:")) kind = KindFirstGeneration;
    if (startsWith(locator, "usb:sn:QMX2-")) kind = KindSecondGeneration;
    if (startsWith(locator, "network:sn:QMX2-")) kind = KindSecondGeneration;

    std::shared_ptr<SystemBase> system;
    VX_STATUS status = kNoSystemsFound;
    if (kind != KindSecondGeneration) {
        auto first = std::make_shared<System>();
        status = first->open(locator.c_str(), options.c_str());
        if (status == kOk) system = std::move(first);
        else if (kind == KindFirstGeneration) return status;
    }
    if (!system) {
        // An unknown kind gets its second chance as a second-generation
        // system; without that library it keeps the first open's status.
        if (!loadVeltraxCTL()) return status;
        auto second = createSecondGenerationSystem();
        if (!second) return status;
        if (const VX_STATUS secondStatus = second->open(locator.c_str(), options.c_str())) return secondStatus;
        system = std::move(second);
    }

    std::string description;
    status = system->getDescription(&description);
    if (status == kOk) {
        auto& registry = systemRegistry();
        status = atIndex ? registry.putAtIndex(system, *index) : registry.putInFirstFree(system, index);
    }
    if (status != kOk) {
        // Never drop an open connection on the floor.
        system->close();
        return status;
    }
    logMessage(1, "Opened System " + std::to_string(*index) + ":\n" + description);
    return kOk;
}

}  // namespace qmx

using qmx::LogValues;

extern "C" QMX_API VX_STATUS VX_OpenSystem(VX_SystemIndex* systemIndex, const char* locator, const char* options) {
    try {
        qmx::readIniOnce();
    } catch (...) {
        // Settings that cannot be read leave logging as it is.
    }
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_OpenSystem", [&](LogValues& v) { v.text(locator).text(options); });
    VX_SystemIndex index = qmx::kNoIndex;
    if (systemIndex) *systemIndex = qmx::kNoIndex;
    VX_STATUS status = qmx::kInvalidParameter;
    if (systemIndex) {
        try {
            status = qmx::openAndRegisterSystem(&index, locator, options, false);
        } catch (...) {
            status = qmx::kInternalError;
        }
        *systemIndex = status == qmx::kOk ? index : qmx::kNoIndex;
    }
    qmx::writeReturnLine(call, status, [&](LogValues& v) { v.unsignedValue(systemIndex ? *systemIndex : index); });
    return status;
}

extern "C" QMX_API VX_STATUS VX_CloseSystem(VX_SystemIndex systemIndex) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_CloseSystem", [&](LogValues& v) { v.unsignedValue(systemIndex); });
    VX_STATUS status = qmx::kInternalError;
    try {
        status = qmx::systemRegistry().closeOne(systemIndex);
    } catch (...) {
    }
    qmx::writeReturnLine(call, status);
    return status;
}

extern "C" QMX_API VX_STATUS VX_FindSystems(const char* options, char* buffer, unsigned int* size) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_FindSystems", [&](LogValues& v) { v.text(options); });
    VX_STATUS status = qmx::kInternalError;
    try {
        std::vector<qmx::SystemEntry> entries;
        status = qmx::enumerateSystems(&entries);
        if (status == qmx::kOk) {
            std::string text;
            for (size_t i = 0; i < entries.size(); ++i) {
                if (i) text += '\n';
                text += entries[i].locator;
            }
            status = qmx::copyText(text, buffer, size);
        }
    } catch (...) {
        status = qmx::kInternalError;
    }
    qmx::writeReturnLine(call, status, [&](LogValues& v) { v.unsignedValue(size ? *size : 0); });
    return status;
}

extern "C" QMX_API VX_STATUS VX_GetSystemLocator(VX_SystemIndex systemIndex, char* buffer, unsigned int* size) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_GetSystemLocator", [&](LogValues& v) { v.unsignedValue(systemIndex); });
    VX_STATUS status = qmx::kInternalError;
    try {
        const auto system = qmx::lookupSystem(systemIndex);
        status = system ? qmx::copyText(system->uniqueLocator(), buffer, size) : qmx::kInvalidSystemIndex;
    } catch (...) {
        status = qmx::kInternalError;
    }
    // A buffer the call did not fill may hold anything: log it only on success.
    qmx::writeReturnLine(call, status, [&](LogValues& v) {
        v.text(status == qmx::kOk ? buffer : "").unsignedValue(size ? *size : 0);
    });
    return status;
}
