#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VeltraxIO.h"
#include "Port.h"

namespace vxfw {

// What the three port kinds share: a device of the I/O library, whose
// receive thread fills a fixed receive ring through the callbacks, and the
// receive that waits for the ring.
class StreamPortBase : public Port {
public:
    static constexpr size_t kRingCapacity = 1024;
    static constexpr uint32_t kDefaultTimeoutMs = 1000;

    ~StreamPortBase() override;

    void close() override;
    void setTimeout(uint32_t milliseconds) override;
    void send(uint32_t count, const uint8_t bytes[]) override;
    // Waits until the ring holds `count` bytes, an error is recorded, or the
    // receive time-out has passed since the call began.
    void receive(uint32_t count, uint8_t bytes[]) override;

    uint32_t timeout() const;
    // The I/O library's handle of the open device; 0 while closed.
    VX_IO_Handle ioHandle() const { return handle_; }

    // The callbacks given to VX_IO_Open; `user` is the port.
    static void portReceiveCallback(void* user, const void* data, size_t length);
    static void portErrorCallback(void* user, int code);

protected:
    explicit StreamPortBase(PortType type);

    // Opens `locator`, which must be of `interfaceKind`, with `options`.
    void openDevice(const std::string& locator, int interfaceKind, const std::string& options);
    // The I/O library's list of `interfaceKind` under `options`, one locator
    // per entry, sorted by byte value; a failed listing throws code 1 with
    // `failure` as its message.
    static std::vector<std::string> listDevices(int interfaceKind, const std::string& options,
                                                const char* failure);

private:
    void take(uint32_t count, uint8_t bytes[]);

    VX_IO_Handle handle_ = 0;
    uint32_t timeoutMs_ = kDefaultTimeoutMs;

    mutable std::mutex mutex_;  // the ring, its counters and error_
    std::condition_variable changed_;
    // 0, or the first of kReceiveError and kBufferFull since the last open.
    int32_t error_ = 0;
    std::unique_ptr<uint8_t[]> ring_;
    size_t count_ = 0;
    size_t writeIndex_ = 0;
    size_t readIndex_ = 0;
};

}  // namespace vxfw
