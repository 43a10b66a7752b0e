#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Host.h"
#include "core/Transports.h"
#include "sim/Pty.h"

namespace {

TEST(SerialDevice, SendAfterTheReceiveThreadClosedThePortFails) {
    vxsim::Pty pty;
    serialtest::Host host;
    const std::string locator = "serial:" + pty.devicePath();
    const vxio::DeviceParams params{locator.c_str(), "baudrate 9600", &host,
                                    serialtest::Host::onReceive, serialtest::Host::onError};
    std::shared_ptr<vxio::IoDevice> device = vxio::createSerialDevice(params);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->interfaceType(), VX_IO_IFACE_SERIAL);
    ASSERT_EQ(device->Open(device), VX_IO_OK);
    EXPECT_EQ(device->Send("a", 1), VX_IO_OK);
    device->Close(true);
    EXPECT_EQ(device->Send("b", 1), VX_IO_WRITE_ERROR);
    EXPECT_EQ(pty.readExactly(1, std::chrono::milliseconds(2000)), "a");
    EXPECT_EQ(device.use_count(), 1);
}

}  // namespace
