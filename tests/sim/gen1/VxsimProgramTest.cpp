#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "sim/Gen1Endpoint.h"
#include "support/ChildProcess.h"

using vxplatform::UniqueFd;

namespace {

// vxsim started with pipes on stdin and stdout.
class VxsimProcess : public vxtest::ChildProcess {
public:
    explicit VxsimProcess(std::vector<std::string> args) : ChildProcess(VXSIM_PROGRAM, std::move(args)) {}
};

// Reads exactly `count` bytes from a socket within the deadline.
vxsim::Bytes readBytes(int fd, size_t count) {
    vxsim::Bytes bytes;
    while (bytes.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1) break;
        uint8_t buffer[64];
        ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
        if (n <= 0) break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

UniqueFd connectTo(uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) fd.reset();
    return fd;
}

}  // namespace

TEST(VxsimProgram, ServesTheSystemOnLoopbackUntilStdinCloses) {
    VxsimProcess sim({"--channels", "2", "--hcm"});
    ASSERT_TRUE(sim.started());
    const std::string locator = sim.readLine(std::chrono::seconds(5));
    const std::string prefix = "network:127.0.0.1:";
    ASSERT_EQ(locator.rfind(prefix, 0), 0u) << locator;
    const uint16_t port = static_cast<uint16_t>(std::stoi(locator.substr(prefix.size())));

    UniqueFd socket = connectTo(port);
    ASSERT_TRUE(socket.valid());
    EXPECT_EQ(readBytes(socket.get(), 3), vxsim::gen1Hello());
    const vxsim::Bytes request = vxsim::gen1Packet(0x0008, 0x10);
    ASSERT_EQ(::send(socket.get(), request.data(), request.size(), MSG_NOSIGNAL), 3);
    EXPECT_EQ(readBytes(socket.get(), 4), vxsim::gen1Packet(0x0008, 0x11, {2}));
    socket.reset();

    sim.closeStdin();
    EXPECT_EQ(sim.waitExit(std::chrono::seconds(5)), 0);
}

TEST(VxsimProgram, EndsOnSigtermAndServesAGivenPort) {
    VxsimProcess probe({});
    ASSERT_TRUE(probe.started());
    const std::string first = probe.readLine(std::chrono::seconds(5));
    ASSERT_FALSE(first.empty());
    const std::string port = first.substr(first.rfind(':') + 1);
    probe.signal(SIGTERM);
    ASSERT_EQ(probe.waitExit(std::chrono::seconds(5)), 0);

    // The port just freed is taken again on request.
    VxsimProcess sim({"--port", port, "--channels", "1"});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.readLine(std::chrono::seconds(5)), "network:127.0.0.1:" + port);
    sim.signal(SIGINT);
    EXPECT_EQ(sim.waitExit(std::chrono::seconds(5)), 0);
}

TEST(VxsimProgram, RefusesUnknownOptions) {
    // The bootloader's system takes a pseudo-terminal (textual there
    // anyway) or a USB adapter, one at a time; pacing needs a line.
    const std::vector<std::vector<std::string>> refused = {
        {"--channels", "64"},  {"--text", "--bootloader"}, {"--text", "--pty", "--bootloader"},
        {"--text", "--com", "7"}, {"--pty", "--com", "0"}, {"--usb"},
        {"--bootloader", "--pty", "--usb"}, {"--bootloader", "--paced"}, {"--gen2", "--usb"}};
    for (const auto& args : refused) {
        VxsimProcess sim(args);
        ASSERT_TRUE(sim.started()) << args.front();
        EXPECT_EQ(sim.waitExit(std::chrono::seconds(5)), 2) << vxplatform::joinText(args, " ");
    }
}

TEST(VxsimProgram, SpeaksTheTextualProtocolOnTcpAndAPseudoTerminal) {
    VxsimProcess sim({"--text", "--channels", "2"});
    ASSERT_TRUE(sim.started());
    const std::string locator = sim.readLine(std::chrono::seconds(5));
    const std::string device = sim.readLine(std::chrono::seconds(5));
    const std::string prefix = "network:127.0.0.1:";
    ASSERT_EQ(locator.rfind(prefix, 0), 0u) << locator;
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;

    UniqueFd socket = connectTo(static_cast<uint16_t>(std::stoi(locator.substr(prefix.size()))));
    ASSERT_TRUE(socket.valid());
    ASSERT_EQ(::send(socket.get(), ":GNC\n", 5, MSG_NOSIGNAL), 5);
    const vxsim::Bytes expected = {':', 'N', '2', '\n'};
    EXPECT_EQ(readBytes(socket.get(), expected.size()), expected);
    socket.reset();

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitExit(std::chrono::seconds(5)), 0);
}
