#pragma once

#include <chrono>
#include <cstdint>

namespace vxsim {

using SimClock = std::chrono::steady_clock;

// A value that travels in a straight line from one point to another over a
// set time on the steady clock, and whether its arrival was reported yet.
// Both controller models move their channels with it; it holds no lock.
class Motion {
public:
    Motion() = default;
    // At rest at `at`, nothing to report.
    explicit Motion(int64_t at) : from_(at), to_(at) {}

    // Sets off from `from` now; arrives at `to` after `duration`.
    void start(int64_t from, int64_t to, SimClock::duration duration, SimClock::time_point now = SimClock::now());

    int64_t valueAt(SimClock::time_point now) const;
    bool arrived(SimClock::time_point now) const { return now >= arrival(); }
    SimClock::time_point arrival() const { return start_ + duration_; }
    SimClock::time_point started() const { return start_; }
    int64_t target() const { return to_; }

    // Whether an arrival is still to be reported, and taking it: true once,
    // when the motion has arrived by `now`.
    bool unreported() const { return !reported_; }
    bool takeArrival(SimClock::time_point now);

    // Ends where it stands at `now`, nothing to report; whether it was still
    // on its way.
    bool halt(SimClock::time_point now);

private:
    int64_t from_ = 0;
    int64_t to_ = 0;
    SimClock::time_point start_{};
    SimClock::duration duration_{};
    bool reported_ = true;
};

}  // namespace vxsim
