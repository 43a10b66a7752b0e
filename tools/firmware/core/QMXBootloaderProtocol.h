#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "QMXProtocol.h"

namespace vxfw {

// The bootloader's wire: frames to a 16-bit module address, each opened by
// a one-byte exchange that its receiver answers with AA.
namespace bootwire {
inline constexpr uint8_t kExchangeAnswer = 0xAA;
enum Command : uint8_t {
    kStartApplication = 0xA0,
    kCheckFirmware = 0xC0,
    kPing = 0xE0,
    kListModules = 0xF0,
    kReadVersion = 0xF1,
    kReadModuleCode = 0xF2,
};
// Byte 4 of the reply to kPing.
inline constexpr uint8_t kPingAnswer = 0xE1;
// Byte 4 of a firmware frame's acknowledgement when the frame was taken.
inline constexpr uint8_t kFrameAccepted = 0x11;
// Every module at once: the listing and the connection's handshakes.
inline constexpr uint16_t kAllModules = 0x0000;
inline constexpr size_t kCommandFrameSize = 5;
// A five-byte reply's answer byte.
inline constexpr size_t kAnswerByte = 4;
// Addresses travel high byte first.
constexpr uint8_t highByte(uint16_t address) { return static_cast<uint8_t>(address >> 8); }
constexpr uint8_t lowByte(uint16_t address) { return static_cast<uint8_t>(address); }
// The command frame of `command` to `address`.
constexpr std::array<uint8_t, kCommandFrameSize> commandFrame(uint16_t address, uint8_t command) {
    return {highByte(address), lowByte(address), 0x00, 0x01, command};
}
}  // namespace bootwire

class SystemConnection;

// Sends a frame: byte 0, the receiver's AA (else code 5), the rest.
void sendBootFrame(SystemConnection& connection, uint32_t count, const uint8_t bytes[]);
// Receives a frame of `count` bytes: byte 0, our AA, the rest.
void receiveBootFrame(SystemConnection& connection, uint32_t count, uint8_t bytes[]);

// The commands of the modules' bootloader, for a connection in the
// Bootloader state. Each first refuses: no connection (code 2 "no port"),
// no open port (9), another state (15).
class QMXBootloaderProtocol : public QMXProtocol {
public:
    static constexpr uint32_t kReplyTimeoutMs = 100;
    static constexpr uint32_t kCheckTimeoutMs = 2000;
    static constexpr uint32_t kFirstAcknowledgeTimeoutMs = 4000;
    static constexpr uint32_t kFurtherAcknowledgeTimeoutMs = 100;
    // What readModuleCode gives when the module does not reply.
    static constexpr uint32_t kNoModuleCode = 0xFF;

    // The module words of every module that replies, in reply order.
    void listModules(std::vector<uint32_t>& out);
    uint32_t readModuleCode(uint16_t address);
    // Whether the module's firmware is intact.
    bool checkFirmware(uint16_t address);
    void readFirmwareVersion(uint16_t address, uint32_t& a, uint32_t& b, uint32_t& c);
    // Whether the interface module answers at the port's own address.
    bool pingInterface();
    // One frame of a firmware file (length field included) to a module or a
    // group; returns once the acknowledgements of all receivers are in.
    void sendFirmwareFrame(uint16_t address, uint32_t length, const uint8_t data[]);

private:
    SystemConnection& checkedConnection() const;
    // Checks, sets the time-out and sends the command frame.
    SystemConnection& sendCommand(uint16_t address, uint8_t command, uint32_t timeoutMs);
};

}  // namespace vxfw
