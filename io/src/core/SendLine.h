#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

#include "VeltraxIO.h"

namespace vxio {

// What one transport write of a send did.
struct LineWrite {
    VX_IO_Result result = VX_IO_OK;
    size_t written = 0;    // bytes the line took before the write ended
    bool closing = false;  // the device's close ended it
};

// The sends of one device. They take turns, so that each one's bytes stay
// together on the line. The wait for a turn has no time limit of its own:
// the send ahead is bounded by the progress of the line, so a queue behind
// healthy sends never fails.
//
// A send that fails gives the line up: the far end may hold the head of its
// frame, which no later frame may follow, and a line that took nothing for
// the time-out, or reported an error, is gone. Every later send is refused
// until the device is closed, and the receive thread reports the lost link
// once (error callback 7). Only a close that ends a send before it wrote anything
// leaves the line as it was, so what went out before still drains.
class SendLine {
public:
    // `closedResult` is what a send on a closed device gives. `givenUp` runs
    // on the sending thread once the line is given up; it wakes the receive
    // thread, which makes the report.
    SendLine(VX_IO_Result closedResult, std::function<void()> givenUp)
        : closedResult_(closedResult), givenUp_(std::move(givenUp)) {}
    SendLine(const SendLine&) = delete;
    SendLine& operator=(const SendLine&) = delete;

    // Writes `length` bytes in this send's turn with `write`, which takes
    // (bytes, length) and returns a LineWrite. 0 for a length of 0 at once;
    // 9 for null data; when the line was given up, the result of the send
    // that gave it up; when the device closes first, the closed result;
    // else the write's result.
    template <typename Write>
    VX_IO_Result send(const void* data, size_t length, Write&& write) {
        if (length == 0) return VX_IO_OK;
        if (data == nullptr) return VX_IO_WRITE_ERROR;
        if (const VX_IO_Result refused = take(); refused != VX_IO_OK) return refused;
        LineWrite done{};
        try {
            done = write(static_cast<const uint8_t*>(data), length);
        } catch (...) {
            done.result = VX_IO_WRITE_ERROR;
        }
        release(done);
        return done.result;
    }

    // Refuses every later send and ends every wait for a turn. The write
    // under way is ended by the transport's own wake-up.
    void close();
    // After close(): returns once no send writes any more.
    void waitIdle();
    bool givenUp() const;
    // True once after the line was given up: the receive thread's cue.
    bool takeReport();
    bool reportDue() const;

private:
    VX_IO_Result take();
    void release(const LineWrite& done);

    const VX_IO_Result closedResult_;
    const std::function<void()> givenUp_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool busy_ = false;
    int waiting_ = 0;
    bool closed_ = false;
    bool lost_ = false;
    VX_IO_Result lostResult_ = VX_IO_OK;
    bool reported_ = false;
};

}  // namespace vxio
