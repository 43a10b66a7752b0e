#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VeltraxCTL.h"
#include "log/LogSettings.h"
#include "platform/OwnedThread.h"

namespace vxctl {

class Device;

// Where a module type keeps its log messages and how it announces them.
struct LogSourceKeys {
    ModuleType moduleType;
    VX_CTL_PropertyKey buffer;         // read as one 64-bit word per read
    VX_CTL_PropertyKey configuration;  // a 32-bit array
    VX_CTL_EventType data;
    VX_CTL_EventType overflow;
};

inline constexpr LogSourceKeys kLogSourceKeys[] = {
    {ModuleType::Interface, 0x050F008C, 0x050F008D, 0x8800, 0x8801},
    {ModuleType::Drive, 0x0503008C, 0x0503008D, 0x4800, 0x4801},
    {ModuleType::HandControl, 0x050C008C, 0x050C008D, 0x8802, 0x8803},
};

const LogSourceKeys& logSourceKeys(ModuleType type);

// The log words of one message as a device line: "0x" and 16 hexadecimal
// digits each, separated by a blank.
std::string deviceMessageText(const std::vector<int64_t>& words);

// Reads a controller's log buffers while it exists and writes their
// messages as device lines into the library's log: the interface and
// hand-control modules' buffers and one per channel, each on a thread of
// its own that reads when the controller announces new messages.
//
// Keeps the library's log file open while it exists. Its threads reach the
// device only through property calls; nothing here holds its own mutex
// while calling the device.
class DeviceLogging {
public:
    // Configures the sources (patched by the settings' message sources) and
    // starts their threads. Throws when the channel count cannot be read.
    explicit DeviceLogging(Device& device);
    // Stops and joins the threads, and lets the log file close.
    ~DeviceLogging();
    DeviceLogging(const DeviceLogging&) = delete;
    DeviceLogging& operator=(const DeviceLogging&) = delete;

    // A data or overflow event of the device; called with the device mutex
    // held.
    void event(const VX_CTL_Event& event);
    // Lets every source read what the controller announced and stop; false
    // when some source was still reading after `limit`.
    bool flush(std::chrono::milliseconds limit);

private:
    struct Source {
        const LogSourceKeys* keys;
        uint8_t index;
        int pending = 1;
        bool busy = false;
        vxplatform::OwnedThread thread;
    };
    using Lock = std::unique_lock<std::mutex>;

    void configure(ModuleType type, uint8_t index, const std::vector<MessageSource>& patches);
    void run(Source& source);
    // Issues a read of the source's buffer, with `lock` released.
    void issueRead(Lock& lock, const Source& source, std::deque<VX_CTL_RequestID>& outstanding);
    void stop();

    Device& device_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool flush_ = false;
    std::vector<std::unique_ptr<Source>> sources_;
};

}  // namespace vxctl
