#include "core/SendLine.h"

namespace vxio {

VX_IO_Result SendLine::take() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (busy_) {
        ++waiting_;
        changed_.wait(lock, [&] { return !busy_ || closed_ || lost_; });
        --waiting_;
    }
    if (lost_) return lostResult_;
    if (closed_) return closedResult_;
    busy_ = true;
    return VX_IO_OK;
}

void SendLine::release(const LineWrite& done) {
    const bool giveUp = done.result != VX_IO_OK && (done.written > 0 || !done.closing);
    bool notify = false;
    bool lostNow = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = false;
        // Also on a closing device: its close then discards what is queued.
        if (giveUp && !lost_) {
            lost_ = true;
            lostResult_ = done.result;
            lostNow = !closed_;
        }
        notify = waiting_ > 0 || closed_ || lostNow;
    }
    if (notify) changed_.notify_all();
    if (lostNow && givenUp_) givenUp_();
}

void SendLine::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

void SendLine::waitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !busy_; });
}

bool SendLine::givenUp() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lost_;
}

bool SendLine::takeReport() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!lost_ || reported_) return false;
    reported_ = true;
    return true;
}

bool SendLine::reportDue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lost_ && !reported_;
}

}  // namespace vxio
