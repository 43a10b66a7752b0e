// How long the console waits for an answer that does not come, and the
// console against the vxsim-ethernet program.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>

#include "ConsoleSession.h"
#include "NetconfigPeers.h"

using namespace nettest;
using namespace std::chrono_literals;

namespace {

const std::string Get1 = "Get network configuration (QMX 1)...\n";
const std::string NoReply = "Could not get acknowledge from QMX! Error: -5\n";

struct WaitCase {
    const char* name;
    vxsim::EthernetFaults faults;
    std::chrono::milliseconds shortest;
    std::chrono::milliseconds longest;
};

class ReplyWait : public testing::TestWithParam<WaitCase> {};

// From the announcement of the get to its error line.
TEST_P(ReplyWait, EndsInTime) {
    ASSERT_EQ(vxtest::netns::checkTestNamespace(), "");
    auto carrier = farCarrier();
    vxsim::EthernetFaults faults = GetParam().faults;
    faults.requests = {3};
    carrier->addController(vxsim::EthernetController(controllerMac(1), FirstConfig), faults);

    const Dialogue dialogue = runConsole("1\n5\n");
    ASSERT_EQ(dialogue.shown, discovered(1) + Menu + Get1 + NoReply + Menu + Done);
    const auto waited = dialogue.arrivalOf(NoReply) - dialogue.arrivalOf(Get1);
    EXPECT_GE(waited, GetParam().shortest);
    EXPECT_LE(waited, GetParam().longest);
}

INSTANTIATE_TEST_SUITE_P(
    Waits, ReplyWait,
    testing::Values(
        // One read time-out of a second without any frame.
        WaitCase{"quiet", {.silent = true}, 900ms, 1900ms},
        // Frames that are no reply keep coming; three whole clock seconds end the wait.
        WaitCase{"flood", {.silent = true, .flood = 8000ms}, 1900ms, 3700ms}),
    [](const auto& info) { return std::string(info.param.name); });

// The simulator program in the far namespace, started there by this test.
TEST(SimulatorProgram, AnswersTheConsole) {
    ASSERT_EQ(vxtest::netns::checkTestNamespace(), "");
    std::unique_ptr<ChildProcess> simulator;
    vxtest::netns::inFarNamespace([&] {
        simulator = std::make_unique<ChildProcess>(std::vector<std::string>{
            VXSIM_ETHERNET_PROGRAM, "--iface", FarIface0, "--controllers", "2", "--ip", "10.9.8.7", "--port", "4000"});
    });
    ASSERT_TRUE(simulator->started());
    ASSERT_TRUE(simulator->waitFor("ready\n", 10s)) << simulator->err();

    const Dialogue dialogue = runConsole("2\n1\n5\n");
    EXPECT_EQ(dialogue.shown, discovered(2) + choose(2) + Menu +
                                  "Get network configuration (QMX 2)...\nCurrent configuration:\n"
                                  "IP: 010.009.008.007\nGW: 192.168.001.001\nSN: 255.255.255.000\nPort: 04000\n" +
                                  Menu + Done);
    EXPECT_EQ(dialogue.exitCode, 0);

    const std::string received = "ready\n" + Discovery + "\n" + request(macHex(2), "0003") + "\n";
    EXPECT_TRUE(simulator->waitFor(received, 2s)) << simulator->out();
    simulator->signal(SIGTERM);
    EXPECT_EQ(simulator->waitExit(10s), 0);
    EXPECT_EQ(simulator->out(), received);
}

}  // namespace
