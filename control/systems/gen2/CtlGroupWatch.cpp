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

}  // namespace

GroupTicket::~GroupTicket() { watch_.forget(*this); }

VX_STATUS GroupTicket::outcome(VX_STATUS status) const { return status != VX_OK && expired() ? VX_TIMEOUT : status; }

void GroupWatch::begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = false;
}

void GroupWatch::end() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        for (GroupTicket* ticket : armed_) {
            ticket->armed_ = false;
            cancelGroup(*ticket);
        }
        armed_.clear();
    }
    thread_.stop();
}

VX_STATUS GroupWatch::open(std::shared_ptr<GroupTicket>* ticket) {
    std::shared_ptr<GroupTicket> opened;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        uint32_t handle = 0;
        const uint32_t result = system_.callDevice([&](const CtlFunctions& f, VX_CTL_DeviceHandle device) {
            return f.OpenCommandGroup(device, &handle, kRunOnClose);
        });
        if (result != 0) return mapCtlResult(result);
        // The library gives a handle out again only after its group ended.
        if (const auto owner = owners_.find(handle); owner != owners_.end()) owner->second->superseded_ = true;
        opened.reset(new GroupTicket(*this, handle));
        owners_[handle] = opened.get();
    }
    // A ticket it held before ends outside the mutex, which its end takes.
    *ticket = std::move(opened);
    return VX_OK;
}

void GroupWatch::arm(GroupTicket& ticket) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ticket.armed_ || ticket.superseded_) return;
    if (ended_) {
        // Sent as the system closes: nothing waits for it any longer.
        cancelGroup(ticket);
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
    std::lock_guard<std::mutex> lock(mutex_);
    cancelGroup(ticket);
}

void GroupWatch::cancelGroup(const GroupTicket& ticket) {
    if (ticket.superseded_) return;
    const uint32_t handle = ticket.handle_;
    // Also while the system closes: a caller waiting for the group holds
    // the device until its wait ends.
    system_.releaseOnDevice(
        [&](const CtlFunctions& f, VX_CTL_DeviceHandle device) { return f.CancelCommandGroup(device, handle); });
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
        const Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> next;
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
            cancelGroup(ticket);
        }
        if (next) {
            changed_.wait_until(lock, *next);
        } else {
            changed_.wait(lock);
        }
    }
}

}  // namespace qmx
