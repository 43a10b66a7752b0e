#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

extern char** environ;

namespace vxtest {

// A private X server (Xvfb) on a display it picks itself (-displayfd),
// listening on no TCP port, for tests that need a real window system.
// Started by the constructor, ended and reaped by the destructor.
class XvfbServer {
public:
    // `screen` as Xvfb takes it: width x height x depth. With
    // `endWithLastClient` the server ends by itself once its last client has
    // gone, so a test that keeps one connection open for its whole run leaves
    // no server behind even when it dies.
    explicit XvfbServer(std::chrono::milliseconds startDeadline = std::chrono::seconds(20),
                        const char* screen = "1024x768x24", bool endWithLastClient = false) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // dup2 clears close-on-exec, so the server inherits descriptor 3.
        posix_spawn_file_actions_adddup2(&actions, ends[1], kDisplayFd);
        const char* argv[] = {"Xvfb",   "-displayfd", "3",    "-nolisten",
                              "tcp",    "-screen",    "0",    screen,
                              endWithLastClient ? "-terminate" : nullptr, nullptr};
        const int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr,
                                         const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ends[1]);
        if (spawned != 0) {
            pid_ = -1;
            close(ends[0]);
            return;
        }
        display_ = readDisplay(ends[0], startDeadline);
        close(ends[0]);
        if (display_.empty()) stop();
    }
    ~XvfbServer() { stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return pid_ > 0; }
    // ":N", for DISPLAY.
    const std::string& display() const { return display_; }

private:
    static constexpr int kDisplayFd = 3;

    // The server writes its display number and a line feed once it accepts
    // clients; an end of file means it gave up.
    static std::string readDisplay(int fd, std::chrono::milliseconds deadline) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        std::string number;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            pollfd ready{fd, POLLIN, 0};
            if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
            char c;
            if (read(fd, &c, 1) != 1) return {};
            if (c == '\n') return number.empty() ? std::string() : ':' + number;
            number += c;
        }
    }

    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace vxtest
