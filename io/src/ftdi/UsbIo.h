#pragma once

// Driver steps that the open of an adapter and the probe share.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

#include "VeltraxIO.h"
#include "ftdi/FtdiDriver.h"

namespace vxio {

// Closes a driver handle on every way out unless released.
class HandleGuard {
public:
    HandleGuard(const FtdiDriver& driver, FtdiHandle handle) : driver_(driver), handle_(handle) {}
    ~HandleGuard() {
        if (handle_) driver_.FT_Close(handle_);
    }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;
    FtdiHandle release() { return std::exchange(handle_, nullptr); }

private:
    const FtdiDriver& driver_;
    FtdiHandle handle_;
};

// The USB send loop: FT_Write again for what is left until all of `data` is
// written; it gives up only when the adapter has taken nothing for `idle`,
// so a slow line that keeps taking bytes is waited for. `handle` gives the
// handle before each write; null (a close under way) ends the send with 9.
// 0; 7 for the driver's I/O error; 9 for any other failure, a count above
// the one asked for, or `idle` without progress. *written (when given): the
// bytes the adapter took.
VX_IO_Result writeAll(const FtdiDriver& driver, const std::function<FtdiHandle()>& handle,
                      const uint8_t* data, size_t length, std::chrono::milliseconds idle,
                      size_t* written = nullptr);

// What a failed FT_Read or FT_GetStatus means: 7 for the driver's I/O error
// (a lost device), 8 otherwise.
VX_IO_Result readFailure(FtdiStatus status);

// Resets the bit mode, waits for the chip and enters synchronous FIFO mode
// with the large USB transfer size; the first failing status.
FtdiStatus enterSyncFifoMode(const FtdiDriver& driver, FtdiHandle handle);

}  // namespace vxio
