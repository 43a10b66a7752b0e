// vxsim as a person starts it: for the terminal, the textual personality on
// a pseudo-terminal, published as COM7 for as long as it runs; for the
// firmware uploader, the system with its bootloader on a pseudo-terminal and
// behind a USB adapter of the FTDI driver double, each paced at the host's
// line rate, updated to the firmware it wrote.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "ConsoleSession.h"
#include "FtdiDouble.h"
#include "SystemConnection.h"
#include "UpdateSystem.h"
#include "platform/ComPortNames.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// What arrives on `fd` up to a line feed, within `deadline`.
std::string readLine(int fd, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    std::string line;
    char c = 0;
    while (c != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
        if (::read(fd, &c, 1) != 1) break;
        line += c;
    }
    return line;
}

class Vxsim : public ::testing::Test {
protected:
    Vxsim() {
        char pattern[] = "/tmp/vxsimcomXXXXXX";
        home = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    }
    ~Vxsim() override {
        std::error_code ignored;
        fs::remove_all(home, ignored);
    }
    std::string home;
};

TEST_F(Vxsim, PublishesItsPseudoTerminalAsComWhileItRuns) {
    const std::string entry = vxplatform::comPortFolder() + "/COM7";
    nettest::ChildProcess simulator({VXSIM_PROGRAM, "--text", "--pty", "--com", "7"});
    ASSERT_TRUE(simulator.started());
    ASSERT_TRUE(simulator.waitFor("COM7\n", 10s)) << simulator.out() << simulator.err();
    const std::string out = simulator.out();
    ASSERT_EQ(out.rfind("serial:/dev/pts/", 0), 0u) << out;
    const std::string device = out.substr(std::string("serial:").size(), out.find('\n') - 7);
    EXPECT_EQ(out, "serial:" + device + "\nCOM7\n");
    EXPECT_EQ(fs::read_symlink(entry), device);

    // The terminal's way: open COM7, send a command, get the reply.
    vxplatform::UniqueFd port(::open(vxplatform::comPortPath("COM7").c_str(), O_RDWR | O_NOCTTY));
    ASSERT_TRUE(port.valid());
    termios raw{};
    ASSERT_EQ(::tcgetattr(port.get(), &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(port.get(), TCSANOW, &raw), 0);
    ASSERT_EQ(::write(port.get(), ":GIV\n", 5), 5);
    EXPECT_EQ(readLine(port.get(), 5s).rfind(":IV", 0), 0u);

    // A second simulator does not take the name.
    nettest::ChildProcess second({VXSIM_PROGRAM, "--text", "--pty", "--com", "7"});
    EXPECT_EQ(second.waitExit(10s), 1);
    EXPECT_NE(second.err().find("COM7 is taken"), std::string::npos) << second.err();
    EXPECT_EQ(fs::read_symlink(entry), device);

    simulator.signal(SIGTERM);
    EXPECT_EQ(simulator.waitExit(10s), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(entry)));
}

TEST_F(Vxsim, RefusesAComWithoutAPseudoTerminal) {
    nettest::ChildProcess simulator({VXSIM_PROGRAM, "--text", "--com", "7"});
    EXPECT_EQ(simulator.waitExit(10s), 2);
    EXPECT_FALSE(fs::exists(fs::symlink_status(vxplatform::comPortFolder() + "/COM7")));
}

constexpr int32_t kApplication = 2;
constexpr int32_t kBootloader = 3;

struct BootCarrier {
    const char* name;
    std::vector<std::string> options;
};

class VxsimBootloader : public Vxsim, public ::testing::WithParamInterface<BootCarrier> {
protected:
    ~VxsimBootloader() override {
        if (const VxFtdiDoubleApi* api = vxftdi_api()) api->reset();
    }

