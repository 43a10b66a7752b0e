// A second-generation controller that restarts: its port refuses
// connections for a while, then takes new ones, which need no version
// check before their handshake.

#include <gtest/gtest.h>

#include "VeltraxControlPrivate"
#include "VeltraxIO.h"
#include "sim/Gen2Simulator.h"
#include "support/IoReceiver.h"

using namespace std::chrono_literals;

namespace {

vxsim::Bytes wire(vxctl::Packet packet) {
    static const vxctl::Crc32 crc;
    packet.finish(&crc);
    return vxsim::Bytes(packet.data(), packet.data() + packet.size());
}

TEST(Gen2Restart, RefusesConnectionsUntilItAcceptsThemAgain) {
    vxsim::Gen2Simulator sim;
    sim.serveTcp();
    const std::string locator = sim.tcpLocator();
    vxtest::IoReceiver first;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, locator.c_str(), "", &first, &vxtest::IoReceiver::onReceive,
                         &vxtest::IoReceiver::onError),
              VX_IO_OK);

    sim.refuseTcp();
    EXPECT_TRUE(first.waitForErrors(1, 5000ms));
    VX_IO_Close(handle, 1);
    vxtest::IoReceiver second;
    EXPECT_EQ(VX_IO_Open(&handle, locator.c_str(), "", &second, &vxtest::IoReceiver::onReceive,
                         &vxtest::IoReceiver::onError),
              VX_IO_DEVICE_NOT_FOUND);

    sim.acceptTcp();
    EXPECT_EQ(sim.tcpLocator(), locator);
    ASSERT_EQ(VX_IO_Open(&handle, locator.c_str(), "", &second, &vxtest::IoReceiver::onReceive,
                         &vxtest::IoReceiver::onError),
              VX_IO_OK);
    const vxsim::Bytes handshake = wire(vxctl::handshakeFrame(true));
    ASSERT_EQ(VX_IO_Send(handle, handshake.data(), handshake.size()), VX_IO_OK);
    const vxsim::Bytes reply = vxsim::gen2::encodeFrame(0xA4, 0x80, {0x74, 0x4C, 0x65, 0x56, 0, 0});
    EXPECT_TRUE(second.waitForBytes(reply.size(), 5000ms));
    EXPECT_EQ(second.bytes(), reply);
    EXPECT_TRUE(sim.endpoint().rejected().empty());
    VX_IO_Close(handle, 1);
}

}  // namespace
