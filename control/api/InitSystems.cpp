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
    if (result == VX_IO_DRIVER_NOT_AVAILABLE) return 24;
    if (result != VX_IO_OK) return 255;
    if (lines.empty()) return 3;
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
    return 0;
}

}  // namespace

VX_STATUS InitSystems::availableSystems(unsigned int* idList, unsigned int* count) {
    if (!count) return 9;
    const unsigned int capacity = *count;
    *count = 0;
    std::vector<uint32_t> ids;
    if (const VX_STATUS found = availableSystemIds(&ids)) return found;
    const size_t written = std::min<size_t>(capacity, ids.size());
    if (written && !idList) return 9;
    std::copy_n(ids.begin(), written, idList);
    *count = static_cast<unsigned int>(ids.size());
    return 0;
}

VX_STATUS InitSystems::addToListLocked(uint32_t systemId) {
    auto& list = registry_.initSystemsListLocked();
    if (registry_.initState() != SystemRegistry::kNotInitialized) return 13;
    if (list.size() >= SystemRegistry::kInitListCapacity) return 4;
    if (std::find(list.begin(), list.end(), systemId) != list.end()) return 18;
    list.push_back(systemId);
    return 0;
}

VX_STATUS InitSystems::clearListLocked() {
    if (registry_.initState() != SystemRegistry::kNotInitialized) return 13;
    registry_.initSystemsListLocked().clear();
    return 0;
}

VX_STATUS InitSystems::initialize(unsigned int configuration) {
    const unsigned int mode = configuration & ~0x2u;
    if (mode > 1) return 9;
    std::string options;
    if (mode == 1) options += "async,";
    if (configuration & 0x2u) options += "reset,";

    const VX_STATUS released = registry_.releaseAll();
    if (released != 0 && released != 2) return released;

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
    if (chosen.empty()) return 3;

    for (uint32_t i = 0; i < chosen.size(); ++i) {
        VX_SystemIndex index = i;
        const std::string locator = "usb:id:" + std::to_string(chosen[i]);
        if (const VX_STATUS opened = openAndRegisterSystem(&index, locator.c_str(), options.c_str(), true))
            return opened;
    }
    std::lock_guard<std::mutex> lock(registry_.mutex());
    registry_.setInitState(mode == 1 ? SystemRegistry::kInitializedAsync : SystemRegistry::kInitializedSync);
    return 0;
}

VX_STATUS InitSystems::stateLocked(unsigned int* state) {
    const uint32_t current = registry_.initState();
    const VX_STATUS status = current <= SystemRegistry::kInitializedAsync ? 0 : 255;
    if (!state) return 9;
    *state = status == 0 ? current : 0;
    return status;
}

VX_STATUS InitSystems::numberOfSystemsLocked(unsigned int* number) {
    if (registry_.initState() == SystemRegistry::kNotInitialized) return 2;
    if (!number) return 9;
    *number = registry_.occupiedInitSlotsLocked();
    return 0;
}

VX_STATUS InitSystems::release() { return registry_.releaseAll(); }

}  // namespace qmx
