#pragma once

#include <pthread.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/IoDevice.h"
#include "core/SendLine.h"
#include "core/Transport.h"
#include "ftdi/FtdiDriver.h"
#include "ftdi/UsbDeviceList.h"
#include "platform/OwnedThread.h"

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
    // The receive thread's wake-up: marks the handle closing and wakes the wait.
    void signalStop();
    void wakeReceiver();
    void closeHandle();
    FtdiHandle usableHandle();

    // The locator after "usb:": its form ("sn", "id", ...) and value.
    const std::vector<std::string> locatorPieces_;
    const FtdiDriver* driver_ = nullptr;
    uint32_t txTimeout_ = 1000;
    uint32_t healthCheck_ = 250;

    // Keeps one send's bytes together on the wire; the driver's FT_Close is
    // what ends a send blocked in FT_Write. A send that gives the line up
    // wakes the receive thread, which reports it.
    SendLine line_{VX_IO_TIMEOUT, [this] { wakeReceiver(); }};
    // Held only briefly: never across a write, so a close is not held up by
    // a blocked send. Once closing_ is set no new driver call starts with the
    // handle; the receive thread takes the handle away and closes it.
    std::mutex handleMutex_;
    FtdiHandle handle_ = nullptr;
    bool closing_ = false;

    FtdiEventRecord event_{};
    bool eventReady_ = false;
    // Last: stopped and joined before the rest goes. Its stop flag is read
    // under event_.mutex, which the wake-up takes before it signals.
    vxplatform::OwnedThread thread_;
};

}  // namespace vxio