    // The installed firmware and update flag of every module.
    std::vector<std::pair<std::string, bool>> modules(vxfw::UpdateSystem& update) {
        int32_t count = 0;
        EXPECT_EQ(update.getControllerCount(count), "");
        std::vector<std::pair<std::string, bool>> out;
        for (int32_t i = 0; i < count; ++i) {
            std::string version;
            EXPECT_EQ(update.getCurrentFirmware(i, version), "");
            out.emplace_back(version, update.getUpdateFlag(i));
        }
        return out;
    }
};

TEST_P(VxsimBootloader, TakesAnUpdateOverItsCarrierAndRunsTheNewFirmware) {
    const std::string folder = home + "/firmware";
    std::vector<std::string> argv = {VXSIM_PROGRAM, "--bootloader", "--channels", "4", "--firmware-out", folder};
    argv.insert(argv.end(), GetParam().options.begin(), GetParam().options.end());
    nettest::ChildProcess simulator(argv);
    ASSERT_TRUE(simulator.started());
    ASSERT_TRUE(simulator.waitFor("update.xml\n", 10s)) << simulator.out() << simulator.err();
    const std::vector<std::string> lines = vxplatform::splitText(vxplatform::trimRight(simulator.out()), "\n");
    ASSERT_GE(lines.size(), 2u) << simulator.out();
    const std::string locator = lines.front();
    EXPECT_EQ(lines.back(), folder + "/update.xml");

    // The host's driver double learns the bridged adapter as a person's
    // VXFTDI_DEVICES setting would tell it.
    const std::string kDevices = "VXFTDI_DEVICES=";
    if (locator.rfind("usb:", 0) == 0) {
        ASSERT_EQ(lines.size(), 3u) << simulator.out();
        ASSERT_EQ(lines[1].rfind(kDevices, 0), 0u) << lines[1];
        const VxFtdiDoubleApi* api = vxftdi_api();
        ASSERT_NE(api, nullptr) << dlerror();
        api->reset();
        ASSERT_EQ(api->addFromText(lines[1].substr(kDevices.size()).c_str()), 1);
    } else {
        ASSERT_EQ(locator.rfind("serial:", 0), 0u) << locator;
    }

    vxfw::UpdateSystem update;
    update.setLocator(locator);
    ASSERT_EQ(update.connect(), "");
    EXPECT_EQ(update.getState(), kApplication);
    ASSERT_EQ(update.loadUpdateConfiguration(lines.back()), "");
    ASSERT_EQ(update.enterState(kBootloader), "");
    const auto before = modules(update);
    ASSERT_FALSE(before.empty());
    for (const auto& [version, flagged] : before) EXPECT_TRUE(flagged) << version << " not offered";
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(update.updateAll(), "");
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(update.enterState(kApplication), "");
    EXPECT_EQ(update.disconnect(), "");

    // A new connection finds the application running; its bootloader shows
    // every module on the new firmware, nothing left to offer.
    ASSERT_EQ(update.connect(), "");
    EXPECT_EQ(update.getState(), kApplication);
    ASSERT_EQ(update.enterState(kBootloader), "");
    const auto after = modules(update);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        std::vector<std::string> offered;
        ASSERT_EQ(update.getAvailableFirmware(static_cast<int32_t>(i), offered), "");
        ASSERT_EQ(offered.size(), 1u);
        EXPECT_EQ(after[i].first, offered.front()) << i;
        EXPECT_NE(after[i].first, before[i].first) << i;
        EXPECT_FALSE(after[i].second) << i;
    }
    ASSERT_EQ(update.enterState(kApplication), "");
    EXPECT_EQ(update.disconnect(), "");
    std::printf("update over %s: %lld ms\n", GetParam().name,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    simulator.signal(SIGTERM);
    EXPECT_EQ(simulator.waitExit(10s), 0) << simulator.err();
}

void PrintTo(const BootCarrier& carrier, std::ostream* out) { *out << carrier.name; }

INSTANTIATE_TEST_SUITE_P(Carriers, VxsimBootloader,
                         ::testing::Values(BootCarrier{"PacedPty", {"--pty", "--paced"}},
                                           BootCarrier{"PacedUsb", {"--usb", "--paced"}},
                                           BootCarrier{"Usb", {"--usb"}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
