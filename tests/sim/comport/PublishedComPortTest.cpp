#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/ComPortNames.h"
#include "sim/PublishedComPort.h"
#include "sim/Pty.h"

namespace {

namespace fs = std::filesystem;

class PublishedComPortTest : public ::testing::Test {
protected:
    PublishedComPortTest() {
        char pattern[] = "/tmp/vxcomXXXXXX";
        base = ::mkdtemp(pattern);
        folder = base + "/Veltrax/serial";
    }
    ~PublishedComPortTest() override { fs::remove_all(base); }

    std::string base;
    std::string folder;
    vxsim::Pty pty;
};

TEST_F(PublishedComPortTest, TheNameReachesTheDeviceWhileItLivesAndIsGoneAfter) {
    {
        vxsim::PublishedComPort port(7, pty.devicePath(), folder);
        EXPECT_EQ(port.name(), "COM7");
        EXPECT_EQ(vxplatform::comPortPath("COM7", folder), folder + "/COM7");
        EXPECT_EQ(fs::read_symlink(port.entry()), pty.devicePath());
        EXPECT_EQ(vxplatform::comPortNames({pty.devicePath()}, folder),
                  std::vector<std::string>{"COM7"});
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder + "/COM7")));
    EXPECT_EQ(vxplatform::comPortPath("COM7", folder), "/dev/ttyS6");
}

TEST_F(PublishedComPortTest, AnExistingEntryIsNeitherReplacedNorRemoved) {
    fs::create_directories(folder);
    struct Case {
        const char* name;
        void (*make)(const std::string& entry);
    };
    const Case cases[] = {
        {"a link", [](const std::string& entry) { fs::create_symlink("/dev/null", entry); }},
        {"a dangling link", [](const std::string& entry) { fs::create_symlink("/nowhere", entry); }},
        {"a file", [](const std::string& entry) { std::fclose(std::fopen(entry.c_str(), "w")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string entry = folder + "/COM3";
        fs::remove(entry);
        c.make(entry);
        const auto before = fs::symlink_status(entry).type();
        const std::string target = fs::is_symlink(fs::symlink_status(entry)) ? fs::read_symlink(entry).string() : "";
        EXPECT_THROW(vxsim::PublishedComPort(3, pty.devicePath(), folder), std::runtime_error);
        ASSERT_EQ(fs::symlink_status(entry).type(), before);
        if (!target.empty()) {
            EXPECT_EQ(fs::read_symlink(entry), target);
        }
    }
}

TEST_F(PublishedComPortTest, AnEntryReplacedByAnotherProgramStaysAtTheEnd) {
    {
        vxsim::PublishedComPort port(2, pty.devicePath(), folder);
        fs::remove(port.entry());
        fs::create_symlink("/dev/null", port.entry());
    }
    EXPECT_EQ(fs::read_symlink(folder + "/COM2"), "/dev/null");
}

TEST_F(PublishedComPortTest, NumberZeroIsRefused) {
    EXPECT_THROW(vxsim::PublishedComPort(0, pty.devicePath(), folder), std::runtime_error);
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder + "/COM0")));
}

TEST_F(PublishedComPortTest, TheDefaultFolderIsTheOneTheProgramsRead) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string kept = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", base.c_str(), 1);
    {
        vxsim::PublishedComPort port(9, pty.devicePath());
        EXPECT_EQ(port.entry(), vxplatform::comPortFolder() + "/COM9");
        EXPECT_EQ(vxplatform::comPortPath("COM9"), folder + "/COM9");
    }
    if (old)
        ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
