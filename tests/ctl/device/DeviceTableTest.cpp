// The process-wide table of devices: handles 1 to 127, the first free one
// first, and a table still usable after it was emptied at exit.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "device/DeviceTable.h"

namespace {

using vxctl::Device;

class DeviceTable : public ::testing::Test {
protected:
    void TearDown() override { vxctl::closeAllDevices(); }
};

TEST_F(DeviceTable, HandsOutOneTo127FirstFreeFirst) {
    std::vector<std::shared_ptr<Device>> devices;
    VX_CTL_DeviceHandle handle = 0;
    for (VX_CTL_DeviceHandle expected = 1; expected <= vxctl::kMaxDeviceHandle; ++expected) {
        devices.push_back(std::make_shared<Device>());
        ASSERT_EQ(vxctl::addDevice(devices.back(), &handle), VX_CTL_OK);
        ASSERT_EQ(handle, expected);
    }
    EXPECT_EQ(vxctl::addDevice(std::make_shared<Device>(), &handle), VX_CTL_DEVICE_LIMIT_REACHED);
    for (VX_CTL_DeviceHandle outside : {0u, 128u, 0xFFFFFFFFu}) {
        EXPECT_EQ(vxctl::findDevice(outside), nullptr) << outside;
        EXPECT_EQ(vxctl::removeDevice(outside), nullptr) << outside;
    }
    EXPECT_EQ(vxctl::removeDevice(5), devices[4]);
    EXPECT_EQ(vxctl::findDevice(5), nullptr);
    ASSERT_EQ(vxctl::addDevice(devices[4], &handle), VX_CTL_OK);
    EXPECT_EQ(handle, 5u);
    EXPECT_EQ(vxctl::findDevice(vxctl::kMaxDeviceHandle), devices.back());
}

TEST_F(DeviceTable, StaysUsableAfterClosingAllDevices) {
    auto device = std::make_shared<Device>();
    VX_CTL_DeviceHandle handle = 0;
    ASSERT_EQ(vxctl::addDevice(device, &handle), VX_CTL_OK);
    vxctl::closeAllDevices();
    // A late close from other exit-time code finds no device.
    EXPECT_EQ(vxctl::removeDevice(handle), nullptr);
    VX_CTL_Event event{};
    EXPECT_EQ(device->waitForEvent(&event, 0xFFFFFFFF), VX_CTL_CANCELED);
    ASSERT_EQ(vxctl::addDevice(std::make_shared<Device>(), &handle), VX_CTL_OK);
    EXPECT_EQ(handle, 1u);
}

}  // namespace
