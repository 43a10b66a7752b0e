#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace vxsim {

// The time one direction of a serial line takes for bytes at its rate: ten
// bit times a byte (start bit, eight data bits, stop bit), each byte after
// the ones before it. Not thread-safe: its owner guards it.
class LinePace {
public:
    using Clock = std::chrono::steady_clock;

    // How long `bytes` take at `baud`; zero for a rate of 0 (no line).
    static std::chrono::nanoseconds wireTime(uint64_t bytes, uint32_t baud);

    // When `length` bytes, starting no earlier than `now`, have passed the
    // line after those before them. A rate of 0 passes them at once.
    Clock::time_point pass(size_t length, uint32_t baud, Clock::time_point now = Clock::now());
    // The bytes passed so far.
    uint64_t bytes() const { return bytes_; }
    void clearCount() { bytes_ = 0; }

private:
    Clock::time_point free_{};
    uint64_t bytes_ = 0;
};

// The rate of a terminal's output speed in baud; 0 for B0 or one unknown.
uint32_t baudOf(const termios& settings);

}  // namespace vxsim
