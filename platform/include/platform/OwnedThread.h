#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace vxplatform {

// One thread owned by one object: started, asked to stop, joined. The body
// polls stopRequested(); the optional wake-up callable ends whatever the
// body blocks in (an eventfd, a port interrupt, a condition) and is called
// by requestStop() after the flag is set.
//
// The body may release the last owner of the object that holds this (a
// device whose receive thread keeps it alive); from then on it must touch
// nothing of that object, this included.
class OwnedThread {
public:
    using Body = std::function<void()>;
    using WakeUp = std::function<void()>;

    OwnedThread() = default;
    // stop() from any other thread; on the thread itself the thread is let go.
    ~OwnedThread();
    OwnedThread(const OwnedThread&) = delete;
    OwnedThread& operator=(const OwnedThread&) = delete;

    // Joins an earlier thread (asking it to stop first), clears the stop
    // flag and starts `body`. False when no thread could be made, or when
    // called from the earlier thread itself, which cannot be replaced.
    bool start(Body body, WakeUp wakeUp = {});
    // Sets the stop flag, then calls the wake-up, unless a join has already
    // collected the thread. Does not wait.
    void requestStop();
    bool stopRequested() const { return stop_.load(std::memory_order_acquire); }
    // Waits for the thread to end. Returns at once without a thread, and on
    // the thread itself, which cannot wait for its own end.
    void join();
    void stop() {
        requestStop();
        join();
    }
    // True on the thread this object runs now.
    bool isCurrent() const;
    // True from start() until a join() has collected the thread.
    bool started() const;

private:
    std::atomic<bool> stop_{false};
    // Published before the body runs, so the body itself sees isCurrent().
    std::atomic<std::thread::id> id_{};
    mutable std::mutex mutex_;  // thread_ and wakeUp_
    // Held while joining, so that a second joiner waits for the end too.
    std::mutex joinMutex_;
    std::thread thread_;
    WakeUp wakeUp_;
};

}  // namespace vxplatform
