// vxsim as a person starts it for the terminal: the textual personality on a
// pseudo-terminal, published as COM7 for as long as it runs.
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

#include "ConsoleSession.h"
#include "platform/ComPortNames.h"
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

}  // namespace
