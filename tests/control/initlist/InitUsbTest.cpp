#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FtdiDouble.h"
#include "QMXControl.h"
#include "VeltraxIO.h"
#include "common/CtlLibrary.h"
#include "sim/Gen1Simulator.h"
#include "support/QmxLog.h"

namespace {

const bool ctlAbsent = (qmx::setVeltraxCTLFileName("libqmxtest-absent-veltraxctl.so"), true);

void rescanUsb() {
    char list[4096];
    size_t length = sizeof list;
    ASSERT_EQ(VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan\n", list, &length), VX_IO_OK);
}

// First-generation systems on simulated USB adapters with the given chip ids.
class InitUsb : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ctlAbsent);
        VX_ReleaseSystems();
        VX_ClearInitSystemsList();
        vxtest::QmxLog::clear();
    }
    void TearDown() override {
        vxtest::QmxLog::detach();
        VX_ReleaseSystems();
        VX_ClearInitSystemsList();
        for (VX_SystemIndex handle = 32; handle < 64; ++handle) VX_CloseSystem(handle);
        sims_.clear();
        rescanUsb();
    }
    vxsim::Gen1Simulator& attach(uint32_t id) {
        auto sim = std::make_unique<vxsim::Gen1Simulator>(vxsim::SystemSetup::standard(1, true));
        sim->attachUsb({"VX" + std::to_string(id), "Veltrax QMX-I", id});
        sims_.push_back(std::move(sim));
        rescanUsb();
        return *sims_.back();
    }
    std::string locatorAt(VX_SystemIndex index) {
        char text[64] = "";
        unsigned int size = sizeof text;
        return VX_GetSystemLocator(index, text, &size) == 0 ? text : "none";
    }
    int openHandles() { return sims_.front()->usb().api().openHandleCount(); }

    std::vector<std::unique_ptr<vxsim::Gen1Simulator>> sims_;
};

