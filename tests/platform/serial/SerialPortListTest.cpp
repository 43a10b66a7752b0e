#include "platform/SerialPortList.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(NaturalOrder, DigitRunsCompareByValue) {
    struct Case {
        const char* a;
        const char* b;
        bool less;
    };
    const Case cases[] = {
        {"ttyS2", "ttyS10", true},     {"ttyS10", "ttyS2", false}, {"ttyS1", "ttyS1", false},
        {"ttyACM0", "ttyS0", true},    {"ttyS9", "ttyUSB0", true}, {"ttyUSB01", "ttyUSB1", false},
        {"ttyUSB1", "ttyUSB01", true}, {"ttyS", "ttyS0", true},    {"ttyUSB0", "ttyUSB0a", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vxplatform::naturalLess(c.a, c.b), c.less) << c.a << " < " << c.b;
    }
}

// A sysfs-like class directory and a device directory in a temporary tree.
class FakeTree : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vx-serial-list-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "class");
        fs::create_directories(root_ / "dev");
    }
    void TearDown() override { fs::remove_all(root_); }

    // `uartType` < 0: no "type" attribute (not a serial-core port).
    void addTty(const std::string& name, bool withDevice, int uartType = -1, bool withNode = true) {
        const fs::path entry = root_ / "class" / name;
        fs::create_directories(entry);
        if (withDevice) fs::create_directories(entry / "device");
        if (uartType >= 0) std::ofstream(entry / "type") << uartType << "\n";
        if (withNode) std::ofstream(root_ / "dev" / name);
    }
    std::vector<std::string> list() {
        return vxplatform::listSerialPorts((root_ / "class").string(), (root_ / "dev").string());
    }
    std::string dev(const std::string& name) { return (root_ / "dev" / name).string(); }

    fs::path root_;
};

TEST_F(FakeTree, RealDevicesInNaturalOrderWithoutPhantomUarts) {
    addTty("tty0", false);
    addTty("console", false);
    addTty("ttyS10", true, 4);
    addTty("ttyS2", true, 4);
    addTty("ttyS3", true, 0);  // registered, no UART found
    addTty("ttyUSB0", true);
    addTty("ttyACM1", true);
    addTty("ttyUSB7", true, -1, false);  // no device node
    EXPECT_EQ(list(), (std::vector<std::string>{dev("ttyACM1"), dev("ttyS2"), dev("ttyS10"),
                                                dev("ttyUSB0")}));
}

TEST_F(FakeTree, MissingTreeGivesNoPorts) {
    EXPECT_TRUE(vxplatform::listSerialPorts((root_ / "none").string(), "/dev").empty());
}

}  // namespace
