#include "SerialPort.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <QString>
#include <QStringList>

#include <chrono>
#include <string>

#include "TerminalSettings.h"
#include "platform/SerialPort.h"
#include "platform/SerialPortSource.h"
#include "sim/Pty.h"
#include "terminal/Support.h"

namespace {

using namespace std::chrono_literals;
using terminaltest::ConfigHome;
using terminaltest::descriptorCount;
using terminaltest::Received;
using terminaltest::threadCount;
using terminaltest::waitFor;

TEST(SerialPortOpen, ResultCodes) {
    ConfigHome home;
    vxsim::Pty pty, held;
    vxplatform::SerialPort holder;
    ASSERT_EQ(holder.open(held.devicePath(), {}), 0);
    const QString free = home.linkCom(3, pty.devicePath());
    const QString busy = home.linkCom(4, held.devicePath());
    const QString missing = home.linkCom(5, home.path().toStdString() + "/no-such-tty");
    const QString notATerminal = home.fileCom(7);
    struct Case {
        const char* name;
        QString port;
        int rate;
        int result;
    };
    const Case cases[] = {
        {"opened", free, 115200, SerialPort::Opened},
        {"missing device", missing, 115200, SerialPort::Unavailable},
        {"busy", busy, 115200, SerialPort::Unavailable},
        {"not a COM name", QStringLiteral("ttyS0"), 115200, SerialPort::Unavailable},
        {"COM0", QStringLiteral("COM0"), 115200, SerialPort::Unavailable},
        {"not a terminal", notATerminal, 115200, SerialPort::NotATerminal},
        {"rate 0", free, 0, SerialPort::SettingsRefused},
        {"negative rate", free, -9600, SerialPort::SettingsRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SerialPort port;
        port.setBaudRate(c.rate);
        const size_t descriptors = descriptorCount();
        EXPECT_EQ(port.open(c.port), c.result);
        EXPECT_EQ(port.isOpen(), c.result == SerialPort::Opened);
        if (c.result == SerialPort::Opened) {
            EXPECT_EQ(port.open(c.port), SerialPort::AlreadyOpen);
            EXPECT_EQ(port.open(busy), SerialPort::AlreadyOpen);
            EXPECT_TRUE(port.isOpen());
            port.close();
        }
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(descriptorCount(), descriptors);
    }
}

TEST(SerialPortOpen, EveryRateOfTheListRawWithoutFlowControl) {
    ConfigHome home;
    vxsim::Pty pty;
    const QString name = home.linkCom(2, pty.devicePath());
    SerialPort port;
    for (const QString& entry : ApplicationSettingsData().baudRates) {
        SCOPED_TRACE(entry.toStdString());
        port.setBaudRate(entry.toInt());
        ASSERT_EQ(port.open(name), SerialPort::Opened);
        EXPECT_EQ(vxplatform::readLineRate(pty.hostFd()), entry.toUInt());
        const termios t = pty.hostTermios();
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
        // An open port keeps its rate.
        port.setBaudRate(9600);
        EXPECT_EQ(vxplatform::readLineRate(pty.hostFd()), entry.toUInt());
        port.close();
    }
}

TEST(SerialPortReader, EachWakeUpEmitsWhatArrivedAsOneText) {
    ConfigHome home;
    vxsim::Pty pty;
    SerialPort port;
    ASSERT_EQ(port.open(home.linkCom(1, pty.devicePath())), SerialPort::Opened);
    Received received(port);
    const std::pair<std::string, QString> bursts[] = {
        {std::string("A\0", 2), QString("A") + QChar(0)},
        {std::string(1, '\0'), QString(QChar(0))},
        {"\xE4", QString(QChar(0xE4))},
        {"\xFF\x80z", QString(QChar(0xFF)) + QChar(0x80) + 'z'},
    };
    int count = 0;
    for (const auto& [bytes, text] : bursts) {
        ASSERT_TRUE(pty.write(bytes));
        ASSERT_TRUE(received.waitCount(++count));
        EXPECT_EQ(received.texts.back(), text);
    }
    // More than one chunk of the reader arrives whole.
    const int before = received.joined().size();
    ASSERT_TRUE(pty.write(std::string(10000, 'm')));
    ASSERT_TRUE(waitFor([&] { return received.joined().size() == before + 10000; }));
}

TEST(SerialPortLife, OpenCloseCyclesLeaveNoThreadOrDescriptor) {
    ConfigHome home;
    vxsim::Pty pty;
    const QString name = home.linkCom(6, pty.devicePath());
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
    ASSERT_TRUE(waitFor([&] { return received.joined() == "after"; }));
    port.close();
    EXPECT_TRUE(waitFor([&] { return threadCount() == threads; })) << threadCount();
}

TEST(SerialPortLife, HangUpEndsTheReaderAndLaterWritesFail) {
    ConfigHome home;
    vxsim::Pty pty;
    SerialPort port;
    const size_t threads = threadCount();
    ASSERT_EQ(port.open(home.linkCom(8, pty.devicePath())), SerialPort::Opened);
    EXPECT_TRUE(port.write(QStringLiteral("before")));
    EXPECT_EQ(pty.readExactly(6, 2000ms), "before");
    pty.hangUp();
    ASSERT_TRUE(waitFor([&] { return port.isFinished(); }));
    EXPECT_TRUE(waitFor([&] { return threadCount() == threads; })) << threadCount();
    EXPECT_TRUE(port.isOpen());
    EXPECT_FALSE(port.write(QStringLiteral("after")));
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.write(QStringLiteral("closed")));
}

TEST(SerialPortWrite, Latin1AndAWriteTheLineNeverTakesGivesUpAfter5s) {
    ConfigHome home;
    vxsim::Pty pty;
    SerialPort port;
    ASSERT_EQ(port.open(home.linkCom(9, pty.devicePath())), SerialPort::Opened);
    const QString text = QString("A") + QChar(0xE4) + QChar(0x1FF) + QChar(0) + "Z";
    ASSERT_TRUE(port.write(text));
    EXPECT_EQ(pty.readExactly(5, 2000ms), std::string("A\xE4?\0Z", 5));

    // Nobody reads the other end: the line fills and then takes nothing.
    const QString flood(4 << 20, QLatin1Char('x'));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.write(flood));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 5000ms);
    EXPECT_LT(took, 9000ms);
    EXPECT_TRUE(port.isOpen());
}

TEST(SerialPortList, EachPortByTheComNameThatReachesItElseByItsPath) {
    ConfigHome home;
    vxsim::Pty pty;
    home.linkCom(3, pty.devicePath());
    const vxplatform::ScopedSerialPorts ports({pty.devicePath(), "/dev/ttyS0", "/dev/ttyUSB9"});
    EXPECT_EQ(SerialPort::listComPorts(),
              QStringList({QStringLiteral("COM3"), QStringLiteral("COM1"),
                           QStringLiteral("/dev/ttyUSB9")}));
}

}  // namespace
