#include "sim/LinePace.h"

#include <algorithm>
#include <utility>

namespace vxsim {

namespace {
constexpr uint64_t kBitsPerByte = 10;
}  // namespace

std::chrono::nanoseconds LinePace::wireTime(uint64_t bytes, uint32_t baud) {
    if (baud == 0) return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(bytes * kBitsPerByte * 1'000'000'000ull / baud);
}

LinePace::Clock::time_point LinePace::pass(size_t length, uint32_t baud, Clock::time_point now) {
    bytes_ += length;
    if (baud == 0) return now;
    free_ = std::max(free_, now) + wireTime(length, baud);
    return free_;
}

uint32_t baudOf(const termios& settings) {
    static constexpr std::pair<speed_t, uint32_t> kRates[] = {
        {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
        {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
        {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
        {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000}, {B1152000, 1152000},
        {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
        {B3500000, 3500000}, {B4000000, 4000000},
    };
    const speed_t speed = ::cfgetospeed(&settings);
    for (const auto& [code, rate] : kRates)
        if (code == speed) return rate;
    return 0;
}

}  // namespace vxsim
