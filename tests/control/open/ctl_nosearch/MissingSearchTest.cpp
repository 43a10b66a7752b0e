#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "QMXControl.h"
#include "VeltraxIO.h"
#include "api/OpenSystems.h"
#include "common/CtlLibrary.h"
#include "sim/Gen1Simulator.h"

namespace {

// A second-generation library that loads but has no device search.
const bool searchMissing = (qmx::setVeltraxCTLFileName("libqmxtest_fakectl_nosearch.so"), true);

void rescanUsb() {
    char list[4096];
    size_t length = sizeof list;
    ASSERT_EQ(VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan\n", list, &length), VX_IO_OK);
}

class MissingSearch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(searchMissing);
        sim_ = std::make_unique<vxsim::Gen1Simulator>(vxsim::SystemSetup::standard(1, true));
        sim_->attachUsb({"VX101", "Veltrax QMX-I", 101});
        rescanUsb();
    }
    void TearDown() override {
        sim_.reset();
        rescanUsb();
    }

    std::unique_ptr<vxsim::Gen1Simulator> sim_;
};

TEST_F(MissingSearch, EnumerationFailsWithTheFirstGenerationSystemsListed) {
    ASSERT_TRUE(qmx::loadVeltraxCTL());
    std::vector<std::string> locators{"stale"};
    EXPECT_EQ(qmx::findVeltraxCTLDevices(&locators), 1u);
    EXPECT_TRUE(locators.empty());

    std::vector<qmx::SystemEntry> entries;
    EXPECT_EQ(qmx::enumerateSystems(&entries), 1u);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, uint32_t{qmx::KindFirstGeneration});
    EXPECT_EQ(entries[0].locator, "usb:id:101");
}

TEST_F(MissingSearch, FindAndIndexLocatorsReturnTheSearchStatus) {
    char buffer[32] = "untouched";
    unsigned int size = sizeof buffer;
    EXPECT_EQ(VX_FindSystems("", buffer, &size), 1u);
    EXPECT_EQ(size, sizeof buffer);
    EXPECT_STREQ(buffer, "untouched");

    VX_SystemIndex index = 0;
    EXPECT_EQ(VX_OpenSystem(&index, "usb:ix:0", ""), 1u);
    EXPECT_EQ(index, 0xFFFFFFFFu);
    // A chip-id locator needs no enumeration.
    ASSERT_EQ(VX_OpenSystem(&index, "usb:id:101", ""), 0u);
    EXPECT_EQ(VX_CloseSystem(index), 0u);
}

}  // namespace
