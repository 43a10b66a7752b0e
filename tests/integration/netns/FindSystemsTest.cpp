// VX_FindSystems through the real stack lists first-generation systems on
// USB, then second-generation ones on USB and on the network, and each
// opens by the locator it is listed under and answers a read.

#include <memory>
#include <string>
#include <vector>

#include "integration/gen2/Gen2System.h"
#include "platform/Text.h"
#include "sim/Gen1Simulator.h"
#include "sim/Gen2NetworkDevice.h"
#include "support/netns/TestNamespace.h"

namespace {

using namespace gen2road;

// Where a second-generation controller on the network is reached, whatever
// port it announces.
constexpr uint16_t kControllerPort = 55550;
constexpr uint16_t kAnnouncedPort = 55551;
constexpr uint32_t kSecondGenerationType = 2;
constexpr uint32_t kOtherDeviceType = 0x00020001;

std::unique_ptr<vxsim::Gen2NetworkDevice> networkController(const char* address, const std::string& serial,
                                                            uint32_t deviceType) {
    std::unique_ptr<vxsim::Gen2NetworkDevice> controller;
    vxtest::netns::inFarNamespace([&] {
        vxsim::DiscoveryIdentity identity;
        identity.serialNumber = serial;
        identity.deviceType = deviceType;
        controller = std::make_unique<vxsim::Gen2NetworkDevice>(address, identity, 200ms, kControllerPort);
    });
    vxsim::defineLayout(controller->sim().model(), layout());
    controller->discovery().setPort(kAnnouncedPort);
    return controller;
}

std::vector<std::string> findSystems() {
    char buffer[1024];
    uint32_t size = sizeof buffer;
    EXPECT_EQ(VX_FindSystems("", buffer, &size), VX_OK);
    return vxplatform::splitText(std::string(buffer, size), "\n");
}

TEST(FindSystems, ListsBothGenerationsOnUsbAndNetworkAndEachOpensByItsLocator) {
    vxsim::Gen1Simulator firstGeneration(vxsim::SystemSetup::standard(2, false));
    firstGeneration.attachUsb({"VX-FS1", "Veltrax QMX-I", 0x51});
    vxsim::Gen2Simulator usb;
    vxsim::defineLayout(usb.model(), layout());
    usb.attachUsb({"QMX2-FS2", "Veltrax QMX2", 0x52});
    // Neither generation's adapter.
    vxsim::Gen2Simulator foreign;
    foreign.attachUsb({"QMX2-FS3", "Other Adapter", 0x53});
    rescanUsb();
    const auto network = networkController(vxtest::netns::FarAddress0, "QMX2-FS4", kSecondGenerationType);
    const auto otherType = networkController(vxtest::netns::FarAddress1, "QMX2-FS5", kOtherDeviceType);

    const std::vector<std::string> listed = findSystems();
    ASSERT_EQ(listed, (std::vector<std::string>{"usb:id:81", "usb:sn:QMX2-FS2", "network:sn:QMX2-FS4"}));

    struct Expected {
        vxsim::Gen2Endpoint* endpoint;  // none for the first generation
        unsigned int channels;
    };
    const Expected expected[] = {{nullptr, 2}, {&usb.endpoint(), kChannels}, {&network->endpoint(), kChannels}};
    for (size_t i = 0; i < listed.size(); ++i) {
        SCOPED_TRACE(listed[i]);
        OpenedSystem system;
        ASSERT_EQ(system.open(listed[i], ""), VX_OK);
        unsigned int channels = 0;
        EXPECT_EQ(VX_GetNumberOfChannels(system, &channels), VX_OK);
        EXPECT_EQ(channels, expected[i].channels);
        int position = 4711;
        EXPECT_EQ(VX_GetPosition_S(system, 0, &position), VX_OK);
        EXPECT_EQ(position, 0);
        if (expected[i].endpoint) {
            EXPECT_GT(expected[i].endpoint->connections(), 0u);
        }
        EXPECT_EQ(system.close(), VX_OK);
    }
    EXPECT_EQ(foreign.endpoint().connections(), 0u);
    EXPECT_EQ(otherType->endpoint().connections(), 0u);
}

}  // namespace
