// The console as a child process against simulated controllers on the far
// end of vxtest0: what it shows, how it ends, and every frame it sends.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ConsoleSession.h"
#include "NetconfigPeers.h"

using namespace nettest;
using namespace std::chrono_literals;

namespace {

struct Scenario {
    const char* name;
    int controllers;
    vxsim::EthernetFaults faults;  // of controller 1
    std::string script;
    std::string shown;
    int exitCode;
    std::vector<std::string> frames;  // requests the controllers received
    std::string interfaceAnswer = "";
};

vxsim::EthernetFaults on(uint16_t request, vxsim::EthernetFaults faults) {
    faults.requests = {request};
    return faults;
}
vxsim::EthernetFaults silent() { return {.silent = true}; }
vxsim::EthernetFaults status(uint16_t word) { return {.status = word}; }

const std::string Typed = "10.0.0.9\n10.0.0.1\n255.255.255.0\n7000\n";
const std::string TypedPayload = "0a000009" "0a000001" "ffffff00" "1b58";
const std::string TypedShown = "IP: 010.000.000.009\nGW: 010.000.000.001\nSN: 255.255.255.000\nPort: 07000\n";
const std::string Get1 = "Get network configuration (QMX 1)...\n";
const std::string ResetQuestion =
    "\nAre you sure to continue resetting the QMX to default configuration?\n[1] yes [0] no\n";
const std::string RestartQuestion = "\nAre you sure to restart the QMX interface?\n[1] yes [0] no\n";
const std::string NoAck = "Could not get acknowledge from QMX! Error: ";
const std::string Quit = "Invalid command!\nQuit.\n";

std::string get(int n) { return request(macHex(n), "0003"); }

std::vector<Scenario> scenarios() {
    return {
    {"one controller is chosen at once; get", 1, {}, "1\n5\n",
     discovered(1) + Menu + Get1 + "Current configuration:\n" + FirstShown + Menu + Done, 0, {Discovery, get(1)}},
    {"two controllers; set on the second, which keeps it", 2, {}, "2\n2\n" + Typed + "1\n5\n",
     discovered(2) + choose(2) + Menu + "Set new network configuration (QMX 2)...\n" + SetPrompts +
         "New configuration:\n" + TypedShown + "Saved new network configuration (QMX 2).\n" + Menu +
         "Get network configuration (QMX 2)...\nCurrent configuration:\n" + TypedShown + Menu + Done,
     0, {Discovery, request(macHex(2), "0004", TypedPayload), request(macHex(2), "0006"), get(2)}},
    {"nine controllers, eight recorded", 9, {}, "9\n", discovered(8) + choose(8) + "Invalid QMX number!\nQuit.\n", 1,
     {Discovery}},
    {"reset refused, then reset and restart", 1, {}, "3\n0\n3\n1\n4\n1\n5\n",
     discovered(1) + Menu + ResetQuestion + Menu + ResetQuestion + "Reset network configuration (QMX 1)...\n" +
         "Current configuration:\n" + FactoryShown + Menu + RestartQuestion + "Restarted interface (QMX 1).\n" +
         Menu + Done,
     0, {Discovery, request(macHex(1), "0005"), request(macHex(1), "0007")}},
    {"failure status: -4", 1, on(3, status(0xFFFE)), "1\n5\n",
     discovered(1) + Menu + Get1 + NoAck + "-4\n" + Menu + Done, 0, {Discovery, get(1)}},
    {"invalid-parameter bit on a get: -6", 1, on(3, status(0x2001)), "1\n5\n",
     discovered(1) + Menu + Get1 + NoAck + "-6\n" + Menu + Done, 0, {Discovery, get(1)}},
    {"invalid-parameter bit on a set: nothing saved", 1, on(4, status(0x2001)), "2\n" + Typed + "5\n",
     discovered(1) + Menu + "Set new network configuration (QMX 1)...\n" + SetPrompts +
         "Invalid parameter in config packet!\n" + Menu + Done,
     0, {Discovery, request(macHex(1), "0004", TypedPayload)}},
    {"a set never acknowledged is saved all the same", 1, on(4, silent()), "2\n" + Typed + "5\n",
     discovered(1) + Menu + "Set new network configuration (QMX 1)...\n" + SetPrompts + NoAck + "-5\n" +
         "Saved new network configuration (QMX 1).\n" + Menu + Done,
     0, {Discovery, request(macHex(1), "0004", TypedPayload), request(macHex(1), "0006")}},
    {"a restart nobody answers: -5", 1, on(7, silent()), "4\n1\n5\n",
     discovered(1) + Menu + RestartQuestion + "Restarted interface (QMX 1).\n" + NoAck + "-5\n" + Menu + Done, 0,
     {Discovery, request(macHex(1), "0007")}},
    {"an answer from another MAC", 1, on(3, {.replyFrom = controllerMac(0x99)}), "1\n5\n",
     discovered(1) + Menu + Get1 + "QMX acknowlege mac address mismatch!\nCurrent configuration:\n" + FirstShown +
         Menu + Done,
     0, {Discovery, get(1)}},
    {"a late answer is taken by the next wait", 1, on(3, {.delay = 1500ms}), "1\n1\n5\n",
     discovered(1) + Menu + Get1 + NoAck + "-5\n" + Menu + Get1 + "Current configuration:\n" + FirstShown + Menu +
         Done,
     0, {Discovery, get(1), get(1)}},
    {"a controller answering twice takes two entries", 1, on(2, {.copies = 2}), "2\n1\n5\n",
     "Get available QMX devices...\n[1] QMX (MAC: 0a:51:4d:00:00:01)\n[2] QMX (MAC: 0a:51:4d:00:00:01)\n" +
         choose(2) + Menu + "Get network configuration (QMX 2)...\nCurrent configuration:\n" + FirstShown + Menu +
         Done,
     0, {Discovery, get(1)}},
    {"no controller answers", 1, silent(), "", "Get available QMX devices...\nNo available QMX devices were found!\n" + Done,
     0, {Discovery}},
    {"refused entries are asked for again", 1, {},
     "2\n0.1.2.3\n192.-1.1.1 x\n\n 1.2.3\n255.1.1.1\n254.255.255.255\n-5.255.255.255\n10.0.0.1\n0.65535.0.0\n"
     "255.0.255.0\n0.0.0.0\n255.255.255.255\n255.255.0.0\n0\n65536\n-1\nport\n1\n5\n",
     discovered(1) + Menu + "Set new network configuration (QMX 1)...\n" + std::string("Enter new ip address (IP):\n") +
         "Enter new ip address (IP):\nEnter new ip address (IP):\nEnter new ip address (IP):\n"
         "Enter new ip address (IP):\nEnter new gateway ip (GW):\nEnter new gateway ip (GW):\n"
         "Enter new subnet mask (SN):\nEnter new subnet mask (SN):\nEnter new subnet mask (SN):\n"
         "Enter new subnet mask (SN):\nEnter new subnet mask (SN):\nEnter new port:\nEnter new port:\n"
         "Enter new port:\nEnter new port:\nEnter new port:\nNew configuration:\n"
         "IP: 254.255.255.255\nGW: 010.000.000.001\nSN: 255.255.000.000\nPort: 00001\n"
         "Saved new network configuration (QMX 1).\n" + Menu + Done,
     0, {Discovery, request(macHex(1), "0004", "feffffff" "0a000001" "ffff0000" "0001"), request(macHex(1), "0006")}},
    {"a menu entry out of range", 1, {}, "6\n", discovered(1) + Menu + Quit, 1, {Discovery}},
    {"text at the controller prompt reaches the menu", 2, {}, "abc\n", discovered(2) + choose(2) + Menu + Quit, 1,
     {Discovery}},
    {"input ends at the menu", 1, {}, "", discovered(1) + Menu + Quit, 1, {Discovery}},
    {"input ends at a reset question", 1, {}, "3\n", discovered(1) + Menu + ResetQuestion + Menu + Quit, 1, {Discovery}},
    {"an interface number out of range", 1, {}, "", "Invalid interface number!\nQuit.\n", 1, {}, "0"},
    {"input ends at the address", 1, {}, "2\n",
     discovered(1) + Menu + "Set new network configuration (QMX 1)...\nEnter new ip address (IP):\nQuit.\n", 1,
     {Discovery}},
    {"input ends at the gateway", 1, {}, "2\n10.0.0.9\n",
     discovered(1) + Menu + "Set new network configuration (QMX 1)...\n" +
         "Enter new ip address (IP):\nEnter new gateway ip (GW):\nQuit.\n",
     1, {Discovery}},
    {"input ends at the mask, after a refused one", 1, {}, "2\n10.0.0.9\n10.0.0.1\n255.0.255.0",
     discovered(1) + Menu + "Set new network configuration (QMX 1)...\n" +
         "Enter new ip address (IP):\nEnter new gateway ip (GW):\nEnter new subnet mask (SN):\n"
         "Enter new subnet mask (SN):\nQuit.\n",
     1, {Discovery}},
    {"input ends at the port", 1, {}, "2\n10.0.0.9\n10.0.0.1\n255.255.255.0\n",
     discovered(1) + Menu + "Set new network configuration (QMX 1)...\n" + SetPrompts + "Quit.\n", 1, {Discovery}},
    };
}

class ConsoleDialogue : public testing::TestWithParam<Scenario> {};

TEST_P(ConsoleDialogue, ShowsEndsAndSends) {
    const Scenario& s = GetParam();
    ASSERT_EQ(vxtest::netns::checkTestNamespace(), "");
    auto carrier = farCarrier();
    for (int n = 1; n <= s.controllers; ++n)
        carrier->addController(vxsim::EthernetController(controllerMac(n), FirstConfig),
                               n == 1 ? s.faults : vxsim::EthernetFaults{});

    const Dialogue dialogue = runConsole(s.script, s.interfaceAnswer);
    EXPECT_EQ(dialogue.shown, s.shown);
    EXPECT_EQ(dialogue.errors, "");
    EXPECT_EQ(dialogue.exitCode, s.exitCode);

    // The last request may still be on its way when the console has ended.
    carrier->waitForFrames(s.frames.size(), 2s);
    std::vector<std::string> frames;
    for (const auto& frame : carrier->frames()) frames.push_back(hex(frame));
    EXPECT_EQ(frames, s.frames);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ConsoleDialogue, testing::ValuesIn(scenarios()), [](const auto& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

}  // namespace
