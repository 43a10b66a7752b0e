#include "SystemConnection.h"

#include <algorithm>
#include <array>
#include <memory>
#include <thread>

#include "QMXAsciiProtocol.h"
#include "QMXBinaryProtocol.h"
#include "QMXBootloaderProtocol.h"
#include "UpdateException.h"

namespace vxfw {

namespace {

using namespace std::chrono_literals;
using namespace bootwire;

// A lone byte that the bootloader answers with its exchange answer and an
// application leaves alone.
constexpr uint8_t kWakeByte = 0x00;
// Two more bytes make the wake byte a packet that a binary application's
// interface module answers with kProbeAnswer.
constexpr std::array<uint8_t, 2> kProbeTail = {0x0F, 0x80};
constexpr std::array<uint8_t, 4> kProbeAnswer = {0x08, 0x00, 0xF1, 0x80};
// The interface module's first byte, of a packet from address 0008.
constexpr uint8_t kInterfaceByte = 0x08;
// The interface module's hello when the binary application starts.
constexpr std::array<uint8_t, 3> kHello = {0x08, 0x00, 0x20};
// A command line that no textual application knows, and how its reply
// (7 bytes) starts.
constexpr std::array<uint8_t, 4> kTextProbe = {':', 0x0F, 0x01, '\n'};
constexpr uint32_t kTextReplySize = 7;
constexpr std::string_view kTextReplyStart = ":E";
// Into the bootloader: the textual command with the access code, or the
// binary packet to every module with opcode 40.
constexpr std::string_view kEnterText = ":EB6204918357\n";
constexpr std::array<uint8_t, 3> kEnterPacket = {0x00, 0x00, 0x40};
// The bootloader's handshake, E0 to every module, and its start command.
constexpr auto kHandshake = commandFrame(kAllModules, kPing);
constexpr auto kStart = commandFrame(kAllModules, kStartApplication);
constexpr std::string_view kRateSwitch = ":CB115200,1\n";
constexpr uint32_t kWakeRate = 4800;
constexpr uint32_t kSwitchRate = 9600;
constexpr uint32_t kLineRate = ComPort::kDefaultBaudRate;

constexpr uint32_t kProbeTimeoutMs = 500;
constexpr uint32_t kStartTimeoutMs = 5000;
constexpr uint32_t kEnterTimeoutMs = 500;
constexpr uint32_t kBootloaderTimeoutMs = 1000;
constexpr auto kNetworkSettle = 500ms;
constexpr auto kRateSwitchWait = 800ms;
constexpr auto kEnterTextWait = 20ms;
constexpr auto kBootloaderStartWait = 2500ms;
constexpr auto kApplicationStartWait = 2500ms;

}  // namespace

void SystemConnection::openPort(const std::string& locator) {
    if (active_ != nullptr) throw UpdateException(kPortAlreadyOpen);
    int kind = VX_IO_IFACE_UNKNOWN;
    Port* port = nullptr;
    if (VX_IO_GetLocatorInterfaceType(&kind, locator.c_str()) == VX_IO_OK) {
        switch (kind) {
        case VX_IO_IFACE_USB:
            port = &usb_;
            break;
        case VX_IO_IFACE_NETWORK:
            port = &net_;
            break;
        case VX_IO_IFACE_SERIAL:
            com_.setBaudRate(ComPort::kDefaultBaudRate);
            port = &com_;
            break;
        default:
            break;
        }
    }
    if (port == nullptr)
        throw UpdateException(kInvalidParameter, "invalid device locator: " + locator);
    port->open(locator);
    active_ = port;
    locator_ = locator;
    state_ = DeviceState::Connected;
    kind_ = ProtocolKind::None;
}

void SystemConnection::open(const std::string& locator) {
    openPort(locator);
    detectState();
}

template <size_t N>
void SystemConnection::sendBytes(const std::array<uint8_t, N>& bytes) {
    send(static_cast<uint32_t>(N), bytes.data());
}

void SystemConnection::sendText(std::string_view text) {
    send(static_cast<uint32_t>(text.size()), reinterpret_cast<const uint8_t*>(text.data()));
}

bool SystemConnection::receiveInTime(uint32_t count, uint8_t bytes[]) {
    try {
        receive(count, bytes);
    } catch (const UpdateException& error) {
        if (error.code() != kTimeout) throw;
        return false;
    }
    return true;
}

void SystemConnection::detectState() {
    state_ = DeviceState::Connected;
    kind_ = ProtocolKind::None;
    const PortType type = getPortType();
    if (type == PortType::Network) pause(kNetworkSettle);
    setTimeout(kProbeTimeoutMs);
    // The wake byte is the handshake's opening byte too.
    sendBytes(std::array<uint8_t, 1>{kHandshake[0]});
    uint8_t first = 0;
    bool bootloader = false;
    if (receiveInTime(1, &first)) {
        bootloader = first == kExchangeAnswer;
        // A packet from the interface module (its greeting): the rest unread.
        std::array<uint8_t, 2> rest{};
        if (first == kInterfaceByte) receiveInTime(2, rest.data());
    }
    if (bootloader) {
        send(kCommandFrameSize - 1, kHandshake.data() + 1);
        checkHandshakeReply();
        state_ = DeviceState::Bootloader;
        return;
    }
    if (type == PortType::Com) {
        switchBaudRate();
        kind_ = ProtocolKind::Ascii;
    } else {
        sendBytes(kProbeTail);
        std::array<uint8_t, 4> answer{};
        if (receiveInTime(4, answer.data())) {
            if (answer != kProbeAnswer) throw UpdateException(kProtocolError);
            kind_ = ProtocolKind::Binary;
        } else {
            kind_ = ProtocolKind::Ascii;
        }
    }
    initCommunicationMode();
    state_ = DeviceState::Application;
}

void SystemConnection::checkHandshakeReply() {
    std::array<uint8_t, kCommandFrameSize> reply{};
    receiveBootFrame(*this, kCommandFrameSize, reply.data());
    if (reply[kAnswerByte] != kPingAnswer) throw UpdateException(kProtocolError);
}

void SystemConnection::switchBaudRate() {
    Port& port = activePort();
    port.setBaudRate(kWakeRate);
    sendBytes(std::array<uint8_t, 1>{kWakeByte});
    port.setBaudRate(kSwitchRate);
    sendText(kRateSwitch);
    pause(kRateSwitchWait);
    port.setBaudRate(kLineRate);
}

void SystemConnection::initCommunicationMode() {
    const PortType type = getPortType();
    const bool ascii =
        type == PortType::Com || (type == PortType::Network && kind_ == ProtocolKind::Ascii);
    std::unique_ptr<QMXApplicationProtocol> protocol;
    if (ascii)
        protocol = std::make_unique<QMXAsciiProtocol>();
    else
        protocol = std::make_unique<QMXBinaryProtocol>();
    protocol->setPort(this);
    protocol->setCommunicationMode();
}

bool SystemConnection::enterApplication() {
    if (active_ == nullptr) throw UpdateException(kPortNotOpen);
    if (state_ == DeviceState::Application)
        throw UpdateException(kWrongSystemState, "already in application state");
    const PortType type = getPortType();
    sendBootFrame(*this, kCommandFrameSize, kStart.data());
    setTimeout(kStartTimeoutMs);
    uint8_t first = 0;
    if (type != PortType::Network && !receiveInTime(1, &first)) return false;
    std::array<uint8_t, 3> hello{};
    switch (type) {
    case PortType::Usb:
        kind_ = ProtocolKind::Binary;
        if (first != kWakeByte) throw UpdateException(kProtocolError);
        if (!receiveInTime(3, hello.data()))
            throw UpdateException(kProtocolError, "received no hello");
        if (hello != kHello) throw UpdateException(kProtocolError, "received wrong hello");
        break;
    case PortType::Network:
        if (receiveInTime(3, hello.data())) {
            if (hello != kHello) throw UpdateException(kProtocolError, "received wrong hello");
            kind_ = ProtocolKind::Binary;
        } else {
            sendBytes(kTextProbe);
            std::array<uint8_t, kTextReplySize> reply{};
            if (!receiveInTime(kTextReplySize, reply.data()))
                throw UpdateException(kProtocolError, "received no reply");
            if (std::string_view(reinterpret_cast<const char*>(reply.data()),
                                 kTextReplyStart.size()) != kTextReplyStart)
                throw UpdateException(kProtocolError, "received wrong reply");
            kind_ = ProtocolKind::Ascii;
        }
        break;
    case PortType::Com:
        kind_ = ProtocolKind::Ascii;
        if (first != kWakeByte) throw UpdateException(kProtocolError);
        pause(kApplicationStartWait);
        switchBaudRate();
        break;
    }
    initCommunicationMode();
    state_ = DeviceState::Application;
    return true;
}

bool SystemConnection::enterBootloader() {
    if (active_ == nullptr) throw UpdateException(kPortNotOpen);
    if (state_ == DeviceState::Bootloader)
        throw UpdateException(kWrongSystemState, "already in bootloader state");
    setTimeout(kEnterTimeoutMs);
    const PortType type = getPortType();
    if (type == PortType::Com) {
        // The wake byte at the slow rate, the enter text at the controller's
        // command rate, then back to the line rate.
        com_.close();
        com_.setBaudRate(kWakeRate);
        com_.open(locator_);
        sendBytes(std::array<uint8_t, 1>{kWakeByte});
        com_.close();
        com_.setBaudRate(kSwitchRate);
        com_.open(locator_);
        sendText(kEnterText);
        pause(kEnterTextWait);
        com_.close();
        com_.setBaudRate(kLineRate);
        com_.open(locator_);
    } else if (kind_ == ProtocolKind::Ascii) {
        sendText(kEnterText);
    } else {
        sendBytes(kEnterPacket);
    }
    pause(kBootloaderStartWait);
    sendBootFrame(*this, kCommandFrameSize, kHandshake.data());
    checkHandshakeReply();
    setTimeout(kBootloaderTimeoutMs);
    state_ = DeviceState::Bootloader;
    return true;
}

void SystemConnection::close() {
    if (active_ == nullptr) return;
    active_->close();
    active_ = nullptr;
    locator_.clear();
    state_ = DeviceState::Closed;
    kind_ = ProtocolKind::None;
}

Port& SystemConnection::activePort() const {
    if (active_ == nullptr) throw UpdateException(kPortNotOpen);
    return *active_;
}

PortType SystemConnection::getPortType() const { return activePort().portType(); }

void SystemConnection::listLocators(std::vector<std::string>& out) {
    for (Port* port : {static_cast<Port*>(&usb_), static_cast<Port*>(&com_)}) {
        std::vector<std::string> found;
        try {
            port->enumerate(found);
        } catch (const UpdateException&) {
            continue;
        }
        out.insert(out.end(), found.begin(), found.end());
    }
}

void SystemConnection::send(uint32_t count, const uint8_t bytes[]) {
    activePort().send(count, bytes);
}

void SystemConnection::receive(uint32_t count, uint8_t bytes[]) {
    activePort().receive(count, bytes);
}

void SystemConnection::setTimeout(uint32_t milliseconds) { activePort().setTimeout(milliseconds); }

void SystemConnection::pause(std::chrono::milliseconds duration) const {
    // A wait the controller needs before it listens again; nothing to
    // synchronise with.
    std::this_thread::sleep_for(std::min(duration, pauseLimit_));
}

}  // namespace vxfw
