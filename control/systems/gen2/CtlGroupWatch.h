#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "QMXControl.h"
#include "platform/OwnedThread.h"

namespace qmx {

class GroupWatch;
class SystemVeltraxCTL;

// One command group that an operation opened, held by the operation and
// its jobs until they have taken what they wait for.
class GroupTicket {
public:
    ~GroupTicket();
    GroupTicket(const GroupTicket&) = delete;
    GroupTicket& operator=(const GroupTicket&) = delete;

    uint32_t transmitHandle() const { return handle_; }
    // The group's answers did not all come within the reply time of its
    // sending, and the group was cancelled.
    bool expired() const { return expired_.load(); }
    // What a wait for one of the group's answers gives the caller, from
    // its mapped status: a wait the watch's cancel ended (20) is the
    // time-out once the group expired; an answer that came keeps its code.
    VX_STATUS outcome(VX_STATUS status) const;

private:
    friend class GroupWatch;
    GroupTicket(GroupWatch& watch, uint32_t handle) : watch_(watch), handle_(handle) {}

    GroupWatch& watch_;
    const uint32_t handle_;
    // Guarded by the watch's mutex.
    bool armed_ = false;
    // The library gave the handle out again: this group ended long ago and
    // the handle names another operation's group now.
    bool superseded_ = false;
    std::chrono::steady_clock::time_point due_{};
    std::atomic<bool> expired_{false};
};

// The command groups of one system that were sent and whose answers are
// still awaited. The groups run as soon as they are closed (trigger mode
// 0), so every answer is due within the reply time of the close: a group
// still awaited then is cancelled, which ends the waits for its requests
// in the library; its late trigger or replies complete nothing.
//
// A cancel of a sent group can wait for seconds in the library (its send
// waits while the link is made again), so no cancel is made under the
// mutex and each due group is cancelled on a thread of its own. A handle
// with a cancel still to make is never used for a new group: an open that
// gets it leaves that group to the pending cancel and takes another
// handle, so a cancel reaches only the group it was meant for, or a group
// nobody uses. The watch's thread starts with the first group sent; it and
// the cancel threads end at close.
class GroupWatch {
public:
    explicit GroupWatch(SystemVeltraxCTL& system) : system_(system) {}
    ~GroupWatch() { end(); }
    GroupWatch(const GroupWatch&) = delete;
    GroupWatch& operator=(const GroupWatch&) = delete;

    // The system opened: groups may be watched.
    void begin();
    // The system closes: every group still awaited is cancelled at once
    // (its waits end as cancelled) and the threads are joined.
    void end();

    // Opens a group that runs on its close; *ticket holds it.
    VX_STATUS open(std::shared_ptr<GroupTicket>* ticket);
    // The group was closed and sent now.
    void arm(GroupTicket& ticket);
    // Cancels a group that was not sent, or whose close failed, unless its
    // handle names another group by now.
    void cancel(GroupTicket& ticket);

private:
    friend class GroupTicket;
    using Clock = std::chrono::steady_clock;
    using Lock = std::unique_lock<std::mutex>;

    struct Canceller {
        vxplatform::OwnedThread thread;
        bool done = false;  // guarded by the mutex
    };

    void forget(GroupTicket& ticket);
    void run();
    // Counts one more cancel of the ticket's handle, unless the handle
    // names another group; true when the caller is to make the cancels.
    bool claimCancel(const GroupTicket& ticket);
    // Makes the cancels counted for `handle` until none is left; the
    // mutex is held on entry and on return, released around each call.
    void cancelClaimed(Lock& lock, uint32_t handle);
    // The same on a thread of its own; the mutex is held.
    void cancelOnThread(Lock& lock, uint32_t handle);

    SystemVeltraxCTL& system_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Each handle given out, with the ticket that holds it.
    std::map<uint32_t, GroupTicket*> owners_;
    std::vector<GroupTicket*> armed_;
    // Cancels still to make per handle; one thread makes them.
    std::map<uint32_t, int> cancelsDue_;
    std::list<Canceller> cancellers_;
    bool ended_ = true;
    vxplatform::OwnedThread thread_;
};

}  // namespace qmx
