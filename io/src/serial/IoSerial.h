#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/IoDevice.h"
#include "core/Transport.h"
#include "platform/OwnedThread.h"
#include "platform/TimedMutex.h"
#include "platform/SerialPort.h"
#include "platform/Waker.h"

namespace vxio {

// A device on a serial port, with its own receive thread.
class IoSerial : public IoDevice {
public:
    explicit IoSerial(const DeviceParams& params);
    ~IoSerial() override;

    VX_IO_Result Open(std::shared_ptr<IoDevice> self) override;
    void Close(bool wait) override;
    VX_IO_Result Send(const void* data, size_t length) override;
    VX_IO_Result GetProperty(const char* key, char* buffer, size_t* length) override;

private:
    void receiveLoop(std::shared_ptr<IoDevice> self);
    // How long a send of `length` bytes may take in all: the time-out, plus
    // what the bytes need at the line rate.
    std::chrono::milliseconds sendBudget(size_t length) const;

    const std::string path_;  // empty for a locator of the wrong form
    vxplatform::SerialPort port_;
    std::optional<vxplatform::Waker> stop_;
    uint32_t baudRate_ = 0;
    std::chrono::milliseconds txTimeout_{0};
    // Serialises sends, and the receive thread closes the port under it so
    // that no send writes to a descriptor number already given to another file.
    // Timed: the wait for an earlier send counts against a send's budget.
    vxplatform::TimedMutex sendMutex_;
    // Last: stopped and joined before the port and the waker go.
    vxplatform::OwnedThread thread_;
};

}  // namespace vxio
