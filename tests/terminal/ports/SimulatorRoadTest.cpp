#include <gtest/gtest.h>

#include <string>

#include "EthernetPort.h"
#include "SerialPort.h"
#include "sim/ControllerModel.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"
#include "terminal/Support.h"

namespace {

using namespace terminaltest;

// With the default settings, typed text reaches the controller's textual
// personality over either port (on a pseudo-terminal reached as COM4, and
// on TCP), and its reply comes back.
TEST(SimulatorRoad, TypedCommandsAndTheirReplies) {
    ConfigHome home;
    vxsim::ControllerModel model{vxsim::SystemSetup::standard(3, false)};
    vxsim::TextEndpoint text{model};
    vxsim::TcpServer server{text};
    vxsim::Pty pty;
    pty.serve(text);
    const ApplicationSettingsData defaults;
    SerialPort serial;
    serial.setBaudRate(defaults.baudRates.at(defaults.baudRateIndex).toInt());
    ASSERT_EQ(serial.open(home.com(4, pty.devicePath())), SerialPort::Opened);
    EthernetPort ethernet;
    ASSERT_EQ(ethernet.open("127.0.0.1", server.port()), EthernetPort::Opened);
    FakeWindow window;
    window.settings = defaults.sendSettings();
    SendPipeline pipeline{window, serial, ethernet};
    Received fromSerial(serial), fromNetwork(ethernet);

    const struct {
        int connectionType;
        QString typed;
        std::string sent;
        QString reply;
    } cases[] = {
        {SerialConnection, "GNC", ":GNC\n", ":N3\n"},
        {NetworkConnection, "GNC", ":GNC\n", ":N3\n"},
        {SerialConnection, R"(\777)", ":?\n", ""},
        {NetworkConnection, R"(\777)", ":\xC7\xBF\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        text.clearRecords();
        fromSerial.texts.clear();
        fromNetwork.texts.clear();
        window.settings.connectionType = c.connectionType;
        pipeline.sendString(c.typed, SendPipeline::Send);
        ASSERT_TRUE(text.waitForCommands(1, 5000ms));
        EXPECT_EQ(text.received(), c.sent);
        // The terminal string's escape made every send raw: no status text.
        EXPECT_EQ(window.status, std::nullopt);
        if (c.reply.isEmpty()) continue;
        Received& replies = c.connectionType == SerialConnection ? fromSerial : fromNetwork;
        ASSERT_TRUE(waitFor([&] { return replies.joined().endsWith('\n'); }));
        EXPECT_EQ(replies.joined(), c.reply);
    }
}

}  // namespace
