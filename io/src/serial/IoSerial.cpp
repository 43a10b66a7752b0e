#include "serial/IoSerial.h"

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <system_error>

#include "core/OptionKeys.h"
#include "platform/SerialPortPath.h"

namespace vxio {

namespace {

constexpr size_t kChunk = 1024;

// A line that is gone stays readable for every wait; between two reports of
// it the thread rests this long (or until it is stopped).
constexpr std::chrono::milliseconds kErrorPacing(250);

// Empty for a name that no port has, which the open refuses as a bad locator.
std::string portPathOf(const std::string& name) {
    if (name.empty() || name.find(':') != std::string::npos) return {};
    return vxplatform::serialDevicePath(name);
}

}  // namespace

IoSerial::IoSerial(const DeviceParams& params)
    : IoDevice(params.locator, params.options, params.userContext, params.receive, params.error),
      path_(portPathOf(params.parsed.rest)) {}

IoSerial::~IoSerial() = default;

VX_IO_Result IoSerial::Open(std::shared_ptr<IoDevice> self) {
    if (path_.empty()) return VX_IO_INVALID_LOCATOR;
    uint32_t baudRate = 0;
    if (readRawUnsignedOption(options(), key::kBaudrate, &baudRate) != VX_IO_OK) {
        return VX_IO_INVALID_OPTION;
    }
    uint32_t xonXoff = 0;
    readRawUnsignedOption(options(), key::kXonXoff, &xonXoff);
    // A line that takes nothing (XOFF for ever, a far end that stopped
    // reading) must not hold a send, and every close that waits for it.
    uint32_t txTimeout = 0;
    readRawUnsignedOption(options(), key::kTxTimeout, &txTimeout);
    txTimeout_ = std::chrono::milliseconds(txTimeout);

    try {
        stop_.emplace();
        lineLost_.emplace();
    } catch (const std::system_error&) {
        return VX_IO_OPEN_FAILED;
    }
    vxplatform::SerialSettings settings;
    settings.baudRate = baudRate;
    settings.xonXoff = xonXoff != 0;
    if (port_.open(path_, settings) != 0) return VX_IO_OPEN_FAILED;
    const bool started = thread_.start(
        [this, owner = std::move(self)]() mutable { receiveLoop(std::move(owner)); },
        [this] {
            line_.close();
            stop_->wake();
            // Wakes the receive thread's read and a send blocked on a full line.
            port_.interrupt();
        });
    if (!started) {
        port_.close();
        return VX_IO_OPEN_FAILED;
    }
    return VX_IO_OK;
}

void IoSerial::Close(bool wait) {
    // Without wait the join is left to the destructor: the receive thread
    // holds an owner until it ends.
    thread_.requestStop();
    if (wait) thread_.join();
}

VX_IO_Result IoSerial::Send(const void* data, size_t length) {
    return line_.send(data, length, [this](const uint8_t* bytes, size_t size) {
        const auto result = port_.write(bytes, size, txTimeout_);
        return LineWrite{result.status == vxplatform::SerialStatus::Ok ? VX_IO_OK : VX_IO_WRITE_ERROR,
                         result.count, result.status == vxplatform::SerialStatus::Interrupted};
    });
}

VX_IO_Result IoSerial::GetProperty(const char*, char* buffer, size_t* length) {
    if (length == nullptr) return VX_IO_BUFFER_TOO_SMALL;
    if (*length == 0 || buffer == nullptr) {
        *length = 0;
        return VX_IO_BUFFER_TOO_SMALL;
    }
    buffer[0] = '\0';
    *length = 0;
    return VX_IO_OK;
}

void IoSerial::receiveLoop(std::shared_ptr<IoDevice> self) {
    uint8_t buffer[kChunk];
    for (;;) {
        const auto result = port_.read(buffer, sizeof buffer, std::chrono::milliseconds(-1), &*lineLost_);
        if (result.status == vxplatform::SerialStatus::Closed) break;
        if (result.status == vxplatform::SerialStatus::Interrupted) {
            // Only the stop interrupts the port; otherwise a send gave the line up.
            if (thread_.stopRequested()) break;
            lineLost_->clear();
            if (line_.takeReport()) reportError(VX_IO_TIMEOUT);
            continue;
        }
        if (result.status == vxplatform::SerialStatus::Ok) {
            deliver(buffer, result.count);
            if (port_.takeLineErrors() != 0) reportError(VX_IO_READ_ERROR);
            continue;
        }
        // The line is gone (hung up, or failing): nothing queued on it goes out.
        lineFailed_ = true;
        reportError(VX_IO_READ_ERROR);
        if (vxplatform::waitFd(stop_->fd(), POLLIN, nullptr, kErrorPacing) !=
            vxplatform::WaitResult::TimedOut) {
            break;
        }
    }
    line_.close();
    line_.waitIdle();
    // A line given up may hold the head of a frame, and a failed one takes
    // nothing: what they queued is discarded. Otherwise it drains while the
    // line takes it at its rate.
    if (line_.givenUp() || lineFailed_) {
        port_.closeDiscarding();
    } else {
        port_.close(txTimeout_);
    }
    // May destroy this object; nothing of it is touched afterwards.
    self.reset();
}

}  // namespace vxio
