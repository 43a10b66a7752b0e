#include <gtest/gtest.h>

#include <atomic>

#include "VeltraxControlPrivate"
#include "VeltraxIO.h"
#include "sim/Gen2Simulator.h"
#include "support/IoReceiver.h"

using namespace std::chrono_literals;
using vxsim::Bytes;

namespace {

enum class Carrier { Tcp, Usb, Pty };

const char* carrierText(Carrier carrier) {
    switch (carrier) {
    case Carrier::Tcp:
        return "Tcp";
    case Carrier::Usb:
        return "Usb";
    case Carrier::Pty:
        return "Pty";
    }
    return "?";
}

void PrintTo(Carrier carrier, std::ostream* out) { *out << carrierText(carrier); }

Bytes wire(vxctl::Packet packet) {
    static const vxctl::Crc32 crc;
    packet.finish(&crc);
    return Bytes(packet.data(), packet.data() + packet.size());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A second-generation controller reached the way the library reaches one:
// through the I/O library, by locator.
class Gen2Carriers : public ::testing::TestWithParam<Carrier> {
protected:
    void SetUp() override {
        switch (GetParam()) {
        case Carrier::Tcp:
            sim_.serveTcp();
            locator_ = sim_.tcpLocator();
            break;
        case Carrier::Usb: {
            // An id of its own, never confused with an adapter of another test.
            static std::atomic<uint32_t> nextId{0x6E000001};
            const uint32_t id = nextId++;
            sim_.attachUsb({"G2" + std::to_string(id & 0xFFFF), "Veltrax QMX2", id});
            locator_ = "usb:id:" + std::to_string(id);
            char list[4096];
            size_t length = sizeof list;
            ASSERT_EQ(VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan\n", list, &length), VX_IO_OK);
            break;
        }
        case Carrier::Pty:
            locator_ = "serial:" + sim_.servePty().devicePath();
            options_ = "baudrate 115200";
            break;
        }
        open();
    }
    void TearDown() override {
        if (opened_) VX_IO_Close(handle_, 1);
    }

    void open() {
        receiver_ = std::make_unique<vxtest::IoReceiver>();
        ASSERT_EQ(VX_IO_Open(&handle_, locator_.c_str(), options_.c_str(), receiver_.get(), &vxtest::IoReceiver::onReceive,
                             &vxtest::IoReceiver::onError),
                  VX_IO_OK)
            << locator_;
        opened_ = true;
    }
    void send(const Bytes& bytes) { ASSERT_EQ(VX_IO_Send(handle_, bytes.data(), bytes.size()), VX_IO_OK); }
    // Everything received, once `count` bytes are there.
    Bytes received(size_t count) {
        EXPECT_TRUE(receiver_->waitForBytes(count, 3000ms)) << "got " << receiver_->bytes().size();
        return receiver_->bytes();
    }

    vxsim::Gen2Simulator sim_;
    std::string locator_;
    std::string options_;
    VX_IO_Handle handle_ = 0;
    bool opened_ = false;
    std::unique_ptr<vxtest::IoReceiver> receiver_;
};

TEST_P(Gen2Carriers, CarryTheExchangesBothWays) {
    sim_.model().define({0, 0x0F}, std::string("QMX2"));
    send(wire(vxctl::versionRequestFrame()) + wire(vxctl::handshakeFrame(true)));
    send(wire(vxctl::readPropertyFrame(1, 0, 0, 0x0F)));
    Bytes expected = vxsim::gen2::encodeFrame(0xA0, 0x8A, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    const Bytes handshake = vxsim::gen2::encodeFrame(0xA4, 0x80, {0x74, 0x4C, 0x65, 0x56, 0, 0});
    const Bytes value = vxsim::gen2::encodeFrame(0xA0, 0x82, {1, 0x12, 'Q', 'M', 'X', '2', 0});
    expected.insert(expected.end(), handshake.begin(), handshake.end());
    expected.insert(expected.end(), value.begin(), value.end());
    EXPECT_EQ(received(expected.size()), expected);

    // A reset's ready frame; over USB one zero byte comes first.
    send(wire(vxctl::deviceResetFrame()));
    Bytes ready = vxsim::gen2::encodeFrame(0xA4, 0xF1, {});
    if (GetParam() == Carrier::Usb) ready.insert(ready.begin(), 0x00);
    expected.insert(expected.end(), ready.begin(), ready.end());
    EXPECT_EQ(received(expected.size()), expected);
    EXPECT_TRUE(sim_.endpoint().rejected().empty());
    EXPECT_EQ(sim_.endpoint().requests().size(), 4u);
}

TEST_P(Gen2Carriers, ADroppedConnectionReachesTheHost) {
    send(wire(vxctl::versionRequestFrame()));
    ASSERT_TRUE(sim_.endpoint().waitForRequests(1, 3000ms));
    sim_.endpoint().disconnectAll();
    EXPECT_TRUE(receiver_->waitForErrors(1, 5000ms));
}

INSTANTIATE_TEST_SUITE_P(Carriers, Gen2Carriers, ::testing::Values(Carrier::Tcp, Carrier::Usb, Carrier::Pty),
                         [](const auto& info) { return std::string(carrierText(info.param)); });

TEST(Gen2Reconnect, RefusedReconnectsAreDroppedByTheController) {
    vxsim::Gen2Simulator sim;
    sim.serveTcp();
    sim.endpoint().setRefuseConnections(true);
    vxtest::IoReceiver receiver;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, sim.tcpLocator().c_str(), "", &receiver, &vxtest::IoReceiver::onReceive,
                         &vxtest::IoReceiver::onError),
              VX_IO_OK);
    EXPECT_TRUE(receiver.waitForErrors(1, 5000ms));
    EXPECT_EQ(sim.endpoint().refusedConnections(), 1u);
    EXPECT_EQ(sim.endpoint().connections(), 0u);
    VX_IO_Close(handle, 1);
}

}  // namespace
