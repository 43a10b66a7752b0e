#include "QMXBootloaderProtocol.h"

#include <array>

#include "SystemConnection.h"
#include "UpdateException.h"

namespace vxfw {

using namespace bootwire;

namespace {

constexpr uint32_t kListReplySize = 7;
constexpr uint32_t kModuleCodeReplySize = 6;
constexpr uint32_t kVersionReplySize = 9;
constexpr uint32_t kShortReplySize = 5;

// The interface module's address on each port type (USB, COM, network).
constexpr uint16_t kPingAddress[] = {0x1000, 0x8000, 0xF100};

// Runs `receive`; false when it timed out, other failures pass on.
template <typename Receive>
bool arrived(Receive&& receive) {
    try {
        receive();
    } catch (const UpdateException& error) {
        if (error.code() != kTimeout) throw;
        return false;
    }
    return true;
}

}  // namespace

void sendBootFrame(SystemConnection& connection, uint32_t count, const uint8_t bytes[]) {
    connection.send(1, bytes);
    uint8_t answer = 0;
    connection.receive(1, &answer);
    if (answer != kExchangeAnswer) throw UpdateException(kProtocolError);
    connection.send(count - 1, bytes + 1);
}

void receiveBootFrame(SystemConnection& connection, uint32_t count, uint8_t bytes[]) {
    connection.receive(1, bytes);
    connection.send(1, &kExchangeAnswer);
    connection.receive(count - 1, bytes + 1);
}

SystemConnection& QMXBootloaderProtocol::checkedConnection() const {
    if (!hasConnection()) throw UpdateException(kInvalidParameter, "no port");
    SystemConnection& link = connection();
    if (!link.isOpen()) throw UpdateException(kPortNotOpen);
    if (link.getState() != DeviceState::Bootloader) throw UpdateException(kWrongSystemState);
    return link;
}

SystemConnection& QMXBootloaderProtocol::sendCommand(uint16_t address, uint8_t command,
                                                     uint32_t timeoutMs) {
    SystemConnection& link = checkedConnection();
    // Set first, so the time-out also bounds the opening exchange.
    link.setTimeout(timeoutMs);
    sendBootFrame(link, kCommandFrameSize, commandFrame(address, command).data());
    return link;
}

void QMXBootloaderProtocol::listModules(std::vector<uint32_t>& out) {
    SystemConnection& link = sendCommand(kAllModules, kListModules, kReplyTimeoutMs);
    out.clear();
    // Every module replies in turn; the first silence ends the list.
    std::array<uint8_t, kListReplySize> reply{};
    while (arrived([&] { receiveBootFrame(link, kListReplySize, reply.data()); }))
        out.push_back(uint32_t{reply[5]} << 8 | reply[6]);
}

uint32_t QMXBootloaderProtocol::readModuleCode(uint16_t address) {
    SystemConnection& link = sendCommand(address, kReadModuleCode, kReplyTimeoutMs);
    std::array<uint8_t, kModuleCodeReplySize> reply{};
    if (!arrived([&] { receiveBootFrame(link, kModuleCodeReplySize, reply.data()); }))
        return kNoModuleCode;
    return reply[5];
}

bool QMXBootloaderProtocol::checkFirmware(uint16_t address) {
    SystemConnection& link = sendCommand(address, kCheckFirmware, kCheckTimeoutMs);
    std::array<uint8_t, kShortReplySize> reply{};
    receiveBootFrame(link, kShortReplySize, reply.data());
    return reply[kAnswerByte] != 0;
}

void QMXBootloaderProtocol::readFirmwareVersion(uint16_t address, uint32_t& a, uint32_t& b,
                                                uint32_t& c) {
    SystemConnection& link = sendCommand(address, kReadVersion, kReplyTimeoutMs);
    std::array<uint8_t, kVersionReplySize> reply{};
    receiveBootFrame(link, kVersionReplySize, reply.data());
    a = reply[5];
    b = reply[6];
    c = uint32_t{reply[7]} << 8 | reply[8];
}

bool QMXBootloaderProtocol::pingInterface() {
    const PortType type = checkedConnection().getPortType();
    SystemConnection& link =
        sendCommand(kPingAddress[static_cast<size_t>(type)], kPing, kReplyTimeoutMs);
    std::array<uint8_t, kShortReplySize> reply{};
    if (!arrived([&] { receiveBootFrame(link, kShortReplySize, reply.data()); })) return false;
    if (reply[kAnswerByte] != kPingAnswer) throw UpdateException(kProtocolError);
    return true;
}

void QMXBootloaderProtocol::sendFirmwareFrame(uint16_t address, uint32_t length,
                                              const uint8_t data[]) {
    SystemConnection& link = checkedConnection();
    std::vector<uint8_t> frame{highByte(address), lowByte(address)};
    frame.insert(frame.end(), data, data + length);
    link.setTimeout(kFirstAcknowledgeTimeoutMs);
    sendBootFrame(link, static_cast<uint32_t>(frame.size()), frame.data());
    // Every receiving module acknowledges; a group's acknowledgements come
    // one after the other, and a short silence says they are all in.
    size_t acknowledgements = 0;
    std::array<uint8_t, kShortReplySize> reply{};
    while (arrived([&] { receiveBootFrame(link, kShortReplySize, reply.data()); })) {
        ++acknowledgements;
        if (reply[kAnswerByte] != kFrameAccepted) throw UpdateException(kCrcError);
        link.setTimeout(kFurtherAcknowledgeTimeoutMs);
    }
    if (acknowledgements == 0) throw UpdateException(kTimeout);
}

}  // namespace vxfw
