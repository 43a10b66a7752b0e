#include "platform/ComPortNames.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "sim/Pty.h"

namespace {

namespace fs = std::filesystem;

// Sets an environment variable (or unsets it, for an empty optional) while
// it lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A temporary configuration home whose COM-name folder the test fills.
class ComNames : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vx-com-names-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        config_.emplace("XDG_CONFIG_HOME", (root_ / "config").string());
        folder_ = vxplatform::comPortFolder();
        fs::create_directories(folder_);
    }
    void TearDown() override {
        config_.reset();
        fs::remove_all(root_);
    }

    void link(const std::string& name, const std::string& target) {
        fs::create_symlink(target, fs::path(folder_) / name);
    }
    std::string entry(const std::string& name) const { return folder_ + "/" + name; }

    fs::path root_;
    std::optional<ScopedEnv> config_;
    std::string folder_;
};

TEST_F(ComNames, FolderFollowsTheConfigurationHome) {
    EXPECT_EQ(folder_, (root_ / "config/Veltrax/serial").string());
    const std::string home = (root_ / "home").string();
    ScopedEnv homeEnv("HOME", home);
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {std::nullopt, home + "/.config/Veltrax/serial"},
        {"", home + "/.config/Veltrax/serial"},
        {"relative/config", home + "/.config/Veltrax/serial"},
        {"/elsewhere", "/elsewhere/Veltrax/serial"},
    };
    for (const auto& [xdg, folder] : cases) {
        ScopedEnv xdgEnv("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(vxplatform::comPortFolder(), folder) << xdg.value_or("(unset)");
    }
}

TEST_F(ComNames, NamesLeadToTheirEntryElseToThePlatformNumbering) {
    vxsim::Pty pty;
    link("COM3", pty.devicePath());
    link("COM9", (root_ / "gone").string());
    std::ofstream(entry("COM7")) << "not a device\n";
    const std::pair<const char*, std::string> cases[] = {
        {"COM3", entry("COM3")},  {"COM9", entry("COM9")},    {"COM7", entry("COM7")},
        {"COM1", "/dev/ttyS0"},   {"COM12", "/dev/ttyS11"},   {"COM0", ""},
        {"COM03", ""},            {"com3", ""},               {"COM", ""},
        {"COM3x", ""},            {"COM-1", ""},              {"ttyS0", ""},
        {"COM99999999999", ""},
    };
    for (const auto& [name, path] : cases) {
        EXPECT_EQ(vxplatform::comPortPath(name), path) << name;
    }
}

TEST_F(ComNames, EachPortByTheFirstNameThatReachesItElseByItsPath) {
    vxsim::Pty first, second;
    link("COM10", first.devicePath());
    link("COM2", first.devicePath());
    link("COM5", second.devicePath());
    link("COM6", (root_ / "gone").string());
    link("port", first.devicePath());
    const std::vector<std::string> ports = {first.devicePath(), second.devicePath(), "/dev/ttyS4",
                                            "/dev/ttyS1", "/dev/ttyS0",          "/dev/ttyUSB7",
                                            (root_ / "gone").string()};
    const std::vector<std::string> expected = {"COM2",         "COM5", "/dev/ttyS4", "/dev/ttyS1",
                                               "COM1",         "/dev/ttyUSB7",
                                               (root_ / "gone").string()};
    EXPECT_EQ(vxplatform::comPortNames(ports), expected);
    EXPECT_TRUE(vxplatform::comPortNames({}).empty());
}

}  // namespace
