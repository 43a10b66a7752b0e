#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/FirmwareTestSupport.h"
#include "SystemConnection.h"
#include "platform/SerialPort.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"

using namespace std::chrono_literals;

namespace {

using fwtest::throwsUpdate;
using vxfw::DeviceState;
using vxfw::ProtocolKind;
using vxfw::SystemConnection;

void expectClosed(const SystemConnection& connection) {
    EXPECT_FALSE(connection.isOpen());
    EXPECT_EQ(connection.getState(), DeviceState::Closed);
    EXPECT_EQ(connection.getProtocolKind(), ProtocolKind::None);
    EXPECT_EQ(connection.locator(), "");
}

TEST(SystemConnectionTest, WithoutAnActivePortNothingGoesOut) {
    SystemConnection connection;
    expectClosed(connection);
    uint8_t byte = 0;
    EXPECT_TRUE(throwsUpdate([&] { connection.send(1, &byte); }, vxfw::kPortNotOpen));
    EXPECT_TRUE(throwsUpdate([&] { connection.receive(1, &byte); }, vxfw::kPortNotOpen));
    EXPECT_TRUE(throwsUpdate([&] { connection.getPortType(); }, vxfw::kPortNotOpen));
    connection.close();
    expectClosed(connection);
}

TEST(SystemConnectionTest, LocatorsThatOpenNoPort) {
    struct Case {
        const char* locator;
        int32_t code;
        std::string message;
    };
    const Case cases[] = {
        {"foo:bar", vxfw::kInvalidParameter, "invalid device locator: foo:bar"},
        {"usb", vxfw::kInvalidParameter, "invalid device locator: usb"},
        {"network:127.0.0.1:1", vxfw::kCouldNotOpenPort, ""},
        {"serial:/nonexistent/ttyS0", vxfw::kCouldNotOpenPort, ""},
    };
    SystemConnection connection;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locator);
        EXPECT_TRUE(throwsUpdate([&] { connection.openPort(c.locator); }, c.code, c.message));
        expectClosed(connection);
    }
}

TEST(SystemConnectionTest, OneActivePortCarriesTheBytes) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    SystemConnection connection;
    connection.openPort(server.locator());
    EXPECT_TRUE(connection.isOpen());
    EXPECT_EQ(connection.getState(), DeviceState::Connected);
    EXPECT_EQ(connection.getProtocolKind(), ProtocolKind::None);
    EXPECT_EQ(connection.getPortType(), vxfw::PortType::Network);
    EXPECT_EQ(connection.locator(), server.locator());

    EXPECT_TRUE(
        throwsUpdate([&] { connection.openPort(server.locator()); }, vxfw::kPortAlreadyOpen));

    const uint8_t out[] = {1, 2, 3};
    uint8_t in[3] = {};
    connection.setTimeout(5000);
    connection.send(3, out);
    connection.receive(3, in);
    EXPECT_EQ(std::vector<uint8_t>(in, in + 3), std::vector<uint8_t>(out, out + 3));
    EXPECT_EQ(server.accepted(), 1u);  // the refused second open connected nowhere
    connection.setTimeout(0);
    EXPECT_EQ(connection.netPort().timeout(), 0u);

    connection.close();
    expectClosed(connection);
    EXPECT_FALSE(connection.netPort().isOpen());
    EXPECT_TRUE(server.waitOpenLinks(0, 5000ms));
}

TEST(SystemConnectionTest, ASerialPortOpensAt115200WhateverItHeld) {
    vxsim::Pty pty;
    SystemConnection connection;
    connection.comPort().setBaudRate(4800);
    connection.openPort("serial:" + pty.devicePath());
    EXPECT_EQ(connection.getPortType(), vxfw::PortType::Com);
    EXPECT_EQ(vxplatform::readLineRate(pty.hostFd()), 115200u);
}

TEST(SystemConnectionTest, PausesKeepTheirLengthUnlessLimited) {
    SystemConnection connection;
    EXPECT_GE(fwtest::timed([&] { connection.pause(30ms); }), 30ms);
    connection.setPauseLimit(0ms);
    EXPECT_LT(fwtest::timed([&] { connection.pause(2500ms); }), 1000ms);
}

}  // namespace
