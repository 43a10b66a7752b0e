#pragma once

// `vxsim` (found beside the running program) as a child process, for the
// benchmarks: the CPU time the benchmark process uses is then the client
// side's alone. The child ends when its standard input closes.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace vxbench {

inline std::string programDirectory() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    std::string text(path);
    const size_t slash = text.rfind('/');
    return slash == std::string::npos ? "." : text.substr(0, slash);
}

class SimulatorProcess {
public:
    // `options` are vxsim's; it must print a loopback TCP locator.
    explicit SimulatorProcess(const std::vector<std::string>& options) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        if (::pipe2(out, O_CLOEXEC) != 0) {
            ::close(in[0]);
            ::close(in[1]);
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const std::string program = programDirectory() + "/vxsim";
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& option : options) argv.push_back(const_cast<char*>(option.c_str()));
        argv.push_back(nullptr);
        const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = in[1];
        if (spawned != 0) {
            ::close(out[0]);
            ::close(toChild_);
            throw std::runtime_error("cannot start " + program);
        }
        // The locator is the child's first line.
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') locator_ += c;
        ::close(out[0]);
        static const std::string kLoopback = "network:127.0.0.1:";
        if (locator_.rfind(kLoopback, 0) != 0) {
            stop();
            throw std::runtime_error("vxsim gave no loopback locator");
        }
        port_ = static_cast<uint16_t>(std::stoul(locator_.substr(kLoopback.size())));
    }
    ~SimulatorProcess() { stop(); }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    const std::string& locator() const { return locator_; }
    uint16_t port() const { return port_; }

private:
    void stop() {
        if (toChild_ < 0) return;
        ::close(toChild_);
        toChild_ = -1;
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }

    pid_t pid_ = -1;
    int toChild_ = -1;
    std::string locator_;
    uint16_t port_ = 0;
};

}  // namespace vxbench
