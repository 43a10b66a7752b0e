#include "ConsoleSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <regex>
#include <stdexcept>

#include "support/netns/TestNamespace.h"

extern char** environ;

namespace nettest {

using namespace std::chrono_literals;

ChildProcess::ChildProcess(std::vector<std::string> argv) {
    // A program that ends before it has read all of its input must not end the test.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    vxplatform::UniqueFd inRead(in[0]);
    in_.reset(in[1]);
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    vxplatform::UniqueFd outWrite(out[1]);
    outPipe_.reset(out[0]);
    if (::pipe2(err, O_CLOEXEC) != 0) return;
    vxplatform::UniqueFd errWrite(err[1]);
    errPipe_.reset(err[0]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inRead.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
    std::vector<char*> args;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::write(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(in_.get(), text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void ChildProcess::signal(int number) {
    if (pid_ > 0) ::kill(pid_, number);
}

bool ChildProcess::pump(Clock::time_point deadline) {
    pollfd fds[2] = {{outPipe_.get(), POLLIN, 0}, {errPipe_.get(), POLLIN, 0}};
    if (!outPipe_.valid() && !errPipe_.valid()) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || ::poll(fds, 2, static_cast<int>(left)) <= 0) return false;
    char buffer[4096];
    if (fds[0].revents) {
        const ssize_t n = ::read(outPipe_.get(), buffer, sizeof buffer);
        if (n <= 0) {
            outPipe_.reset();
        } else {
            out_.append(buffer, static_cast<size_t>(n));
            arrival_.resize(out_.size(), Clock::now());
        }
    }
    if (fds[1].revents) {
        const ssize_t n = ::read(errPipe_.get(), buffer, sizeof buffer);
        if (n <= 0) errPipe_.reset();
        else err_.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

bool ChildProcess::waitFor(const std::string& text, std::chrono::milliseconds deadline, size_t from) {
    const auto end = Clock::now() + deadline;
    while (out_.size() < from || out_.find(text, from) == std::string::npos) {
        if (!pump(end)) return false;
    }
    return true;
}

int ChildProcess::waitExit(std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    while (outPipe_.valid() || errPipe_.valid()) {
        if (!pump(end)) break;
    }
    if (outPipe_.valid() || errPipe_.valid() || pid_ <= 0) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Clock::time_point Dialogue::arrivalOf(const std::string& text, size_t after) const {
    const size_t at = shown.find(text, after);
    if (at == std::string::npos) throw std::runtime_error("not shown: " + text);
    return process->arrivalOf(shownFrom + at + text.size() - 1);
}

namespace {

// Any frame on the link makes a reply wait read on, as it must; IPv6 on the
// test link sends neighbour discovery and router solicitations now and then,
// which would stretch the waits under test at random.
void quietTestLink() {
    const auto disableIpv6 = [](const char* iface) {
        std::ofstream(std::string("/proc/sys/net/ipv6/conf/") + iface + "/disable_ipv6") << "1\n";
    };
    disableIpv6(vxtest::netns::NearIface0);
    vxtest::netns::inFarNamespace([&] { disableIpv6(FarIface0); });
}

}  // namespace

Dialogue runConsole(const std::string& script, const std::string& interfaceAnswer) {
    static const std::string Prompt = "\nEnter interface number where the QMX is connected to (1 - ";
    Dialogue dialogue;
    // Frames go out only where nothing real can receive them.
    if (!vxtest::netns::checkTestNamespace().empty()) throw std::runtime_error("outside the test namespace");
    quietTestLink();
    dialogue.process = std::make_unique<ChildProcess>(std::vector<std::string>{NETCONFIG_PROGRAM});
    ChildProcess& console = *dialogue.process;
    if (!console.started() || !console.waitFor(Prompt, 10s) || !console.waitFor("): ", 10s)) return dialogue;

    std::string answer = interfaceAnswer;
    std::smatch match;
    const std::string listing = console.out();
    if (answer.empty() && std::regex_search(listing, match, std::regex("\n\\[([0-9]+)\\] vxtest0\t")))
        answer = match[1];
    if (answer.empty()) return dialogue;
    dialogue.shownFrom = console.out().find("): ", console.out().find(Prompt)) + 3;
    console.write(answer + "\n" + script);
    console.closeInput();
    dialogue.exitCode = console.waitExit(60s);
    dialogue.shown = console.out().substr(dialogue.shownFrom);
    dialogue.errors = console.err();
    return dialogue;
}

}  // namespace nettest
