#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "sim/Gen1Endpoint.h"

using vxplatform::UniqueFd;

extern char** environ;

namespace {

// vxsim started with pipes on stdin and stdout; killed if a test leaves it.
class VxsimProcess {
public:
    explicit VxsimProcess(std::vector<std::string> args) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        UniqueFd inRead(in[0]), outWrite(out[1]);
        stdin_.reset(in[1]);
        stdout_.reset(out[0]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, inRead.get(), STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
        args.insert(args.begin(), VXSIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, VXSIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~VxsimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool started() const { return pid_ > 0; }

    // The first line the program prints, or "" after the deadline.
    std::string readLine(std::chrono::milliseconds deadline) {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (line.empty() || line.back() != '\n') {
            if (!readable(end)) return "";
            char c;
            if (::read(stdout_.get(), &c, 1) != 1) return "";
            line += c;
        }
        line.pop_back();
        return line;
    }

    void closeStdin() { stdin_.reset(); }
    void signal(int number) { ::kill(pid_, number); }

    // Waits for the program to end (its stdout closes) and gives its exit
    // status, or -1 after the deadline.
    int waitExit(std::chrono::milliseconds deadline) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        char buffer[64];
        for (;;) {
            if (!readable(end)) return -1;
            if (::read(stdout_.get(), buffer, sizeof buffer) <= 0) break;
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    bool readable(std::chrono::steady_clock::time_point end) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fd{stdout_.get(), POLLIN, 0};
        return ::poll(&fd, 1, static_cast<int>(left.count())) == 1;
    }

    pid_t pid_ = -1;
    UniqueFd stdin_;
    UniqueFd stdout_;
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
