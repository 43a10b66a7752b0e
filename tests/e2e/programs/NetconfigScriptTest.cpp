// The Ethernet configurator as its script runs it, in a private network with
// two simulated controllers: it finds both on vxtest0, gets, sets and
// restarts the first one's interface, and quits with "Done.". Skipped (77)
// where the script cannot make the network.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

#include "ConsoleSession.h"
#include "NetconfigPeers.h"

namespace {

using namespace std::chrono_literals;
using namespace nettest;

constexpr int kSkipped = 77;
bool skipped = false;

TEST(NetconfigScript, FindsTwoControllersGetsSetsRestartsAndQuits) {
    ChildProcess console({"/bin/bash", NETCONFIG_SCRIPT, NETCONFIG_BIN});
    ASSERT_TRUE(console.started());
    const std::string prompt = "\nEnter interface number where the QMX is connected to (1 - ";
    if (!console.waitFor(prompt, 30s) || !console.waitFor("): ", 10s)) {
        if (console.waitExit(30s) == kSkipped) {
            skipped = true;
            GTEST_SKIP() << console.err();
        }
        FAIL() << console.out() << console.err();
    }
    std::smatch match;
    const std::string listing = console.out();
    ASSERT_TRUE(std::regex_search(listing, match, std::regex("\n\\[([0-9]+)\\] vxtest0\t"))) << listing;
    // vxtest0, controller 1: get; set; restart (yes); quit.
    console.write(std::string(match[1]) + "\n" + "1\n" + "1\n" + "2\n10.0.0.9\n10.0.0.1\n255.255.255.0\n7000\n" +
                  "4\n1\n" + "5\n");
    console.closeInput();
    EXPECT_EQ(console.waitExit(60s), 0) << console.err();
    const std::string& out = console.out();
    EXPECT_NE(out.find(discovered(2)), std::string::npos) << out;
    // Nothing but the configurator's own output is shown.
    EXPECT_EQ(out.find("ready"), std::string::npos) << out;
    EXPECT_NE(out.find("Current configuration:\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Saved new network configuration (QMX 1).\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Restarted interface (QMX 1).\n"), std::string::npos) << out;
    EXPECT_NE(out.find(Done), std::string::npos) << out;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    return skipped ? kSkipped : status;
}
