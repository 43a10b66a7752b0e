#include "sim/Motion.h"

namespace vxsim {

void Motion::start(int64_t from, int64_t to, SimClock::duration duration, SimClock::time_point now) {
    from_ = from;
    to_ = to;
    start_ = now;
    duration_ = duration;
    reported_ = false;
}

int64_t Motion::valueAt(SimClock::time_point now) const {
    if (arrived(now)) return to_;
    const double part = std::chrono::duration<double>(now - start_).count() /
                        std::chrono::duration<double>(duration_).count();
    return from_ + static_cast<int64_t>(static_cast<double>(to_ - from_) * part);
}

bool Motion::takeArrival(SimClock::time_point now) {
    if (reported_ || !arrived(now)) return false;
    reported_ = true;
    return true;
}

bool Motion::halt(SimClock::time_point now) {
    const bool moving = !arrived(now);
    *this = Motion(valueAt(now));
    return moving;
}

}  // namespace vxsim
