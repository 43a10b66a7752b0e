#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ComPort.h"
#include "NetPort.h"
#include "USBPort.h"

namespace vxfw {

enum class DeviceState : uint32_t { Closed = 0, Connected = 1, Application = 2, Bootloader = 3 };
enum class ProtocolKind : uint32_t { None = 0, Binary = 1, Ascii = 2 };

// The update system's connection to a controller system: one port of each
// kind, the active one among them, the locator it was opened with, the
// state the system answered in and the protocol it speaks; the protocols'
// one byte channel to the active port. No lock: one thread at a time.
class SystemConnection {
public:
    SystemConnection() = default;
    SystemConnection(const SystemConnection&) = delete;
    SystemConnection& operator=(const SystemConnection&) = delete;

    // Opens the port that fits the locator's interface kind and makes it
    // active (state Connected, kind None), without asking the system
    // anything. A serial port opens at 115200 baud.
    void openPort(const std::string& locator);
    // openPort, then asks the system whether its bootloader or its
    // application answers, and which protocol the application speaks. A
    // failure after the port opened leaves it active in state Connected.
    void open(const std::string& locator);
    // Starts the application from the bootloader (or a state not yet known);
    // false when the system gives no sign of life after the start command.
    bool enterApplication();
    // Moves the system into its bootloader; true whenever it returns.
    bool enterBootloader();
    // Closes the active port, if any; never throws.
    void close();

    bool isOpen() const { return active_ != nullptr; }
    DeviceState getState() const { return state_; }
    ProtocolKind getProtocolKind() const { return kind_; }
    const std::string& locator() const { return locator_; }
    PortType getPortType() const;

    // Appends the USB locators, then the serial ones; a kind whose listing
    // fails adds nothing.
    void listLocators(std::vector<std::string>& out);

    void send(uint32_t count, const uint8_t bytes[]);
    void receive(uint32_t count, uint8_t bytes[]);
    // The active port's receive time-out.
    void setTimeout(uint32_t milliseconds);

    // The fixed waits the protocols and handshakes give the controller.
    // Never longer than the limit, which only tests lower.
    void pause(std::chrono::milliseconds duration) const;
    void setPauseLimit(std::chrono::milliseconds limit) { pauseLimit_ = limit; }

    USBPort& usbPort() { return usb_; }
    ComPort& comPort() { return com_; }
    NetPort& netPort() { return net_; }

private:
    Port& activePort() const;
    void detectState();
    // The bootloader's reply to its handshake, whose last byte must be E1.
    void checkHandshakeReply();
    // Moves a serial line to 115200 baud by way of the controller's rate command.
    void switchBaudRate();
    // Puts the application into the mode the update talks in, through the
    // protocol that fits the port and kind.
    void initCommunicationMode();
    template <size_t N>
    void sendBytes(const std::array<uint8_t, N>& bytes);
    void sendText(std::string_view text);
    // False when the bytes did not come in time; other failures pass on.
    bool receiveInTime(uint32_t count, uint8_t bytes[]);

    USBPort usb_;
    ComPort com_;
    NetPort net_;
    Port* active_ = nullptr;
    std::string locator_;
    DeviceState state_ = DeviceState::Closed;
    ProtocolKind kind_ = ProtocolKind::None;
    std::chrono::milliseconds pauseLimit_ = std::chrono::milliseconds::max();
};

}  // namespace vxfw
