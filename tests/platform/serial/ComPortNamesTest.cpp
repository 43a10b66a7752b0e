#include "platform/ComPortNames.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/Pty.h"

namespace {

namespace fs = std::filesystem;

// A configuration home of the test's own: XDG_CONFIG_HOME, then HOME.
class ComNames : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"})
            if (const char* value = ::getenv(name)) saved_.emplace_back(name, value);
        char pattern[] = "/tmp/vx-com-names-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        fs::create_directories(folder_ = vxplatform::comPortFolder());
    }
    void TearDown() override {
        fs::remove_all(root_);
        ::unsetenv("XDG_CONFIG_HOME");
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::string link(const std::string& name, const std::string& target) const {
        fs::create_symlink(target, folder_ + "/" + name);
        return folder_ + "/" + name;
    }

    std::string root_, folder_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(ComNames, FolderEntriesThePlatformNumberingAndTheNamesOfAList) {
    EXPECT_EQ(folder_, root_ + "/config/Veltrax/serial");
    vxsim::Pty first, second;
    const std::string com3 = link("COM3", first.devicePath());
    link("COM10", second.devicePath());
    link("COM2", second.devicePath());
    const std::string com9 = link("COM9", root_ + "/gone");
    link("port", first.devicePath());
    std::ofstream(folder_ + "/COM7") << "not a device\n";
    const std::pair<const char*, std::string> paths[] = {
        {"COM3", com3},         {"COM9", com9},       {"COM7", folder_ + "/COM7"},
        {"COM1", "/dev/ttyS0"}, {"COM12", "/dev/ttyS11"}, {"COM0", ""},
        {"COM03", ""},          {"com3", ""},         {"COM", ""},
        {"COM3x", ""},          {"port", ""},         {"COM99999999999", ""},
    };
    for (const auto& [name, path] : paths) EXPECT_EQ(vxplatform::comPortPath(name), path) << name;

    // By the first name in natural order that reaches the device, else by path.
    EXPECT_EQ(vxplatform::comPortNames({first.devicePath(), second.devicePath(), "/dev/ttyS2",
                                        "/dev/ttyS0", "/dev/ttyUSB7", root_ + "/gone"}),
              std::vector<std::string>({"COM3", "COM2", "/dev/ttyS2", "COM1", "/dev/ttyUSB7",
                                        root_ + "/gone"}));

    ::setenv("HOME", root_.c_str(), 1);
    for (const char* config : {"", "relative"}) {
        ::setenv("XDG_CONFIG_HOME", config, 1);
        EXPECT_EQ(vxplatform::comPortFolder(), root_ + "/.config/Veltrax/serial") << config;
    }
}

}  // namespace
