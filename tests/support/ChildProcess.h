#pragma once

// A program started with pipes on its standard input and output; killed and
// reaped if a test leaves it running.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

extern char** environ;

namespace vxtest {

class ChildProcess {
public:
    ChildProcess(const std::string& program, std::vector<std::string> args) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0) return;
        stdin_.reset(in[1]);
        vxplatform::UniqueFd inRead(in[0]);
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        stdout_.reset(out[0]);
        vxplatform::UniqueFd outWrite(out[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, inRead.get(), STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // The next line the program prints, or "" after the deadline.
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

    bool writeLine(const std::string& line) {
        const std::string text = line + "\n";
        return ::write(stdin_.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    void closeStdin() { stdin_.reset(); }
    void signal(int number) { ::kill(pid_, number); }

    // Waits for the program to end (its stdout closes) and gives its exit
    // status, or -1 after the deadline or when a signal ended it.
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
    vxplatform::UniqueFd stdin_;
    vxplatform::UniqueFd stdout_;
};

}  // namespace vxtest
