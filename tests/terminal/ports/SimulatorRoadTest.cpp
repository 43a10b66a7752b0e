#include <gtest/gtest.h>

#include <QString>

#include <chrono>
#include <optional>
#include <string>

#include "EthernetPort.h"
#include "SendPipeline.h"
#include "SerialPort.h"
#include "TerminalSettings.h"
#include "sim/ControllerModel.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"
#include "terminal/Support.h"

namespace {

using namespace std::chrono_literals;
using terminaltest::ConfigHome;
using terminaltest::FakeWindow;
using terminaltest::Received;
using terminaltest::waitFor;

// A controller's textual personality on a pseudo-terminal reached as COM4
// and on a TCP port, both ports of the terminal open on it.
struct Road : ::testing::Test {
    void SetUp() override {
        pty.serve(text);
        const ApplicationSettingsData defaults;
        serial.setBaudRate(defaults.baudRates.at(defaults.baudRateIndex).toInt());
        ASSERT_EQ(serial.open(home.linkCom(4, pty.devicePath())), SerialPort::Opened);
        ASSERT_EQ(ethernet.open(QStringLiteral("127.0.0.1"), server.port()), EthernetPort::Opened);
        window.settings = defaults.sendSettings();
    }

    ConfigHome home;
    vxsim::ControllerModel model{vxsim::SystemSetup::standard(3, false)};
    vxsim::TextEndpoint text{model};
    vxsim::TcpServer server{text};
    vxsim::Pty pty;
    SerialPort serial;
    EthernetPort ethernet;
    FakeWindow window;
    SendPipeline pipeline{window, serial, ethernet};
};

TEST_F(Road, TypedCommandReachesTheControllerAndItsReplyComesBack) {
    struct Case {
        const char* name;
        int connectionType;
        QString typed;
        std::string sent;
        QString reply;
    };
    const Case cases[] = {
        {"serial", SerialConnection, "GNC", ":GNC\n", ":N3\n"},
        {"network", NetworkConnection, "GNC", ":GNC\n", ":N3\n"},
        {"serial: 511 as a question mark", SerialConnection, R"(\777)", ":?\n", QString()},
        {"network: 511 as two UTF-8 bytes", NetworkConnection, R"(\777)", ":\xC7\xBF\n",
         QString()},
    };
    Received fromSerial(serial);
    Received fromNetwork(ethernet);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        text.clearRecords();
        fromSerial.texts.clear();
        fromNetwork.texts.clear();
        window.settings.connectionType = c.connectionType;
        window.status.reset();
        pipeline.sendString(c.typed, SendPipeline::Send);
        ASSERT_TRUE(text.waitForCommands(1, 5000ms));
        EXPECT_EQ(text.received(), c.sent);
        // The terminal string's escape made the send raw: no status text.
        EXPECT_EQ(window.status, std::nullopt);
        if (c.reply.isEmpty()) continue;
        Received& replies = c.connectionType == SerialConnection ? fromSerial : fromNetwork;
        ASSERT_TRUE(waitFor([&] { return replies.joined().endsWith('\n'); }));
        EXPECT_EQ(replies.joined(), c.reply);
    }
}

}  // namespace
