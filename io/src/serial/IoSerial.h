#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/IoDevice.h"
#include "core/SendLine.h"
#include "core/Transport.h"
#include "platform/OwnedThread.h"
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

    const std::string path_;  // empty for a locator of the wrong form
    vxplatform::SerialPort port_;
    std::optional<vxplatform::Waker> stop_;
    // Set when a send gave the line up: wakes the receive thread to report it.
    std::optional<vxplatform::Waker> lineLost_;
    // How long a send may wait for a line that takes nothing, on top of the
    // line time of what it holds.
    std::chrono::milliseconds txTimeout_{0};
    // The receive thread found the line gone; only that thread uses it.
    bool lineFailed_ = false;
    SendLine line_{VX_IO_WRITE_ERROR, [this] {
        if (lineLost_) lineLost_->wake();
    }};
    // Last: stopped and joined before the port and the waker go.
    vxplatform::OwnedThread thread_;
};

}  // namespace vxio
