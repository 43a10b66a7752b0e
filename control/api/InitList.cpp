#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "VeltraxIO.h"
#include "api/ExportFrame.h"
#include "api/Log.h"
#include "api/OpenSystems.h"
#include "api/Registry.h"

namespace qmx {

namespace {

// Digits up to the first other character; false without any digit or
// beyond 32 bits.
bool readSystemId(const std::string& text, uint32_t* id) {
    uint64_t value = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > 0xFFFFFFFFull) return false;
    }
    if (i == 0) return false;
    *id = static_cast<uint32_t>(value);
    return true;
}

// The ids of the attached first-generation USB systems, from their
// "usb:...:id:<id>" lines.
VX_STATUS availableSystemIds(std::vector<uint32_t>* ids) {
    ids->clear();
    std::vector<char> buffer(kEnumerationCapacity, '\0');
    size_t length = buffer.size();
    const VX_IO_Result result = VX_IO_EnumerateDevices(VX_IO_IFACE_USB, kProductOptionText, buffer.data(), &length);
    if (result == VX_IO_DRIVER_NOT_AVAILABLE) return kDriverError;
    if (result != VX_IO_OK) return kOtherError;

    const auto lines = splitString(std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size())), "\n");
    if (lines.empty()) return kNoSystemsFound;
    for (const auto& line : lines) {
        const auto parts = splitString(line, ":");
        if (parts.size() < 2 || parts[0] != "usb") continue;
        for (size_t i = 1; i + 1 < parts.size(); ++i) {
            if (parts[i] != "id") continue;
            uint32_t id = 0;
            if (readSystemId(parts[i + 1], &id)) ids->push_back(id);
            break;
        }
    }
    return kOk;
}

template <typename F>
VX_STATUS guarded(F&& body) {
    try {
        return body();
    } catch (...) {
        return kInternalError;
    }
}

}  // namespace

}  // namespace qmx

using qmx::LogValues;
using qmx::SystemRegistry;

extern "C" QMX_API VX_STATUS VX_GetAvailableSystems(unsigned int* idList, unsigned int* count) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_GetAvailableSystems");
    const VX_STATUS status = qmx::guarded([&]() -> VX_STATUS {
        if (!count) return qmx::kInvalidParameter;
        const unsigned int capacity = *count;
        *count = 0;
        std::vector<uint32_t> ids;
        if (const VX_STATUS found = qmx::availableSystemIds(&ids)) return found;
        const size_t written = std::min<size_t>(capacity, ids.size());
        if (written && !idList) return qmx::kInvalidParameter;
        std::copy_n(ids.begin(), written, idList);
        *count = static_cast<unsigned int>(ids.size());
        return qmx::kOk;
    });
    qmx::writeReturnLine(call, status);
    return status;
}

extern "C" QMX_API VX_STATUS VX_AddSystemToInitSystemsList(unsigned int systemId) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_AddSystemToInitSystemsList", [&](LogValues& v) { v.unsignedValue(systemId); });
    auto& registry = qmx::systemRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex());
    const VX_STATUS status = qmx::guarded([&]() -> VX_STATUS {
        auto& list = registry.initSystemsListLocked();
        if (registry.initState() != SystemRegistry::kNotInitialized) return qmx::kWrongMode;
        if (list.size() >= SystemRegistry::kInitListCapacity) return qmx::kTooManySystems;
        if (std::find(list.begin(), list.end(), systemId) != list.end()) return qmx::kSystemAlreadyAdded;
        list.push_back(systemId);
        return qmx::kOk;
    });
    qmx::writeReturnLine(call, status);
    return status;
}

extern "C" QMX_API VX_STATUS VX_ClearInitSystemsList(void) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_ClearInitSystemsList");
    auto& registry = qmx::systemRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex());
    VX_STATUS status = qmx::kWrongMode;
    if (registry.initState() == SystemRegistry::kNotInitialized) {
        registry.initSystemsListLocked().clear();
        status = qmx::kOk;
    }
    qmx::writeReturnLine(call, status);
    return status;
}

