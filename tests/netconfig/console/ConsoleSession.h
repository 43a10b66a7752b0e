#pragma once

// The console program and the simulator program as child processes of a
// namespace test, with scripted input and timed output.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace nettest {

using Clock = std::chrono::steady_clock;

// The far end of vxtest0, where the simulated controllers live.
inline constexpr const char* FarIface0 = "vxpeer0";

// A program started with pipes on its standard streams; killed when the
// test leaves it running.
class ChildProcess {
public:
    // argv[0] is the program's path.
    explicit ChildProcess(std::vector<std::string> argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    bool write(const std::string& text);
    void closeInput() { in_.reset(); }
    void signal(int number);

    // Reads until standard output holds `text` at or after `from`.
    bool waitFor(const std::string& text, std::chrono::milliseconds deadline, size_t from = 0);
    // Reads both outputs to their end and gives the exit code; -1 when the
    // program has not ended by the deadline or was killed.
    int waitExit(std::chrono::milliseconds deadline);

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }
    // When the byte of standard output at `offset` was read.
    Clock::time_point arrivalOf(size_t offset) const { return arrival_.at(offset); }

private:
    // Reads what the outputs have; false once the deadline has passed or
    // both have ended.
    bool pump(Clock::time_point deadline);

    pid_t pid_ = -1;
    vxplatform::UniqueFd in_;
    vxplatform::UniqueFd outPipe_;
    vxplatform::UniqueFd errPipe_;
    std::string out_;
    std::string err_;
    std::vector<Clock::time_point> arrival_;
};

// One run of the console against whatever answers on vxtest0.
struct Dialogue {
    int exitCode = -1;
    std::string shown;   // standard output after the answer to the interface prompt
    std::string errors;  // standard error
    std::unique_ptr<ChildProcess> process;
    size_t shownFrom = 0;

    // When the end of the first `text` at or after `after` in `shown` was
    // read; throws when there is none.
    Clock::time_point arrivalOf(const std::string& text, size_t after = 0) const;
};

// Silences IPv6 on the link of vxtest0, starts the console, answers its
// interface prompt with the number its own listing gives vxtest0 (or with
// `interfaceAnswer` when not empty), types `script`, ends the input and
// waits for the end.
Dialogue runConsole(const std::string& script, const std::string& interfaceAnswer = "");

}  // namespace nettest
