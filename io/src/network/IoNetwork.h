#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/IoDevice.h"
#include "core/SendLine.h"
#include "core/Transport.h"
#include "platform/OwnedThread.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"

namespace vxio {

// A networked controller's byte stream over one TCP connection.
class IoNetwork : public IoDevice {
public:
    explicit IoNetwork(const DeviceParams& params);
    ~IoNetwork() override;

    VX_IO_Result Open(std::shared_ptr<IoDevice> self) override;
    void Close(bool wait) override;
    VX_IO_Result Send(const void* data, size_t length) override;
    VX_IO_Result GetProperty(const char* key, char* buffer, size_t* length) override;

private:
    VX_IO_Result connectTo(const std::string& host, uint16_t port, std::chrono::milliseconds timeout);
    void receiveLoop(std::shared_ptr<IoDevice> self);
    // Whether the socket turns readable (or fails) before `until`, found
    // without sleeping.
    bool readableBefore(int fd, std::chrono::steady_clock::time_point until);
    // Spins while a sender is busy, from `readable` up to a bounded hold.
    void holdWhileSending(std::chrono::steady_clock::time_point readable);
    // Waits out the rest of a receive cycle unless Close wakes us first.
    void waitCycleEnd(std::chrono::steady_clock::time_point cycleEnd);
    bool stopping() const { return receiveThread_.stopRequested(); }

    const std::vector<std::string> locatorPieces_;  // after "network:"
    // Senders use the socket only in their turn; the receive thread releases
    // it once the line is closed and idle, so a send never writes to a
    // reused descriptor. A send that gives the line up wakes the receive
    // thread through the stop waker, which then finds no stop.
    SendLine line_{VX_IO_TIMEOUT, [this] {
        if (stopWaker_) stopWaker_->wake();
    }};
    vxplatform::UniqueFd socket_;
    // Held around each send and receive call on the non-blocking socket, and
    // never across a wait. The kernel serialises the two anyway, but puts the
    // loser to sleep for the winner to wake; here it spins for a moment.
    std::mutex callMutex_;
    // When the last send call returned, in steady-clock ticks.
    std::atomic<std::chrono::steady_clock::rep> lastSend_{0};
    // How long a send may wait for a connection that takes nothing.
    std::chrono::milliseconds sendTimeout_{5000};
    // The receive thread saw the peer close, a reset or an error; only that
    // thread uses it.
    bool lineLost_ = false;
    // Set by Close, and by a send that gave the line up; wakes the receive
    // wait and any sender waiting for room.
    std::unique_ptr<vxplatform::Waker> stopWaker_;
    // Its stop flag is kept apart from the send line so Close never waits
    // behind a blocked send. Last: stopped and joined before the rest goes.
    vxplatform::OwnedThread receiveThread_;
};

}  // namespace vxio