extern "C" QMX_API VX_STATUS VX_InitSystems(unsigned int configuration) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_InitSystems", [&](LogValues& v) { v.hex(configuration); });
    const VX_STATUS status = qmx::guarded([&]() -> VX_STATUS {
        qmx::readIniOnce();
        const unsigned int mode = configuration & ~0x2u;
        if (mode > 1) return qmx::kInvalidParameter;
        std::string options;
        if (mode == 1) options += "async,";
        if (configuration & 0x2u) options += "reset,";

        auto& registry = qmx::systemRegistry();
        const VX_STATUS released = registry.releaseAll();
        if (released != qmx::kOk && released != qmx::kUninitialized) return released;

        std::vector<uint32_t> available;
        if (const VX_STATUS found = qmx::availableSystemIds(&available)) return found;
        std::vector<uint32_t> chosen;
        {
            std::lock_guard<std::mutex> lock(registry.mutex());
            const auto& wanted = registry.initSystemsListLocked();
            if (wanted.empty()) {
                chosen = available;
            } else {
                for (uint32_t id : wanted) {
                    if (std::find(available.begin(), available.end(), id) != available.end()) chosen.push_back(id);
                }
            }
        }
        if (chosen.empty()) return qmx::kNoSystemsFound;

        for (uint32_t i = 0; i < chosen.size(); ++i) {
            VX_SystemIndex index = i;
            const std::string locator = "usb:id:" + std::to_string(chosen[i]);
            if (const VX_STATUS opened = qmx::openAndRegisterSystem(&index, locator.c_str(), options.c_str(), true))
                return opened;
        }
        std::lock_guard<std::mutex> lock(registry.mutex());
        registry.setInitState(mode == 1 ? SystemRegistry::kInitializedAsync : SystemRegistry::kInitializedSync);
        return qmx::kOk;
    });
    qmx::writeReturnLine(call, status);
    return status;
}

extern "C" QMX_API VX_STATUS VX_GetInitState(unsigned int* initState) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_GetInitState");
    auto& registry = qmx::systemRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex());
    const uint32_t state = registry.initState();
    VX_STATUS status = state <= SystemRegistry::kInitializedAsync ? qmx::kOk : qmx::kOtherError;
    if (!initState) status = qmx::kInvalidParameter;
    else *initState = status == qmx::kOk ? state : 0;
    qmx::writeReturnLine(call, status, [&](LogValues& v) {
        if (status == qmx::kOk) v.unsignedValue(*initState);
    });
    return status;
}

extern "C" QMX_API VX_STATUS VX_GetNumberOfSystems(unsigned int* numberOfSystems) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_GetNumberOfSystems");
    auto& registry = qmx::systemRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex());
    VX_STATUS status = qmx::kUninitialized;
    if (registry.initState() != SystemRegistry::kNotInitialized) {
        status = numberOfSystems ? qmx::kOk : qmx::kInvalidParameter;
        if (numberOfSystems) *numberOfSystems = registry.occupiedInitSlotsLocked();
    }
    qmx::writeReturnLine(call, status, [&](LogValues& v) {
        if (status == qmx::kOk) v.unsignedValue(*numberOfSystems);
    });
    return status;
}

extern "C" QMX_API VX_STATUS VX_ReleaseSystems(void) {
    const uint32_t call = qmx::nextCallNumber();
    qmx::writeCallLine(call, "VX_ReleaseSystems");
    const VX_STATUS status = qmx::guarded([] { return qmx::systemRegistry().releaseAll(); });
    if (status == qmx::kOk) {
        qmx::guarded([] {
            qmx::stopLogging();
            return VX_STATUS{qmx::kOk};
        });
        return qmx::kOk;
    }
    qmx::writeReturnLine(call, status);
    return status;
}
