#include "api/InitSystems.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "api/OpenSystems.h"
#include "platform/Text.h"

namespace qmx {

namespace {

// The ids of the attached first-generation USB systems, from their
// "usb:...:id:<id>" lines.
VX_STATUS availableSystemIds(std::vector<uint32_t>* ids) {
    ids->clear();
    std::vector<std::string> lines;
    const VX_IO_Result result = listFirstGenerationUsb(&lines);
    if (result == VX_IO_DRIVER_NOT_AVAILABLE) return VX_DRIVER_ERROR;
    if (result != VX_IO_OK) return VX_OTHER_ERROR;
    if (lines.empty()) return VX_NO_SYSTEMS_FOUND;
    for (const auto& line : lines) {
        const auto parts = vxplatform::splitText(line, ":");
        if (parts.size() < 2 || parts[0] != "usb") continue;
        for (size_t i = 1; i + 1 < parts.size(); ++i) {
            if (parts[i] != "id") continue;
            uint32_t id = 0;
            if (readUnsigned32(parts[i + 1], &id)) ids->push_back(id);
            break;
        }
    }
    return VX_OK;
}

}  // namespace

VX_STATUS InitSystems::availableSystems(unsigned int* idList, unsigned int* count) {
    if (!count) return VX_INVALID_PARAMETER;
    const unsigned int capacity = *count;
    *count = 0;
    std::vector<uint32_t> ids;
    if (const VX_STATUS found = availableSystemIds(&ids)) return found;
    const size_t written = std::min<size_t>(capacity, ids.size());
    if (written && !idList) return VX_INVALID_PARAMETER;
    std::copy_n(ids.begin(), written, idList);
    *count = static_cast<unsigned int>(ids.size());
    return VX_OK;
}

VX_STATUS InitSystems::addToListLocked(uint32_t systemId) {
    auto& list = registry_.initSystemsListLocked();
    if (registry_.initState() != SystemRegistry::kNotInitialized) return VX_WRONG_MODE;
    if (list.size() >= SystemRegistry::kInitListCapacity) return VX_TOO_MANY_SYSTEMS;
    if (std::find(list.begin(), list.end(), systemId) != list.end()) return VX_SYSTEM_ALREADY_ADDED;
    list.push_back(systemId);
    return VX_OK;
}

VX_STATUS InitSystems::clearListLocked() {
    if (registry_.initState() != SystemRegistry::kNotInitialized) return VX_WRONG_MODE;
    registry_.initSystemsListLocked().clear();
    return VX_OK;
}

VX_STATUS InitSystems::initialize(unsigned int configuration) {
    const unsigned int mode = configuration & ~0x2u;
    if (mode > 1) return VX_INVALID_PARAMETER;
    std::string options;
    if (mode == 1) options += "async,";
    if (configuration & 0x2u) options += "reset,";

    const VX_STATUS released = registry_.releaseAll();
    if (released != VX_OK && released != VX_NOT_INITIALIZED) return released;

    std::vector<uint32_t> available;
    if (const VX_STATUS found = availableSystemIds(&available)) return found;
    std::vector<uint32_t> chosen;
    {
        std::lock_guard<std::mutex> lock(registry_.mutex());
        const auto& wanted = registry_.initSystemsListLocked();
        if (wanted.empty()) {
            chosen = available;
        } else {
            for (uint32_t id : wanted) {
                if (std::find(available.begin(), available.end(), id) != available.end()) chosen.push_back(id);
            }
        }
    }
    if (chosen.empty()) return VX_NO_SYSTEMS_FOUND;

    for (uint32_t i = 0; i < chosen.size(); ++i) {
        VX_SystemIndex index = i;
        const std::string locator = "usb:id:" + std::to_string(chosen[i]);
        if (const VX_STATUS opened = openAndRegisterSystem(&index, locator.c_str(), options.c_str(), true))
            return opened;
    }
    std::lock_guard<std::mutex> lock(registry_.mutex());
    registry_.setInitState(mode == 1 ? SystemRegistry::kInitializedAsync : SystemRegistry::kInitializedSync);
    return VX_OK;
}

VX_STATUS InitSystems::stateLocked(unsigned int* state) {
    const uint32_t current = registry_.initState();
    const VX_STATUS status = current <= SystemRegistry::kInitializedAsync ? VX_OK : VX_OTHER_ERROR;
    if (!state) return VX_INVALID_PARAMETER;
    *state = status == VX_OK ? current : 0;
    return status;
}

VX_STATUS InitSystems::numberOfSystemsLocked(unsigned int* number) {
    if (registry_.initState() == SystemRegistry::kNotInitialized) return VX_NOT_INITIALIZED;
    if (!number) return VX_INVALID_PARAMETER;
    *number = registry_.occupiedInitSlotsLocked();
    return VX_OK;
}

VX_STATUS InitSystems::release() { return registry_.releaseAll(); }

}  // namespace qmx
