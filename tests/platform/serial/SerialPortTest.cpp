#include "platform/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include "sim/Pty.h"
#include "support/Wait.h"

namespace {

using std::chrono::milliseconds;
using vxplatform::SerialPort;
using vxplatform::SerialSettings;
using vxplatform::SerialStatus;

SerialSettings rate(uint32_t baudRate, bool xonXoff = false) {
    SerialSettings settings;
    settings.baudRate = baudRate;
    settings.xonXoff = xonXoff;
    return settings;
}

std::string readString(SerialPort& port, milliseconds timeout) {
    char buffer[256];
    const auto result = port.read(buffer, sizeof buffer, timeout);
    return result.status == SerialStatus::Ok ? std::string(buffer, result.count) : std::string();
}

TEST(SerialPortSettings, RawEightNoneOneAtStandardAndOddRates) {
    struct Case {
        uint32_t baudRate;
        bool xonXoff;
    };
    for (const Case& c : {Case{9600, false}, Case{115200, true}, Case{500000, false}, Case{250000, true}}) {
        SCOPED_TRACE(c.baudRate);
        vxsim::Pty pty;
        SerialPort port;
        ASSERT_EQ(port.open(pty.devicePath(), rate(c.baudRate, c.xonXoff)), 0);
        const termios t = pty.hostTermios();
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ((t.c_iflag & IXON) != 0, c.xonXoff);
        EXPECT_EQ((t.c_iflag & IXOFF) != 0, c.xonXoff);
        EXPECT_EQ(vxplatform::readLineRate(pty.hostFd()), c.baudRate);
        EXPECT_EQ(port.baudRate(), c.baudRate);
    }
}

TEST(SerialPortSettings, RefusesWhatCannotBeALine) {
    vxsim::Pty pty;
    SerialPort port;
    EXPECT_EQ(port.open(pty.devicePath(), rate(0)), EINVAL);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.open("/nonexistent/ttyX0", rate(9600)), ENOENT);
    EXPECT_EQ(port.open("/dev/null", rate(9600)), ENOTTY);
    ASSERT_EQ(port.open(pty.devicePath(), rate(9600)), 0);
    EXPECT_EQ(port.configure(rate(19200, true)), 0);
    EXPECT_EQ(vxplatform::readLineRate(pty.hostFd()), 19200u);
    EXPECT_NE(pty.hostTermios().c_iflag & IXON, 0u);
}

TEST(SerialPortExclusive, SecondOpenIsRefusedUntilTheFirstCloses) {
    vxsim::Pty pty;
    SerialPort first, second;
    EXPECT_TRUE(vxplatform::isSerialPortAvailable(pty.devicePath()));
    ASSERT_EQ(first.open(pty.devicePath(), rate(9600)), 0);
    EXPECT_EQ(second.open(pty.devicePath(), rate(9600)), EBUSY);
    EXPECT_FALSE(vxplatform::isSerialPortAvailable(pty.devicePath()));
    first.close();
    EXPECT_TRUE(vxplatform::isSerialPortAvailable(pty.devicePath()));
    EXPECT_EQ(second.open(pty.devicePath(), rate(9600)), 0);
}

TEST(SerialPortTransfer, BytesBothWaysAndReadTimeOut) {
    vxsim::Pty pty;
    SerialPort port;
    ASSERT_EQ(port.open(pty.devicePath(), rate(115200)), 0);

    const auto start = std::chrono::steady_clock::now();
    char byte;
    EXPECT_EQ(port.read(&byte, 1, milliseconds(80)).status, SerialStatus::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(80));

    ASSERT_TRUE(pty.write(std::string(":GIV\n")));
    EXPECT_EQ(readString(port, milliseconds(2000)), ":GIV\n");
    const std::string reply = ":IV1,2,3\n";
    const auto sent = port.write(reply.data(), reply.size(), milliseconds(2000));
    EXPECT_EQ(sent.status, SerialStatus::Ok);
    EXPECT_EQ(sent.count, reply.size());
    EXPECT_EQ(pty.readExactly(reply.size(), milliseconds(2000)), reply);
}

TEST(SerialPortWake, InterruptAndCloseWakeABlockedReader) {
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
    EXPECT_FALSE(port.isOpen());
    char byte;
    EXPECT_EQ(port.read(&byte, 1, milliseconds(0)).status, SerialStatus::Closed);
}

TEST(SerialPortWake, WriterHeldByXoffTimesOutOrIsInterrupted) {
    vxsim::Pty pty;
    SerialPort port;
    ASSERT_EQ(port.open(pty.devicePath(), rate(9600, true)), 0);
    ASSERT_TRUE(pty.write(std::string("\x13")));  // XOFF from the controller
    // The stop takes effect once the line discipline has seen the byte.
    const std::string data(64, 'x');
    ASSERT_TRUE(vxtest::waitUntil([&] {
        return port.write(data.data(), data.size(), milliseconds(20)).status == SerialStatus::TimedOut;
    }));
    pty.read(4096, milliseconds(50));  // what passed before the stop

    auto writer = std::async(std::launch::async, [&] {
        return port.write(data.data(), data.size(), milliseconds(-1)).status;
    });
    EXPECT_EQ(writer.wait_for(milliseconds(50)), std::future_status::timeout);
    port.interrupt();
    ASSERT_EQ(writer.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(writer.get(), SerialStatus::Interrupted);
}

TEST(SerialPortHangUp, ReadAndWriteReportTheLineGone) {
    vxsim::Pty pty;
    SerialPort port;
    ASSERT_EQ(port.open(pty.devicePath(), rate(9600)), 0);
    auto reader = std::async(std::launch::async, [&] {
        char byte;
        return port.read(&byte, 1, milliseconds(5000)).status;
    });
    pty.hangUp();
    ASSERT_EQ(reader.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(reader.get(), SerialStatus::HungUp);
    EXPECT_EQ(port.write("x", 1, milliseconds(500)).status, SerialStatus::HungUp);
    EXPECT_EQ(port.takeLineErrors(), 0u);  // a pseudo-terminal counts none
}

}  // namespace
