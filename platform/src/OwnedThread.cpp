#include "platform/OwnedThread.h"

#include <new>
#include <system_error>
#include <utility>

namespace vxplatform {

OwnedThread::~OwnedThread() {
    if (isCurrent()) {
        // The thread released the last owner of the object that holds this
        // one. It cannot wait for its own end, and it touches nothing of this
        // object any more: it finishes on its own. The only place a thread is
        // let go.
        std::lock_guard<std::mutex> lock(mutex_);
        if (thread_.joinable()) thread_.detach();
        return;
    }
    stop();
}

bool OwnedThread::start(Body body, WakeUp wakeUp) {
    if (isCurrent()) return false;
    if (started()) stop();
    std::lock_guard<std::mutex> lock(mutex_);
    stop_.store(false, std::memory_order_release);
    wakeUp_ = std::move(wakeUp);
    try {
        thread_ = std::thread([this, body = std::move(body)] {
            id_.store(std::this_thread::get_id(), std::memory_order_release);
            body();
        });
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    id_.store(thread_.get_id(), std::memory_order_release);
    return true;
}

void OwnedThread::requestStop() {
    stop_.store(true, std::memory_order_release);
    WakeUp wakeUp;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wakeUp = wakeUp_;
    }
    // Outside the lock: the wake-up may take locks of its owner.
    if (wakeUp) wakeUp();
}

void OwnedThread::join() {
    if (isCurrent()) return;
    std::lock_guard<std::mutex> joining(joinMutex_);
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        thread = std::move(thread_);
    }
    if (!thread.joinable()) return;
    thread.join();
    id_.store(std::thread::id(), std::memory_order_release);
    // The wake-up served that thread; its owner may take down what it uses.
    std::lock_guard<std::mutex> lock(mutex_);
    wakeUp_ = nullptr;
}

bool OwnedThread::isCurrent() const {
    return id_.load(std::memory_order_acquire) == std::this_thread::get_id();
}

bool OwnedThread::started() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_.joinable();
}

}  // namespace vxplatform
