#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "firmware/FirmwareTestSupport.h"
#include "SystemConnection.h"
#include "io/ftdi/UsbTestSupport.h"
#include "platform/SerialPort.h"
#include "serial/ComPortList.h"
#include "sim/FtdiAttach.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"

namespace {

using fwtest::throwsUpdate;
using vxfw::ComPort;
using vxfw::NetPort;
using vxfw::Port;
using vxfw::USBPort;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

// Sends bytes through an open port and reads back what an echoing peer
// returns.
Bytes echoed(Port& port, const Bytes& bytes) {
    port.setTimeout(5000);
    port.send(static_cast<uint32_t>(bytes.size()), bytes.data());
    Bytes back(bytes.size());
    port.receive(static_cast<uint32_t>(back.size()), back.data());
    return back;
}

const Bytes kProbeBytes = {0x00, 0x3A, 0x0A, 0xFF, 0x80};

// Serial ports the I/O library lists, in its own (natural) order; the
// paths do not exist, so no real device is touched.
class FakeSerialPorts {
public:
    explicit FakeSerialPorts(Names names) {
        vxio::setComPortSource({[names] { return names; }, {}});
    }
    ~FakeSerialPorts() { vxio::setComPortSource({}); }
};

TEST(NetPortTest, CarriesBytesOverTcpAndListsNothing) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    NetPort port;
    Names listed = {"stale"};
    port.enumerate(listed);
    EXPECT_TRUE(listed.empty());
    EXPECT_TRUE(throwsUpdate([&] { port.setBaudRate(9600); }, vxfw::kInvalidParameter,
                             "Network port baudrate cannot be set"));

    port.open(server.locator());
    EXPECT_EQ(port.portType(), vxfw::PortType::Network);
    EXPECT_EQ(echoed(port, kProbeBytes), kProbeBytes);

    NetPort refused;
    EXPECT_TRUE(
        throwsUpdate([&] { refused.open("network:127.0.0.1:1"); }, vxfw::kCouldNotOpenPort));
    EXPECT_FALSE(refused.isOpen());
}

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override { pty.serve(echo); }
    std::string locator() const { return "serial:" + pty.devicePath(); }
    std::optional<uint32_t> lineRate() const { return vxplatform::readLineRate(pty.hostFd()); }

    vxsim::EchoHandler echo;
    vxsim::Pty pty;
};

TEST_F(ComPortTest, ANewRateReopensTheOpenPort) {
    ComPort port;
    port.open(locator());
    EXPECT_EQ(lineRate(), 115200u);
    EXPECT_EQ(echoed(port, kProbeBytes), kProbeBytes);

    port.setBaudRate(4800);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.locator(), locator());
    EXPECT_EQ(lineRate(), 4800u);
    EXPECT_EQ(echoed(port, kProbeBytes), kProbeBytes);

    // A closed port only keeps the rate for its next open.
    port.close();
    port.setBaudRate(9600);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(lineRate(), 4800u);
    port.open(locator());
    EXPECT_EQ(lineRate(), 9600u);
}

TEST(ComPortListTest, SerialLocatorsSortedByByteValue) {
    ComPort port;
    {
        FakeSerialPorts ports(
            {"/nonexistent/ttyS2", "/nonexistent/ttyS10", "/nonexistent/ttyACM0"});
        Names listed = {"stale"};
        port.enumerate(listed);
        EXPECT_EQ(listed, (Names{"serial:/nonexistent/ttyACM0", "serial:/nonexistent/ttyS10",
                                 "serial:/nonexistent/ttyS2"}));
    }
    // A list that does not fit in 1024 bytes is a failed listing.
    Names many;
    for (int i = 0; i < 64; ++i) many.push_back("/nonexistent/ttyLongName" + std::to_string(i));
    FakeSerialPorts ports(many);
    Names listed = {"stale"};
    EXPECT_TRUE(throwsUpdate([&] { port.enumerate(listed); }, vxfw::kPortEnumerationError,
                             "serial ports"));
    EXPECT_EQ(listed, Names{"stale"});
}

class UsbPortTest : public usbtest::UsbTest {};

