#include "SerialPort.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>

#include "TerminalSettings.h"
#include "platform/SerialPort.h"
#include "platform/SerialPortSource.h"
#include "sim/Pty.h"
#include "terminal/Support.h"

namespace {

using namespace terminaltest;

TEST(SerialPort, OpenResultsRatesAndTheComPortList) {
    ConfigHome home;
    vxsim::Pty pty, held;
    vxplatform::SerialPort holder;
    ASSERT_EQ(holder.open(held.devicePath(), {}), 0);
    const QString free = home.com(3, pty.devicePath());
    const QString busy = home.com(4, held.devicePath());
    // Results by number: 0 opened, 1 already open, 2 failed, 129 settings
    // not read, 130 settings refused.
    const struct {
        QString port;
        int rate;
        int result;
    } cases[] = {
        {free, 115200, 0},
        {home.com(5, "/no/such/tty"), 115200, 2},
        {busy, 115200, 2},
        {"ttyS0", 115200, 2},
        {home.com(7), 115200, 129},
        {free, 0, 130},
        {free, -9600, 130},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port.toStdString() + " at " + std::to_string(c.rate));
        SerialPort port;
        port.setBaudRate(c.rate);
        const size_t descriptors = descriptorCount();
        EXPECT_EQ(port.open(c.port), c.result);
        EXPECT_EQ(port.isOpen(), c.result == 0);
        if (port.isOpen()) {
            EXPECT_EQ(port.open(busy), 1);
        }
        port.close();
        EXPECT_EQ(descriptorCount(), descriptors);
    }

    SerialPort port;
    for (const QString& rate : ApplicationSettingsData().baudRates) {
        port.setBaudRate(rate.toInt());
        ASSERT_EQ(port.open(free), SerialPort::Opened);
        port.setBaudRate(9600);  // for the next open only
        EXPECT_EQ(vxplatform::readLineRate(pty.hostFd()), rate.toUInt());
        const termios t = pty.hostTermios();
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
        port.close();
    }

    const vxplatform::ScopedSerialPorts ports({pty.devicePath(), "/dev/ttyS0", "/dev/ttyUSB9"});
    EXPECT_EQ(SerialPort::listComPorts(), QStringList({"COM3", "COM1", "/dev/ttyUSB9"}));
}

// In a child process that may open no descriptor: the reader's wake-up
// cannot be made.
TEST(SerialPort, WithoutDescriptorsTheWakeUpCannotBeMade) {
    // The type checks of UndefinedBehaviorSanitizer need descriptors the
    // first time they meet a type: they meet the child's types here.
    EXPECT_FALSE(SerialPort().isOpen());
    EXPECT_EQ(std::system_error(EMFILE, std::generic_category()).code().value(), EMFILE);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_NOFILE, &none);
        SerialPort port;
        ::_exit(port.open("COM1") == SerialPort::NoReaderWakeUp ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(SerialPort, EachReaderWakeUpIsOneTextAndWritesAreLatin1) {
    ConfigHome home;
    vxsim::Pty pty;
    SerialPort port;
    ASSERT_EQ(port.open(home.com(1, pty.devicePath())), SerialPort::Opened);
    Received received(port);
    const std::pair<std::string, QString> bursts[] = {
        {std::string("A\0", 2), QString("A") + QChar(0)},
        {std::string(1, '\0'), QString(QChar(0))},
        {"\xE4", QString(QChar(0xE4))},
    };
    for (const auto& [bytes, text] : bursts) {
        ASSERT_TRUE(pty.write(bytes));
        ASSERT_TRUE(received.waitCount(received.texts.size() + 1));
        EXPECT_EQ(received.texts.back(), text);
    }
    // More than the reader takes at once still arrives whole.
    const int before = received.joined().size();
    ASSERT_TRUE(pty.write(std::string(10000, 'm')));
    EXPECT_TRUE(waitFor([&] { return received.joined().size() == before + 10000; }));

    ASSERT_TRUE(port.write(QString("A") + QChar(0xE4) + QChar(0x1FF) + QChar(0)));
    EXPECT_EQ(pty.readExactly(4, 2000ms), std::string("A\xE4?\0", 4));
    // Nobody reads the other end: the line fills, then the write gives up.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.write(QString(4 << 20, 'x')));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(took >= 5000ms && took < 9000ms);
    EXPECT_TRUE(port.isOpen());
}

TEST(SerialPort, ReadersEndWithCloseOrHangUpAndLeaveNothingBehind) {
    ConfigHome home;
    vxsim::Pty pty;
    const QString name = home.com(6, pty.devicePath());
    SerialPort port;
    const size_t threads = threadCount();
    ASSERT_EQ(port.open(name), SerialPort::Opened);
    port.close();
    const size_t descriptors = descriptorCount();
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(port.open(name), SerialPort::Opened) << i;
        port.close();
    }
    // A joined reader's system thread takes a moment more to vanish.
    EXPECT_TRUE(waitFor([&] { return threadCount() == threads; })) << threadCount();
    EXPECT_EQ(descriptorCount(), descriptors);

    // Closed and at once opened again: one reader, and it reads.
    ASSERT_EQ(port.open(name), SerialPort::Opened);
    port.close();
    ASSERT_EQ(port.open(name), SerialPort::Opened);
    EXPECT_TRUE(waitFor([&] { return threadCount() == threads + 1; })) << threadCount();
    Received received(port);
    ASSERT_TRUE(pty.write("after"));
    EXPECT_TRUE(waitFor([&] { return received.joined() == "after"; }));

    EXPECT_TRUE(port.write("before"));
    EXPECT_EQ(pty.readExactly(6, 2000ms), "before");
    pty.hangUp();
    EXPECT_TRUE(waitFor([&] { return port.isFinished() && threadCount() == threads; }));
    EXPECT_TRUE(port.isOpen());
    EXPECT_FALSE(port.write("after the hang-up"));
    port.close();
    EXPECT_FALSE(port.isOpen());
}

}  // namespace
