#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "platform/SerialPort.h"
#include "sim/Link.h"
#include "sim/Pty.h"
#include "support/Wait.h"

namespace {

using std::chrono::milliseconds;
using vxplatform::SerialStatus;

// Echoes every chunk; pulls the cable when it sees "bye".
class EchoUntilBye : public vxsim::LinkHandler {
public:
    void onConnect(vxsim::Link&) override { ++connects; }
    void onReceive(vxsim::Link& link, const uint8_t* data, size_t length) override {
        const std::string text(reinterpret_cast<const char*>(data), length);
        if (text.find("bye") != std::string::npos) {
            link.close();
            sendAfterClose = link.send(data, length);
            return;
        }
        link.send(data, length);
    }
    void onDisconnect(vxsim::Link&) override { ++disconnects; }

    std::atomic<int> connects{0};
    std::atomic<int> disconnects{0};
    std::atomic<bool> sendAfterClose{true};
};

std::string readUpTo(vxplatform::SerialPort& port, size_t count) {
    std::string out;
    char buffer[256];
    while (out.size() < count) {
        const auto result = port.read(buffer, sizeof buffer, milliseconds(2000));
        if (result.status != SerialStatus::Ok) break;
        out.append(buffer, result.count);
    }
    return out;
}

vxplatform::SerialSettings settings() {
    vxplatform::SerialSettings s;
    s.baudRate = 115200;
    return s;
}

TEST(PtyLink, ServedEndpointAnswersTheHostAcrossReopens) {
    vxsim::Pty pty;
    EchoUntilBye echo;
    pty.serve(echo);
    for (int round = 0; round < 2; ++round) {
        vxplatform::SerialPort port;
        ASSERT_EQ(port.open(pty.devicePath(), settings()), 0);
        ASSERT_EQ(port.write("hello", 5, milliseconds(2000)).status, SerialStatus::Ok);
        EXPECT_EQ(readUpTo(port, 5), "hello");
    }
    pty.stop();
    EXPECT_EQ(echo.connects, 1);
    EXPECT_EQ(echo.disconnects, 1);
    EXPECT_TRUE(pty.isConnected());
}

TEST(PtyLink, EndpointThatClosesItsLinkHangsTheHostUp) {
    vxsim::Pty pty;
    EchoUntilBye echo;
    pty.serve(echo);
    vxplatform::SerialPort port;
    ASSERT_EQ(port.open(pty.devicePath(), settings()), 0);
    ASSERT_EQ(port.write("bye", 3, milliseconds(2000)).status, SerialStatus::Ok);
    char byte;
    EXPECT_EQ(port.read(&byte, 1, milliseconds(2000)).status, SerialStatus::HungUp);
    ASSERT_TRUE(vxtest::waitUntil([&] { return echo.disconnects == 1; }));
    EXPECT_FALSE(echo.sendAfterClose);
    EXPECT_FALSE(pty.isConnected());
}

TEST(PtyLink, HangUpFromOutsideEndsServing) {
    vxsim::Pty pty;
    EchoUntilBye echo;
    pty.serve(echo);
    pty.hangUp();
    ASSERT_TRUE(vxtest::waitUntil([&] { return echo.disconnects == 1; }));
    EXPECT_FALSE(pty.write(std::string("x")));
}

}  // namespace
