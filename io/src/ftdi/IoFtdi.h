#pragma once

#include <pthread.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/IoDevice.h"
#include "core/Transport.h"
#include "ftdi/FtdiDriver.h"
#include "ftdi/UsbDeviceList.h"

namespace vxio {

// A USB adapter behind a handle: opened through the FTDI driver, read by its
// own receive thread, written on the caller's thread.
class IoFtdi : public IoDevice {
public:
    explicit IoFtdi(const DeviceParams& params);
    ~IoFtdi() override;

    VX_IO_Result Open(std::shared_ptr<IoDevice> self) override;
    void Close(bool wait) override;
    VX_IO_Result Send(const void* data, size_t length) override;
    VX_IO_Result GetProperty(const char* key, char* buffer, size_t* length) override;

private:
    enum class Wake { Event, TimedOut, Stop, Failed };

    VX_IO_Result openDevice(std::shared_ptr<IoDevice>& self);
    VX_IO_Result findDevice(const FtdiDriver& driver, const std::string& form,
                            const std::string& value, const std::set<std::string>& productNames,
                            FtdiDeviceInfoNode* found);
    VX_IO_Result configure(const FtdiDriver& driver, FtdiHandle handle,
                           const FtdiDeviceInfoNode& node, uint32_t baudOption,
                           std::optional<uint16_t> flowOption, uint32_t rxTimeout,
                           uint8_t latency);
    bool initEventRecord();

    void receiveLoop();
    // With the record's mutex held: waits for characters, the stop signal or
    // the health-check interval.
    Wake waitLocked();
    void signalStop();
    void closeHandle();

    // The locator after "usb:": its form ("sn", "id", ...) and value.
    const std::vector<std::string> locatorPieces_;
    const FtdiDriver* driver_ = nullptr;
    uint32_t txTimeout_ = 1000;
    uint32_t healthCheck_ = 250;

    // Guards the handle for sends, property reads and the final close, and
    // keeps one send's bytes together on the wire.
    std::mutex handleMutex_;
    FtdiHandle handle_ = nullptr;

    FtdiEventRecord event_{};
    bool eventReady_ = false;
    bool stop_ = false;  // under event_.mutex
    std::thread thread_;
};

}  // namespace vxio
