#include "UpdateConfiguration.h"

#include "UpdateException.h"

namespace vxfw {

void UpdateConfiguration::load(std::string fileName) {
    if (!reader_.load(fileName, kDocumentType))
        throw UpdateException(kConfigurationError, reader_.lastError());
    firmware_.clear();
    const std::string folder = directoryOf(fileName);
    for (int32_t i = 0;; ++i) {
        const std::string name = reader_.getValue("file[" + toText(i) + "]:name");
        if (name.empty()) break;
        FirmwareInfo entry;
        entry.setFileName(firmwarePath(folder, name));
        try {
            entry.loadHeader();
        } catch (const UpdateException&) {
            continue;  // a file that cannot serve is simply not offered
        }
        firmware_.push_back(entry);
    }
}

void UpdateConfiguration::assignCandidates(ControllerRecord& record) const {
    record.clearCandidates();
    for (const FirmwareInfo& entry : firmware_)
        if (entry.kindIndex() == record.kindIndex() &&
            entry.hardwareVariant() == record.hardwareVariant())
            record.addCandidate(entry);
}

std::string UpdateConfiguration::directoryOf(std::string path) {
    while (!path.empty() && path.back() != '/' && path.back() != '\\') path.pop_back();
    return path;
}

std::string UpdateConfiguration::firmwarePath(const std::string& folder, const std::string& name) {
    const bool absolute = (!name.empty() && name[0] == '/') || (name.size() > 1 && name[1] == ':');
    return absolute ? name : folder + name;
}

}  // namespace vxfw
