#include <gtest/gtest.h>

#include <string>

#include "QMXControl.h"
#include "QMXConnection.h"
#include "VeltraxIO.h"
#include "common/CtlLibrary.h"
#include "platform/SerialPortSource.h"
#include "sim/Gen1Simulator.h"

namespace {

// Only first-generation systems here, whatever library is built beside us.
const bool ctlAbsent = (qmx::setVeltraxCTLFileName("libqmxtest-absent-veltraxctl.so"), true);

// The I/O library keeps its USB list for a moment; an adapter plugged in by
// a test must show at once.
void rescanUsb() {
    char list[4096];
    size_t length = sizeof list;
    ASSERT_EQ(VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan\n", list, &length), VX_IO_OK);
}

TEST(Search, LibrarySystemsThenSerialPorts) {
    ASSERT_TRUE(ctlAbsent);
    vxplatform::ScopedSerialPorts ports({"COM1", "COM3"});
    rescanUsb();
    EXPECT_EQ(QMXConnection::listComPorts(), (QStringList{"COM1", "COM3"}));
    EXPECT_EQ(QMXConnection::findSystems(), (QStringList{"serial:COM1", "serial:COM3"}));

    vxsim::Gen1Simulator simulator(vxsim::SystemSetup::standard(2, false));
    simulator.attachUsb({"VX101", "Veltrax QMX-I", 101});
    rescanUsb();
    EXPECT_EQ(QMXConnection::findSystems(),
              (QStringList{"usb:id:101", "serial:COM1", "serial:COM3"}));

    // Index locators are the library's.
    QMXConnection connection;
    EXPECT_EQ(connection.openSystem("usb:ix:1"), 3u);
    EXPECT_EQ(connection.mode(), QMXConnection::Closed);
    ASSERT_EQ(connection.openSystem("usb:ix:0"), VX_OK);
    EXPECT_EQ(connection.mode(), QMXConnection::Library);
    char locator[32] = "";
    uint32_t size = sizeof locator;
    EXPECT_EQ(connection.getSystemLocator(locator, &size), VX_OK);
    EXPECT_STREQ(locator, "usb:id:101");
    EXPECT_EQ(connection.closeSystem(), VX_OK);
}

TEST(Search, SerialNumberLocatorHasNoAddressForTheDirectWay) {
    QMXConnection connection;
    EXPECT_EQ(connection.openSystem("network:sn:SIM-0001"), VX_INVALID_SYSTEM_LOCATOR);
    EXPECT_EQ(connection.mode(), QMXConnection::Closed);
}

}  // namespace
