#include "platform/SerialPort.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>

#include "sim/Pty.h"

namespace {

using std::chrono::milliseconds;
using vxplatform::SerialPort;
using vxplatform::SerialStatus;

vxplatform::SerialSettings rate(uint32_t baudRate, bool xonXoff = false) {
    return {baudRate, xonXoff, true, true};
}

TEST(SerialPortSettings, RawEightNoneOneAtStandardAndOddRates) {
    const std::pair<uint32_t, bool> cases[] = {
        {9600, false}, {115200, true}, {500000, false}, {250000, true}};
    for (const auto& [baudRate, xonXoff] : cases) {
        SCOPED_TRACE(baudRate);
        vxsim::Pty pty;
        SerialPort port;
        ASSERT_EQ(port.open(pty.devicePath(), rate(baudRate, xonXoff)), 0);
        const termios t = pty.hostTermios();
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), xonXoff ? static_cast<tcflag_t>(IXON | IXOFF) : 0u);
        EXPECT_EQ(vxplatform::readLineRate(pty.hostFd()), baudRate);
    }
}

TEST(SerialPortSettings, RefusalsAndExclusiveOpen) {
    vxsim::Pty pty;
    SerialPort port, second;
    EXPECT_EQ(port.open(pty.devicePath(), rate(0)), EINVAL);
    EXPECT_EQ(port.open("/nonexistent/ttyX0", rate(9600)), ENOENT);
    EXPECT_EQ(port.open("/dev/null", rate(9600)), ENOTTY);
    EXPECT_FALSE(port.isOpen());
    ASSERT_EQ(port.open(pty.devicePath(), rate(9600)), 0);
    EXPECT_EQ(second.open(pty.devicePath(), rate(9600)), EBUSY);
    EXPECT_FALSE(vxplatform::isSerialPortAvailable(pty.devicePath()));
    EXPECT_EQ(port.configure(rate(19200, true)), 0);
    EXPECT_EQ(port.baudRate(), 19200u);
    port.close();
    EXPECT_TRUE(vxplatform::isSerialPortAvailable(pty.devicePath()));
    EXPECT_EQ(second.open(pty.devicePath(), rate(9600)), 0);
}

TEST(SerialPortTransfer, BytesBothWaysAndReadTimeOut) {
    vxsim::Pty pty;
    SerialPort port;
    ASSERT_EQ(port.open(pty.devicePath(), rate(115200)), 0);
    char buffer[64];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer, milliseconds(80)).status, SerialStatus::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(80));

    ASSERT_TRUE(pty.write(std::string(":GIV\n")));
    const auto got = port.read(buffer, sizeof buffer, milliseconds(2000));
    ASSERT_EQ(got.status, SerialStatus::Ok);
    EXPECT_EQ(std::string(buffer, got.count), ":GIV\n");
    EXPECT_EQ(port.write(":IV1\n", 5, milliseconds(2000)).count, 5u);
    EXPECT_EQ(pty.readExactly(5, milliseconds(2000)), ":IV1\n");
}

TEST(SerialPortWake, CloseWakesABlockedReader) {
    vxsim::Pty pty;
    SerialPort port;
    ASSERT_EQ(port.open(pty.devicePath(), rate(9600)), 0);
    auto reader = std::async(std::launch::async, [&] {
        char byte;
        return port.read(&byte, 1, milliseconds(-1)).status;
    });
    EXPECT_EQ(reader.wait_for(milliseconds(50)), std::future_status::timeout);
    port.close();
    ASSERT_EQ(reader.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(reader.get(), SerialStatus::Interrupted);
    char byte;
    EXPECT_EQ(port.read(&byte, 1, milliseconds(0)).status, SerialStatus::Closed);
}

}  // namespace