TEST_F(UsbPortTest, ListsOnlyControllerAdaptersAsSortedIdLocators) {
    usbtest::plug(usbtest::Adapter().sn("A1").chip(25));
    usbtest::plug(usbtest::Adapter().sn("A2").chip(100));
    usbtest::plug(usbtest::Adapter().sn("A3").chip(7).desc("Other Adapter"));
    USBPort port;
    Names listed = {"stale"};
    port.enumerate(listed);
    EXPECT_EQ(listed, (Names{"usb:id:100", "usb:id:25"}));
}

TEST_F(UsbPortTest, OpensAtTheControllersLineSettingsAndKeepsItsHandle) {
    vxsim::EchoHandler echo;
    vxsim::FtdiAttachment adapter(echo, {"VX000042", USBPort::kProductName, 4242});
    USBPort port;
    port.open("usb:id:4242");
    const VxFtdiLineState state = usbtest::lineState(adapter.adapter());
    EXPECT_EQ(state.baudRate, 500000u);
    EXPECT_EQ(state.latency, 1u);
    EXPECT_EQ(state.openHandles, 1);
    EXPECT_EQ(echoed(port, kProbeBytes), kProbeBytes);

    const VX_IO_Handle handle = port.ioHandle();
    EXPECT_TRUE(throwsUpdate([&] { port.open("usb:id:4242"); }, vxfw::kPortAlreadyOpen));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.ioHandle(), handle);
    EXPECT_EQ(usbtest::lineState(adapter.adapter()).openHandles, 1);
    EXPECT_EQ(echoed(port, kProbeBytes), kProbeBytes);

    EXPECT_TRUE(throwsUpdate([&] { port.setBaudRate(115200); }, vxfw::kInvalidParameter,
                             "USB port baudrate cannot be set"));
    port.close();
    EXPECT_EQ(usbtest::lineState(adapter.adapter()).openHandles, 0);
}

TEST_F(UsbPortTest, ALocatorOfAnotherKindOpensNothing) {
    usbtest::plug(usbtest::Adapter().chip(25));
    ComPort com;
    NetPort net;
    USBPort usb;
    struct Case {
        Port& port;
        const char* locator;
    };
    const Case cases[] = {
        {com, "usb:id:25"},
        {net, "usb:id:25"},
        {usb, "serial:/nonexistent/ttyS0"},
        {usb, "network:127.0.0.1:1"},
        {com, "foo:bar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locator);
        usbtest::ftdi().clearCallLog();
        EXPECT_TRUE(throwsUpdate([&] { c.port.open(c.locator); }, vxfw::kInvalidParameter));
        EXPECT_FALSE(c.port.isOpen());
        EXPECT_TRUE(usbtest::calls({"FT_Open", "FT_OpenEx"}).empty());
    }
    // The same locator on the USB port does reach the driver.
    usb.open("usb:id:25");
    EXPECT_TRUE(usb.isOpen());
    EXPECT_FALSE(usbtest::calls({"FT_Open", "FT_OpenEx"}).empty());
}

TEST_F(UsbPortTest, AFailedUsbListingLeavesTheSerialLocators) {
    usbtest::plug(usbtest::Adapter().chip(25));
    FakeSerialPorts ports({"/nonexistent/ttyS2", "/nonexistent/ttyS10"});
    const Names serial = {"serial:/nonexistent/ttyS10", "serial:/nonexistent/ttyS2"};
    vxfw::SystemConnection connection;

    Names offered = {"kept"};
    connection.listLocators(offered);
    Names expected = {"kept", "usb:id:25"};
    expected.insert(expected.end(), serial.begin(), serial.end());
    EXPECT_EQ(offered, expected);

    advanceClock(std::chrono::seconds(10));
    usbtest::ftdi().failCall("FTID_GetNumDevices", VXFTDI_OTHER_ERROR, -1);
    USBPort usb;
    Names listed = {"stale"};
    EXPECT_TRUE(throwsUpdate([&] { usb.enumerate(listed); }, vxfw::kPortEnumerationError, "USB"));
    offered = {"kept"};
    connection.listLocators(offered);
    expected = {"kept"};
    expected.insert(expected.end(), serial.begin(), serial.end());
    EXPECT_EQ(offered, expected);
}

}  // namespace
