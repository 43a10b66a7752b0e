// The device search over every interface, which only runs inside the test
// namespace: networked controllers of the second generation are listed
// beside the USB ones.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "VeltraxCTL.h"
#include "sim/Gen2NetworkDevice.h"
#include "support/netns/TestNamespace.h"

namespace {

std::unique_ptr<vxsim::Gen2NetworkDevice> networkController(const std::string& serial, uint32_t deviceType) {
    std::unique_ptr<vxsim::Gen2NetworkDevice> controller;
    vxtest::netns::inFarNamespace([&] {
        vxsim::DiscoveryIdentity identity;
        identity.serialNumber = serial;
        identity.deviceType = deviceType;
        controller = std::make_unique<vxsim::Gen2NetworkDevice>(vxtest::netns::FarAddress0, identity);
    });
    return controller;
}

TEST(NetworkSearch, ListsNetworkControllersOfTheSecondGenerationAfterUsbOnes) {
    const auto listed = networkController("FD-NET-2", 2);
    const auto otherType = networkController("FD-NET-OTHER", 0x00020001);
    vxsim::Gen2Simulator usb;
    usb.attachUsb({"FD-USB-1", "Veltrax QMX2", 0x5F000001});

    char buffer[512];
    size_t length = sizeof buffer;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_FindDevices("", buffer, &length));
    EXPECT_EQ("usb:sn:FD-USB-1\nnetwork:sn:FD-NET-2", std::string(buffer, length));

    length = sizeof buffer;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_FindDevices("no-network-devices", buffer, &length));
    EXPECT_STREQ("usb:sn:FD-USB-1", buffer);
}

}  // namespace
