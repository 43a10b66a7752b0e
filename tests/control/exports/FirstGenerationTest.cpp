// The exports against a real first-generation system on a simulated
// controller over TCP loopback: the mode refusal is the operation's, the
// frame adds nothing of its own.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "api/Registry.h"
#include "control/frame/CallLog.h"
#include "sim/Gen1Simulator.h"
#include "support/Wait.h"
#include "systems/gen1/OpenHelpers.h"
#include "systems/gen1/System.h"

using vxtest::CallLog;
using Lines = std::vector<std::string>;

namespace {

class FirstGeneration : public ::testing::Test {
protected:
    void SetUp() override {
        qmx::systemRegistry().clear();
        // Three positioners and one end effector, the last channel.
        sim = std::make_unique<vxsim::Gen1Simulator>(vxsim::SystemSetup::standard(4, false, 1));
        sim->serveTcp();
    }
    void TearDown() override {
        CallLog::stop();
        qmx::systemRegistry().clear();
        sim.reset();
    }

    VX_SystemIndex open(const char* options) {
        VX_SystemIndex index = 0xFFFFFFFF;
        EXPECT_EQ(VX_OpenSystem(&index, sim->tcpLocator().c_str(), options), 0u);
        return index;
    }

    std::unique_ptr<vxsim::Gen1Simulator> sim;
};

TEST_F(FirstGeneration, TwinOfTheWrongModeIsRefusedByTheOperation) {
    const VX_SystemIndex async = open("async");
    ASSERT_LT(async, 64u);
    CallLog::start();
    qmx::setCallCounter(0);

    int position = 77;
    EXPECT_EQ(VX_GetPosition_S(async, 0, &position), 13u);
    EXPECT_EQ(position, 77);
    EXPECT_EQ(VX_GetPosition_A(async, 0), 0u);
    VX_packet packet{};
    EXPECT_EQ(VX_ReceiveNextPacket_A(async, 2000, &packet), 0u);
    EXPECT_EQ(packet.packetType, 2u);
    EXPECT_EQ(packet.channelIndex, 0u);

    const std::string index = std::to_string(async);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_GetPosition_S(" + index + ",0)",
                                   "return [1] -> 13 | 77",
                                   "call [2] VX_GetPosition_A(" + index + ",0)",
                                   "return [2] -> 0 | ",
                                   "call [3] VX_ReceiveNextPacket_A(" + index + ",2000)",
                                   "return [3] -> 0 | ",
                               }));
}

TEST_F(FirstGeneration, SynchronousSystemAnswersTheSTwinOnly) {
    const VX_SystemIndex sync = open(nullptr);
    ASSERT_LT(sync, 64u);
    unsigned int count = 0;
    EXPECT_EQ(VX_GetNumberOfChannels(sync, &count), 0u);
    EXPECT_EQ(count, 4u);
    int position = 0;
    EXPECT_EQ(VX_GetPosition_S(sync, 0, &position), 0u);
    EXPECT_EQ(VX_GetPosition_A(sync, 0), 13u);
    EXPECT_EQ(VX_SetReportOnComplete_A(sync, 0, 1), 13u);
    EXPECT_EQ(VX_GetForce_S(sync, 0, &position), 19u);  // a positioner has no force
    unsigned int version = 0;
    EXPECT_EQ(VX_GetFirmwareVersion(1, sync, 0, &version), 0u);
    EXPECT_EQ(version, 0x02010010u);
    EXPECT_EQ(VX_GetFirmwareVersion(4, sync, 0, &version), 9u);
}

TEST_F(FirstGeneration, ClosingTheSystemEndsAWaitWithoutLimit) {
    const VX_SystemIndex async = open("async");
    ASSERT_LT(async, 64u);
    const auto system = qmx::lookupSystem(async);
    CallLog::start();
    vxtest::Latch<VX_STATUS> result;
    std::thread waiter([&] {
        VX_packet packet{};
        result.set(VX_ReceiveNextPacket_A(async, 0xFFFFFFFF, &packet));
    });
    // The waiter has logged its call, so it is on its way into the wait.
    EXPECT_TRUE(vxtest::waitUntil([] { return !CallLog::take().empty(); }));
    EXPECT_EQ(VX_CloseSystem(async), 0u);
    VX_STATUS status = 0;
    const bool ended = result.wait(std::chrono::seconds(5), &status);
    EXPECT_TRUE(ended) << "the wait outlived its system";
    if (!ended) {
        system->cancelWaitForPacket();  // so that the test can end
        result.wait(std::chrono::seconds(5), &status);
    }
    waiter.join();
    // Cancelled, or refused when the close came before its lookup.
    EXPECT_TRUE(status == 20u || status == 5u) << status;
}

TEST_F(FirstGeneration, HandControlSlotThatDoesNotFitIsLoggedAsAnEmptyList) {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(1, true);
    setup.hcmSlotSize = 10;
    sim = std::make_unique<vxsim::Gen1Simulator>(setup);
    sim->serveTcp();
    const uint8_t image[] = {'Q', 'M', 'X', 'H', '-', 's', 'l', 'o', 't', '1'};
    ASSERT_EQ(sim->model().writeSlot(1, 0, image, sizeof image), 0);
    const VX_SystemIndex sync = open(nullptr);
    ASSERT_LT(sync, 64u);
    CallLog::start();
    qmx::setCallCounter(0);

    unsigned char data[16] = {};
    unsigned int size = 9;
    EXPECT_EQ(VX_ReadHCMConfigSlot_S(sync, 1, data, &size), 17u);
    EXPECT_EQ(size, 0u);
    size = sizeof data;
    EXPECT_EQ(VX_ReadHCMConfigSlot_S(sync, 1, data, &size), 0u);
    EXPECT_EQ(size, 10u);
    size = 11;
    EXPECT_EQ(VX_WriteHCMConfigSlot_S(sync, 1, data, &size), 17u);
    EXPECT_EQ(size, 0u);

    const std::string index = std::to_string(sync);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_ReadHCMConfigSlot_S(" + index + ",1)",
                                   "return [1] -> 17 | {}",
                                   "call [2] VX_ReadHCMConfigSlot_S(" + index + ",1)",
                                   "return [2] -> 0 | {Q,M,X,H,-,s,l,o,t,1}",
                                   "call [3] VX_WriteHCMConfigSlot_S(" + index + ",1)",
                                   "return [3] -> 17 | {}",
                               }));
}

TEST_F(FirstGeneration, PositionerChannelsByTheirModuleWord) {
    const VX_SystemIndex sync = open(nullptr);
    ASSERT_LT(sync, 64u);
    const auto system = std::dynamic_pointer_cast<qmx::System>(qmx::lookupSystem(sync));
    ASSERT_TRUE(system);
    ASSERT_EQ(system->channelCount(), 4u);
    for (uint32_t channel = 0; channel < 4; ++channel) {
        const uint16_t moduleClass = system->moduleWord(channel) & 0xF000;
        const bool positioner = moduleClass == 0x2000 || moduleClass == 0x6000 || moduleClass == 0xB000;
        EXPECT_EQ(qmx::isPositionerChannel(*system, channel), positioner) << channel;
        EXPECT_EQ(positioner, channel < 3) << channel;
    }
    EXPECT_FALSE(qmx::isPositionerChannel(*system, 4));
    EXPECT_FALSE(qmx::isPositionerChannel(qmx::System(), 0));
}

}  // namespace
