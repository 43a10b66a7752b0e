#pragma once

#include <string>

namespace vxsim {

// A COM name ("COM7") that leads to a device path for as long as this
// object lives: an entry of the COM-name folder linked to the path. An
// existing entry is never replaced; the entry is removed at the end only
// while it is still the link made here.
class PublishedComPort {
public:
    // Throws std::runtime_error when the name is taken or the entry cannot
    // be made.
    PublishedComPort(unsigned number, const std::string& devicePath, const std::string& folder);
    // In the folder the programs read (vxplatform::comPortFolder()).
    PublishedComPort(unsigned number, const std::string& devicePath);
    ~PublishedComPort();
    PublishedComPort(const PublishedComPort&) = delete;
    PublishedComPort& operator=(const PublishedComPort&) = delete;

    const std::string& name() const { return name_; }
    const std::string& entry() const { return entry_; }

private:
    std::string name_;
    std::string entry_;
    std::string target_;
};

}  // namespace vxsim
