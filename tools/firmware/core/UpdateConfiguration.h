#pragma once

#include <string>
#include <vector>

#include "ControllerRecord.h"
#include "XmlReader.h"

namespace vxfw {

// The firmware files an update may offer: the `file` elements (attribute
// `name`) below the root of an XML document of type
// "VXFirmwareUpdateConfiguration", each kept when its header can be read.
class UpdateConfiguration {
public:
    static constexpr char kDocumentType[] = "VXFirmwareUpdateConfiguration";

    // Replaces the firmware list. Throws UpdateException 12 with the
    // reader's error text when the file is no update configuration; the
    // list is then kept.
    void load(std::string fileName);
    // Fills the record's candidates with copies of the listed firmware of
    // its kind and hardware variant, in list order.
    void assignCandidates(ControllerRecord& record) const;
    const std::vector<FirmwareInfo>& firmware() const { return firmware_; }

    // The folder part of a path, its last "/" or "\" kept; empty without one.
    static std::string directoryOf(std::string path);
    // A listed name as a path: absolute ("/" first, or ":" second) as it
    // is, else below `folder`.
    static std::string firmwarePath(const std::string& folder, const std::string& name);

private:
    XmlReader reader_;
    std::vector<FirmwareInfo> firmware_;
};

}  // namespace vxfw
