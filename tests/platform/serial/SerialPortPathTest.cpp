#include "platform/SerialPortPath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/SerialPortList.h"
#include "platform/SerialPortSource.h"

namespace {

TEST(SerialPortPath, PathsStandBareNamesGoBelowDev) {
    struct Case {
        const char* text;
        const char* device;   // serialDevicePath(text)
        const char* locator;  // serialPortPath("serial:" + text)
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"pts/3", "/dev/pts/3", "/dev/pts/3"},
        {"", "/dev/", ""},
        {"ttyS0:1", "/dev/ttyS0:1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(vxplatform::serialDevicePath(c.text), c.device);
        EXPECT_EQ(vxplatform::serialPortPath(std::string("serial:") + c.text), c.locator);
    }
    EXPECT_EQ(vxplatform::serialPortPath("SERIAL:ttyS0"), "");
    EXPECT_EQ(vxplatform::serialPortPath("ttyS0"), "");
}

TEST(SerialPortSource, ReplacedForAWhileThenTheMachinesAgain) {
    const std::vector<std::string> machine = vxplatform::listSerialPorts();
    {
        vxplatform::ScopedSerialPorts ports({"COM1", "COM3"});
        EXPECT_EQ(vxplatform::availableSerialPorts(), (std::vector<std::string>{"COM1", "COM3"}));
        {
            vxplatform::ScopedSerialPorts none({});
            EXPECT_TRUE(vxplatform::availableSerialPorts().empty());
        }
        EXPECT_EQ(vxplatform::availableSerialPorts(), (std::vector<std::string>{"COM1", "COM3"}));
    }
    EXPECT_EQ(vxplatform::availableSerialPorts(), machine);
}

}  // namespace
