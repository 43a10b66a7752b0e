#include "sim/PublishedComPort.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

#include "platform/ComPortNames.h"

namespace vxsim {

namespace fs = std::filesystem;

PublishedComPort::PublishedComPort(unsigned number, const std::string& devicePath,
                                   const std::string& folder)
    : name_("COM" + std::to_string(number)), entry_(folder + "/" + name_), target_(devicePath) {
    if (number == 0) throw std::runtime_error("COM numbers start at 1");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw std::runtime_error("cannot make " + folder + ": " + ec.message());
    // symlink() fails on any existing entry, a dangling link included, so a
    // name another program published stays as it is.
    if (::symlink(devicePath.c_str(), entry_.c_str()) != 0) {
        const int error = errno;
        if (error == EEXIST) throw std::runtime_error(name_ + " is taken: " + entry_ + " exists");
        throw std::runtime_error("cannot make " + entry_ + ": " + std::strerror(error));
    }
}

PublishedComPort::PublishedComPort(unsigned number, const std::string& devicePath)
    : PublishedComPort(number, devicePath, vxplatform::comPortFolder()) {}

PublishedComPort::~PublishedComPort() {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(entry_, ec)) && fs::read_symlink(entry_, ec) == target_ &&
        !ec)
        fs::remove(entry_, ec);
}

}  // namespace vxsim
