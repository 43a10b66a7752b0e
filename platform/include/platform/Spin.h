#pragma once

#include <chrono>

#include "platform/CpuRelax.h"

namespace vxplatform {

// Busy-waits until `done()` holds or `until` passes; true when it held. The
// clock is read only every few checks, since it costs more than a check.
template <class Done>
bool spinUntil(std::chrono::steady_clock::time_point until, Done&& done) {
    for (;;) {
        for (int i = 0; i < 32; ++i) {
            if (done()) return true;
            cpuRelax();
        }
        if (std::chrono::steady_clock::now() >= until) return false;
    }
}

// Takes the lock's mutex, spinning for up to `spin` before sleeping on it: a
// holder that lets go within that time then costs no sleep and no wake-up.
template <class Lock>
void lockSpinning(Lock& lock, std::chrono::steady_clock::duration spin) {
    if (lock.try_lock()) return;
    if (spinUntil(std::chrono::steady_clock::now() + spin, [&] { return lock.try_lock(); })) return;
    lock.lock();
}

}  // namespace vxplatform
