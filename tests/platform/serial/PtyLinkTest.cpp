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
        if (std::string(reinterpret_cast<const char*>(data), length).find("bye") !=
            std::string::npos) {
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

TEST(PtyLink, ServedEndpointAnswersAcrossReopensUntilItClosesTheLink) {
    vxsim::Pty pty;
    EchoUntilBye echo;
    pty.serve(echo);
    for (const char* text : {"hello", "again"}) {
        vxplatform::SerialPort port;
        ASSERT_EQ(port.open(pty.devicePath(), {}), 0);
        ASSERT_EQ(port.write(text, 5, milliseconds(2000)).status, SerialStatus::Ok);
        char buffer[5];
        ASSERT_EQ(port.read(buffer, 5, milliseconds(2000)).count, 5u);
        EXPECT_EQ(std::string(buffer, 5), text);
    }
    vxplatform::SerialPort port;
    ASSERT_EQ(port.open(pty.devicePath(), {}), 0);
    ASSERT_EQ(port.write("bye", 3, milliseconds(2000)).status, SerialStatus::Ok);
    char byte;
    EXPECT_EQ(port.read(&byte, 1, milliseconds(2000)).status, SerialStatus::HungUp);
    ASSERT_TRUE(vxtest::waitUntil([&] { return echo.disconnects == 1; }));
    EXPECT_EQ(echo.connects, 1);
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
