#include "systems/gen2/CtlGroupWatch.h"

#include <algorithm>
#include <optional>

#include "common/CtlLibrary.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace qmx {

namespace {

// The device runs a group as soon as it is closed.
constexpr uint32_t kRunOnClose = 0;
// How long the controller API waits for an answer.
constexpr auto kReplyTime = std::chrono::milliseconds(2000);
// Each group left to a pending cancel keeps its handle taken, so the
// library runs out of handles before an open runs out of attempts.
constexpr int kOpenAttempts = 32;

}  // namespace

GroupTicket::~GroupTicket() { watch_.forget(*this); }

VX_STATUS GroupTicket::outcome(VX_STATUS status) const {
    return status == VX_CANCELED && expired() ? VX_TIMEOUT : status;
}

void GroupWatch::begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = false;
}

void GroupWatch::end() {
    Lock lock(mutex_);
    ended_ = true;
    std::vector<uint32_t> claimed;
    for (GroupTicket* ticket : armed_) {
        ticket->armed_ = false;
        if (claimCancel(*ticket)) claimed.push_back(ticket->handle_);
    }
    armed_.clear();
    // Also while the system closes: a caller waiting for a group holds the
    // device until its wait ends. Each on its own thread, so that one
    // waiting in the library holds up no other.
    for (const uint32_t handle : claimed) cancelOnThread(lock, handle);
    lock.unlock();
    thread_.stop();
    lock.lock();
    std::list<Canceller> cancellers;
    cancellers.swap(cancellers_);
    lock.unlock();
    for (Canceller& canceller : cancellers) canceller.thread.join();
}

VX_STATUS GroupWatch::open(std::shared_ptr<GroupTicket>* ticket) {
    std::shared_ptr<GroupTicket> opened;
    {
        // Opening only queues in the library: it may stay under the mutex,
        // which keeps it apart from the decisions to cancel.
        std::lock_guard<std::mutex> lock(mutex_);
        uint32_t handle = 0;
        for (int attempt = 1;; ++attempt) {
            const uint32_t result = system_.callDevice([&](const CtlFunctions& f, VX_CTL_DeviceHandle device) {
                return f.OpenCommandGroup(device, &handle, kRunOnClose);
            });
            if (result != 0) return mapCtlResult(result);
            // The library gives a handle out again only after its group ended.
            if (const auto owner = owners_.find(handle); owner != owners_.end()) owner->second->superseded_ = true;
            const auto due = cancelsDue_.find(handle);
            if (due == cancelsDue_.end()) break;
            // A cancel still to be made for the handle would reach this
            // group: it is left to that cancel, one more of them.
            ++due->second;
            if (attempt == kOpenAttempts) return mapCtlResult(ctlresult::kBufferLimitReached);
        }
        opened.reset(new GroupTicket(*this, handle));
        owners_[handle] = opened.get();
    }
    // A ticket it held before ends outside the mutex, which its end takes.
    *ticket = std::move(opened);
    return VX_OK;
}

void GroupWatch::arm(GroupTicket& ticket) {
    Lock lock(mutex_);
    if (ticket.armed_ || ticket.superseded_) return;
    if (ended_) {
        // Sent as the system closes: nothing waits for it any longer.
        if (claimCancel(ticket)) cancelClaimed(lock, ticket.handle_);
        return;
    }
    ticket.armed_ = true;
    ticket.due_ = Clock::now() + kReplyTime;
    armed_.push_back(&ticket);
    if (!thread_.started()) {
        thread_.start([this] { run(); },
                      [this] {
                          std::lock_guard<std::mutex> wake(mutex_);
                          changed_.notify_all();
                      });
    }
    changed_.notify_all();
}

void GroupWatch::cancel(GroupTicket& ticket) {
    Lock lock(mutex_);
    if (claimCancel(ticket)) cancelClaimed(lock, ticket.handle_);
}

bool GroupWatch::claimCancel(const GroupTicket& ticket) {
    if (ticket.superseded_) return false;
    return ++cancelsDue_[ticket.handle_] == 1;
}

void GroupWatch::cancelClaimed(Lock& lock, uint32_t handle) {
    for (;;) {
        lock.unlock();
        system_.releaseOnDevice(
            [&](const CtlFunctions& f, VX_CTL_DeviceHandle device) { return f.CancelCommandGroup(device, handle); });
        lock.lock();
        // An open that got the handle meanwhile left its group to one more cancel.
        const auto due = cancelsDue_.find(handle);
        if (--due->second > 0) continue;
        cancelsDue_.erase(due);
        return;
    }
}

void GroupWatch::cancelOnThread(Lock& lock, uint32_t handle) {
    Canceller& canceller = cancellers_.emplace_back();
    const bool started = canceller.thread.start([this, handle, &canceller] {
        Lock own(mutex_);
        cancelClaimed(own, handle);
        canceller.done = true;
        changed_.notify_all();
    });
    if (started) return;
    cancellers_.pop_back();
    cancelClaimed(lock, handle);
}

void GroupWatch::forget(GroupTicket& ticket) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ticket.armed_) armed_.erase(std::find(armed_.begin(), armed_.end(), &ticket));
    if (const auto owner = owners_.find(ticket.handle_); owner != owners_.end() && owner->second == &ticket)
        owners_.erase(owner);
}

void GroupWatch::run() {
    Lock lock(mutex_);
    while (!thread_.stopRequested()) {
        std::list<Canceller> finished;
        for (auto at = cancellers_.begin(); at != cancellers_.end();) {
            const auto next = std::next(at);
            if (at->done) finished.splice(finished.end(), cancellers_, at);
            at = next;
        }
        if (!finished.empty()) {
            lock.unlock();
            for (Canceller& canceller : finished) canceller.thread.join();
            finished.clear();
            lock.lock();
        }

        const Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> next;
        std::vector<uint32_t> claimed;
        for (auto at = armed_.begin(); at != armed_.end();) {
            GroupTicket& ticket = **at;
            if (ticket.due_ > now) {
                next = next ? std::min(*next, ticket.due_) : ticket.due_;
                ++at;
                continue;
            }
            at = armed_.erase(at);
            ticket.armed_ = false;
            ticket.expired_ = true;
            if (claimCancel(ticket)) claimed.push_back(ticket.handle_);
        }
        for (const uint32_t handle : claimed) cancelOnThread(lock, handle);
        if (!claimed.empty()) continue;  // a fallback cancel let the mutex go
        // Asked again under the mutex: a stop's wake-up that came while the
        // joins above let it go is not seen by the wait.
        if (thread_.stopRequested()) break;
        if (next) {
            changed_.wait_until(lock, *next);
        } else {
            changed_.wait(lock);
        }
    }
}

}  // namespace qmx
