#include <cstdlib>

#include "UsbTestSupport.h"
#include "sim/TcpServer.h"

namespace usbtest {
namespace {

class UsbBridgeTest : public UsbTest {};

TEST_F(UsbBridgeTest, AdapterCarriesItsByteStreamToATcpPeer) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    ASSERT_EQ(1, ftdi().addFromText(("sn=BR01;desc=Veltrax QMX-I;id=0x2A;tcp=127.0.0.1:" +
                                     std::to_string(server.port()))
                                        .c_str()));
    EXPECT_EQ("usb:id:42:ds:Veltrax QMX-I:sn:BR01", enumerate(1, "include-id\ninclude-ds\ninclude-sn").text);

    Receiver receiver;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_OK, open(&handle, "usb:sn:BR01", "health-check 50", &receiver));
    ASSERT_TRUE(server.waitAccepted(1, 5000ms));
    const std::vector<uint8_t> frame = {0x12, 0x34, 0x56, 0x00, 0xFF};
    ASSERT_EQ(VX_IO_OK, VX_IO_Send(handle, frame.data(), frame.size()));
    ASSERT_TRUE(receiver.waitForBytes(frame.size()));
    EXPECT_EQ(frame, receiver.bytes());

    // The peer going away looks like a lost device.
    server.closeAll();
    ASSERT_TRUE(receiver.waitForErrors(1));
    EXPECT_EQ(VX_IO_TIMEOUT, receiver.errors()[0]);
    EXPECT_EQ(VX_IO_OK, VX_IO_Close(handle, 1));
    EXPECT_TRUE(server.waitOpenLinks(0, 5000ms));

    // Each open is a fresh connection.
    ASSERT_EQ(VX_IO_OK, open(&handle, "usb:sn:BR01", "", &receiver));
    EXPECT_TRUE(server.waitAccepted(2, 5000ms));
    EXPECT_EQ(VX_IO_OK, VX_IO_Close(handle, 1));
}

struct Pacing {
    const char* name;
    const char* field;  // appended to the adapter's text
    bool paced;
};

class UsbBridgePacing : public UsbTest, public ::testing::WithParamInterface<Pacing> {};

// 192 bytes at 9600 baud take 200 ms on the line each way: echoed, 400 ms
// in all when the bridge paces; unpaced they are back at once.
TEST_P(UsbBridgePacing, CarriesBytesAtTheRateTheHostSet) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    ASSERT_EQ(1, ftdi().addFromText(("sn=BR03;desc=Veltrax QMX-I;tcp=127.0.0.1:" +
                                     std::to_string(server.port()) + GetParam().field)
                                        .c_str()));
    Receiver receiver;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_OK, open(&handle, "usb:sn:BR03", "baudrate 9600", &receiver));
    ASSERT_TRUE(server.waitAccepted(1, 5000ms));
    const std::vector<uint8_t> bytes(192, 0x5A);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(VX_IO_OK, VX_IO_Send(handle, bytes.data(), bytes.size()));
    ASSERT_TRUE(receiver.waitForBytes(bytes.size()));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(bytes, receiver.bytes());
    if (GetParam().paced) {
        EXPECT_GE(took, 400ms);
        EXPECT_LT(took, 2000ms);
    } else {
        EXPECT_LT(took, 200ms);
    }
    EXPECT_EQ(VX_IO_OK, VX_IO_Close(handle, 1));
}

INSTANTIATE_TEST_SUITE_P(Ways, UsbBridgePacing,
                         ::testing::Values(Pacing{"paced", ";paced=1", true},
                                           Pacing{"unpaced", ";paced=0", false},
                                           Pacing{"unsaid", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UsbBridgeTest, AdapterWithoutPeerCannotBeOpened) {
    vxsim::EchoHandler echo;
    uint16_t port = 0;
    {
        vxsim::TcpServer gone(echo);
        port = gone.port();
    }
    ASSERT_EQ(1, ftdi().addFromText(("sn=BR02;desc=Veltrax QMX-I;tcp=127.0.0.1:" +
                                     std::to_string(port)).c_str()));
    Receiver receiver;
    VX_IO_Handle handle = 0;
    EXPECT_EQ(VX_IO_OPEN_FAILED, open(&handle, "usb:sn:BR02", "", &receiver));
    EXPECT_EQ(0, ftdi().openHandleCount());
}

TEST_F(UsbBridgeTest, AdapterTextDescribesEveryField) {
    ASSERT_EQ(2, ftdi().addFromText("sn=T1;desc=Veltrax QMX2;vid=1027;pid=0x6015;id=9;ua=5658494F0A\n"
                                    "sn=T2;desc=Veltrax Sensor A;type=6;flags=2"));
    EXPECT_EQ("usb:id:9:usb-vid:1027:usb-pid:24597:sn:T1\nusb:id:0:usb-vid:1027:usb-pid:24577:sn:T",
              enumerate(1, "include-id\ninclude-usb-vid\ninclude-usb-pid\ninclude-sn").text);
    for (const char* bad : {"desc=no serial", "sn=X;vid=abc", "sn=X;tcp=127.0.0.1", "sn=X;ua=123",
                            "sn=X;colour=red", "sn=X;paced=2"}) {
        EXPECT_EQ(-1, ftdi().addFromText(bad)) << bad;
    }
}

// Run by its own test entry with VXFTDI_DEVICES set; the double reads it at
// its first use, so nothing may reset the double before.
TEST(UsbBridgeEnvironment, AdaptersFromTheEnvironmentAreListed) {
    const char* devices = std::getenv("VXFTDI_DEVICES");
    if (!devices) GTEST_SKIP() << "VXFTDI_DEVICES is not set";
    EXPECT_EQ("usb:sn:ENV1\nusb:sn:ENV2", enumerate(1, "canonical-locator\nforce-rescan").text);
}

}  // namespace
}  // namespace usbtest