TEST_F(InitUsb, AvailableSystemsReportsEveryIdEvenBeyondTheCapacity) {
    attach(11), attach(12), attach(13);
    unsigned int ids[3] = {0, 0, 0};
    unsigned int count = 1;
    EXPECT_EQ(VX_GetAvailableSystems(ids, &count), 0u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(ids[0], 11u);
    EXPECT_EQ(ids[1], 0u);
    count = 3;
    EXPECT_EQ(VX_GetAvailableSystems(ids, &count), 0u);
    EXPECT_EQ(ids[2], 13u);
}

TEST_F(InitUsb, SynchronousInitOpensAllAttachedSystemsInOrder) {
    attach(21), attach(22), attach(23);
    VX_SystemIndex handle = 0;
    ASSERT_EQ(VX_OpenSystem(&handle, "usb:id:23", "async"), 0u);
    ASSERT_EQ(VX_AddSystemToInitSystemsList(21), 0u);
    ASSERT_EQ(VX_AddSystemToInitSystemsList(22), 0u);

    ASSERT_EQ(VX_InitSystems(0), 0u);
    unsigned int value = 9;
    EXPECT_EQ(VX_GetInitState(&value), 0u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(locatorAt(0), "usb:id:21");
    EXPECT_EQ(locatorAt(1), "usb:id:22");
    EXPECT_TRUE(sims_[0]->model().synchronous());
    EXPECT_EQ(VX_GetNumberOfSystems(&value), 0u);
    EXPECT_EQ(value, 2u);  // the handle of VX_OpenSystem does not count
    EXPECT_EQ(VX_AddSystemToInitSystemsList(5), 13u);
    EXPECT_EQ(VX_ClearInitSystemsList(), 13u);

    EXPECT_EQ(VX_ReleaseSystems(), 0u);
    EXPECT_EQ(VX_GetInitState(&value), 0u);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(locatorAt(0), "none");
    EXPECT_EQ(locatorAt(handle), "usb:id:23");
    EXPECT_EQ(VX_AddSystemToInitSystemsList(5), 0u);
}

// Reset requests (opcode 0x30) the host sent to the interface module.
size_t resetsSent(vxsim::Gen1Simulator& sim) {
    size_t count = 0;
    for (const auto& request : sim.endpoint().requests())
        count += request.size() >= 3 && request[0] == 0x08 && request[1] == 0x00 && request[2] == 0x30;
    return count;
}

TEST_F(InitUsb, BitOneResetsEachControllerInEitherMode) {
    auto& sim = attach(61);
    const struct {
        unsigned int configuration;
        size_t resets;
        unsigned int state;
    } cases[] = {{0, 0, 1}, {1, 0, 2}, {2, 1, 1}, {3, 1, 2}};
    for (const auto& c : cases) {
        sim.endpoint().clearRequests();
        ASSERT_EQ(VX_InitSystems(c.configuration), 0u) << c.configuration;
        EXPECT_EQ(resetsSent(sim), c.resets) << c.configuration;
        unsigned int state = 0;
        EXPECT_EQ(VX_GetInitState(&state), 0u);
        EXPECT_EQ(state, c.state) << c.configuration;
        EXPECT_EQ(sim.model().synchronous(), c.state == 1) << c.configuration;
        EXPECT_EQ(openHandles(), 1);
    }
}

TEST_F(InitUsb, TheListChoosesWhichSystemsAndInWhatOrder) {
    attach(5), attach(7), attach(8);
    ASSERT_EQ(VX_AddSystemToInitSystemsList(7), 0u);
    ASSERT_EQ(VX_AddSystemToInitSystemsList(9), 0u);
    ASSERT_EQ(VX_AddSystemToInitSystemsList(5), 0u);
    ASSERT_EQ(VX_InitSystems(0), 0u);
    EXPECT_EQ(locatorAt(0), "usb:id:7");
    EXPECT_EQ(locatorAt(1), "usb:id:5");
    EXPECT_EQ(locatorAt(2), "none");
    EXPECT_EQ(openHandles(), 2);

    ASSERT_EQ(VX_ReleaseSystems(), 0u);
    ASSERT_EQ(VX_ClearInitSystemsList(), 0u);
    ASSERT_EQ(VX_AddSystemToInitSystemsList(9), 0u);
    EXPECT_EQ(VX_InitSystems(0), 3u);
}

TEST_F(InitUsb, AFailedOpenKeepsTheEarlierSystemsButNotTheInitState) {
    attach(41);
    attach(42).endpoint().addFault(vxsim::Fault::error(vxsim::RequestMatch{0x0008}, 150));
    attach(43);
    EXPECT_EQ(VX_InitSystems(0), 1u);
    EXPECT_EQ(locatorAt(0), "usb:id:41");
    EXPECT_EQ(locatorAt(1), "none");
    unsigned int value = 9;
    EXPECT_EQ(VX_GetInitState(&value), 0u);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(VX_GetNumberOfSystems(&value), 2u);
    EXPECT_EQ(openHandles(), 1);
    EXPECT_EQ(VX_ReleaseSystems(), 0u);
    EXPECT_EQ(openHandles(), 0);
}

TEST_F(InitUsb, ReleaseWritesNoReturnLineAndStopsTheLog) {
    attach(51);
    vxtest::QmxLog::attach();
    VX_SetLogLevel(2);
    ASSERT_EQ(VX_InitSystems(0), 0u);
    ASSERT_EQ(VX_ReleaseSystems(), 0u);
    const std::vector<std::string> seen = vxtest::QmxLog::lines();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.back(), "Logging stopped.");
    EXPECT_EQ(seen[seen.size() - 2].find("call ["), 0u);
    EXPECT_NE(seen[seen.size() - 2].find("VX_ReleaseSystems"), std::string::npos);
}

TEST_F(InitUsb, MoreThanThirtyTwoSystemsStopAtTheThirtyThird) {
    for (uint32_t id = 100; id < 133; ++id) attach(id);
    EXPECT_EQ(VX_InitSystems(0), 5u);
    unsigned int value = 0;
    EXPECT_EQ(VX_GetInitState(&value), 0u);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(locatorAt(31), "usb:id:131");
    EXPECT_EQ(openHandles(), 32);
}

}  // namespace
