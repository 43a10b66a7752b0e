#include "QMXConnection.h"

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <charconv>
#include <chrono>

#include "QMXControl.h"
#include "TextProtocol.h"
#include "platform/Ipv4.h"
#include "platform/SerialPort.h"
#include "platform/SerialPortPath.h"
#include "platform/SerialPortSource.h"

namespace {

using Clock = std::chrono::steady_clock;
using qmxtext::Reply;
using qmxtext::textCommand;
using std::chrono::milliseconds;

constexpr int kReplyTimeoutMs = 1000;
constexpr int kBaudRateReplyTimeoutMs = 500;
// A reply over TCP is waited for this long whatever the caller asks.
constexpr int kSocketReplyTimeoutMs = 1000;
constexpr int kConnectTimeoutMs = 1000;
// How long a COM-port write waits for a line that takes nothing, on top of
// the line time of what the line holds, before the line counts as lost.
constexpr milliseconds kComPortWriteIdle{5000};
// Requests whose replies are still owed, at most; older ones are forgotten.
constexpr size_t kMaxUnanswered = 8;
constexpr uint32_t kFindBufferSize = 4096;

// The serial switch: a wake-up byte at the controller's lowest rate, the
// rate command at its default rate, then the pause in which it switches.
constexpr uint32_t kWakeUpBaudRate = 4800;
constexpr uint32_t kDefaultBaudRate = 9600;
constexpr uint32_t kWorkingBaudRate = 115200;
constexpr unsigned long kBaudRateSwitchPauseMs = 800;

constexpr uint32_t kMinBaudRate = 9600;
constexpr uint32_t kMaxBaudRate = 115200;

// Codes of the speed level table command.
constexpr int64_t kTableReadSize = 32;
constexpr int64_t kTableWriteSize = 64;
constexpr int64_t kTableReadEntry = 96;
constexpr int64_t kTableWriteEntry = 128;
constexpr int64_t kTableStore = 160;
constexpr uint32_t kTableEntries = 32;

// Sub-commands of the index map command.
constexpr int64_t kMapRead = 0;
constexpr int64_t kMapWrite = 16;
constexpr int64_t kMapFinalize = 17;

// Firmware kinds; any other has no command.
constexpr uint32_t kInterfaceFirmware = 1;
constexpr uint32_t kChannelFirmware = 2;
constexpr uint32_t kChannelSecondFirmware = 3;
constexpr uint32_t kHandControlFirmware = 5;
constexpr uint32_t kEndEffectorFirmware = 9;

// Asks every feature permission count first.
constexpr int64_t kPermissionCount = 255;

constexpr int kLocatorNamePart = 1;
constexpr int kLocatorPortPart = 2;

// The network port of a "network:" locator: a decimal number 1 to 65535.
std::optional<uint16_t> parsePort(const QString& text) {
    const std::string digits = text.toStdString();
    int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    if (value < 1 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

uint32_t epk(uint32_t component, uint32_t subComponent, uint32_t property) {
    return VX_EPK(static_cast<unsigned char>(component), static_cast<unsigned char>(subComponent),
                  static_cast<unsigned short>(property));
}

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

QMXConnection::QMXConnection(QObject* parent)
    : QObject(parent),
      port_(std::make_unique<vxplatform::SerialPort>()),
      socket_(new QTcpSocket(this)) {}

QMXConnection::~QMXConnection() = default;

// Opening and closing

uint32_t QMXConnection::openSystem(const QString& locator) {
    if (mode_ != Closed) return VX_INITIALIZATION_ERROR;
    systemIndex_ = 0;
    mode_ = Closed;
    lineLost_ = 0;
    writeGivenUp_ = false;
    unanswered_.clear();
    if (locator.startsWith(QLatin1String("network:"), Qt::CaseInsensitive))
        return openNetwork(locator);
    if (locator.startsWith(QLatin1String("serial:"), Qt::CaseInsensitive))
        return openSerial(locator);
    return openThroughLibrary(locator);
}

uint32_t QMXConnection::openThroughLibrary(const QString& locator) {
    const QByteArray text = locator.toLatin1();
    const uint32_t status = VX_OpenSystem(&systemIndex_, text.constData(), "");
    if (status == VX_OK) mode_ = Library;
    return status;
}

uint32_t QMXConnection::openNetwork(const QString& locator) {
    // The library's status is not the answer: the direct way is tried next.
    if (openThroughLibrary(locator) == VX_OK) return VX_OK;
    if (const uint32_t status = openSocket(locator)) return status;
    mode_ = Network;
    const uint32_t status = handshake();
    if (status != VX_OK) closeSocket();
    return status;
}

uint32_t QMXConnection::openSerial(const QString& locator) {
    const QStringList parts = locator.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (parts.size() < 2) return VX_INVALID_SYSTEM_LOCATOR;
    const QString portName = parts[kLocatorNamePart];

    mode_ = Serial;
    if (openComPort(portName, kWakeUpBaudRate) != VX_OK) {
        mode_ = Closed;
        return VX_INITIALIZATION_ERROR;
    }
    uint32_t status = writeComPort(QString(QChar(u'\0')));
    closeComPort();
    if (status != VX_OK) return status;

    mode_ = Serial;
    if (openComPort(portName, kDefaultBaudRate) != VX_OK) {
        mode_ = Closed;
        return VX_INITIALIZATION_ERROR;
    }
    // The controller takes the new rate without answering.
    status = sendCommand(QString::fromStdString(textCommand("CB", {kWorkingBaudRate, 1})));
    closeComPort();
    if (status != VX_OK) return status;
    // Not a wait for an event: the controller needs this long to switch.
    QThread::msleep(kBaudRateSwitchPauseMs);

    mode_ = Serial;
    if (openComPort(portName, kWorkingBaudRate) != VX_OK) {
        mode_ = Closed;
        return VX_INITIALIZATION_ERROR;
    }
    status = handshake();
    if (status != VX_OK) closeComPort();
    return status;
}

uint32_t QMXConnection::handshake() {
    Reply reply;
    uint32_t status = exchange("GIV", &reply, kReplyTimeoutMs);
    if (status != VX_OK) return status;
    if (reply.name != "IV") return VX_PROTOCOL_ERROR;
    constexpr int64_t kSynchronousMode = 0;
    status = exchange(textCommand("SCM", {kSynchronousMode}), &reply, kReplyTimeoutMs);
    if (status != VX_OK) return status;
    if (reply.name != "E" || reply.count != 2 || reply.values[0] != qmxtext::kWholeSystem)
        return VX_PROTOCOL_ERROR;
    return reply.values[1];
}

uint32_t QMXConnection::closeSystem() {
    switch (mode_) {
    case Closed:
        return VX_NOT_INITIALIZED;
    case Serial:
        return closeComPort();
    case Network:
        return closeSocket();
    case Library: {
        const uint32_t status = VX_CloseSystem(systemIndex_);
        if (status == VX_OK) mode_ = Closed;
        return status;
    }
    }
    return VX_OK;
}

// Listing

QStringList QMXConnection::listComPorts() {
    QStringList names;
    for (const std::string& port : vxplatform::availableSerialPorts())
        names << QString::fromStdString(port);
    return names;
}

QStringList QMXConnection::findSystems() {
    QStringList systems;
    QByteArray buffer(kFindBufferSize, '\0');
    unsigned int size = kFindBufferSize;
    if (VX_FindSystems("interface usb", buffer.data(), &size) == VX_OK) {
        systems =
            QString::fromLatin1(buffer.constData()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    for (const QString& port : listComPorts()) systems << QStringLiteral("serial:%1").arg(port);
    return systems;
}

// Protocol

uint32_t QMXConnection::sendCommand(const QString& command) {
    dropPendingInput();
    const QString line = QString::fromStdString(qmxtext::frameCommand(command.toStdString()));
    return mode_ == Serial ? writeComPort(line) : writeSocket(line);
}

void QMXConnection::dropPendingInput() {
    if (mode_ == Serial) {
        char buffer[256];
        while (port_->read(buffer, sizeof buffer, milliseconds(0)).status ==
               vxplatform::SerialStatus::Ok) {
        }
        return;
    }
    while (socket_->bytesAvailable() > 0 || socket_->waitForReadyRead(0)) socket_->readAll();
}

Clock::time_point QMXConnection::replyDeadline(int timeoutMs) const {
    return Clock::now() + milliseconds(mode_ == Serial ? timeoutMs : kSocketReplyTimeoutMs);
}

uint32_t QMXConnection::readReply(Reply* reply, int timeoutMs) {
    return readReplyUntil(reply, replyDeadline(timeoutMs));
}

uint32_t QMXConnection::readReplyUntil(Reply* reply, Clock::time_point deadline) {
    for (;;) {
        QString line;
        const int left = remainingMs(deadline);
        const uint32_t status =
            mode_ == Serial ? readComPortLine(line, left) : readSocketLine(line, left);
        if (status != VX_OK) return status;
        // A line of stray bytes alone, such as a leftover line feed, is no
        // reply: the wait goes on.
        if (!line.contains(QLatin1Char(':'))) continue;
        return qmxtext::parseReply(line.toLatin1().toStdString(), reply);
    }
}

uint32_t QMXConnection::readReply(QString& name, int& count, uint32_t* values, int timeoutMs) {
    Reply reply;
    const uint32_t status = readReply(&reply, timeoutMs);
    name = QString::fromStdString(reply.name);
    count = reply.count;
    for (int i = 0; i < reply.count; ++i) values[i] = reply.values[static_cast<size_t>(i)];
    return status;
}

uint32_t QMXConnection::exchange(const std::string& command, Reply* reply, int timeoutMs,
                                 const qmxtext::DataShape* answer) {
    if (const uint32_t status = sendCommand(QString::fromStdString(command))) return status;
    // Skipping a late reply does not lengthen the wait.
    const auto deadline = replyDeadline(timeoutMs);
    for (;;) {
        const uint32_t status = readReplyUntil(reply, deadline);
        if (status == VX_TIMEOUT && answer) {
            if (unanswered_.size() == kMaxUnanswered) unanswered_.erase(unanswered_.begin());
            unanswered_.push_back(*answer);
        }
        if (status != VX_OK || (answer && qmxtext::hasShape(*reply, *answer))) return status;
        // The late reply of an earlier request is not this one's answer.
        const auto owed =
            std::find_if(unanswered_.begin(), unanswered_.end(),
                         [&](const auto& shape) { return qmxtext::hasShape(*reply, shape); });
        if (owed == unanswered_.end()) return status;
        unanswered_.erase(owed);
    }
}

uint32_t QMXConnection::lost(uint32_t status) {
    if (lineLost_ == VX_OK) lineLost_ = status;
    return status;
}

uint32_t QMXConnection::fromLibrary(uint32_t status) {
    // A second-generation system whose line is gone answers every call with
    // a transmit error, as does a first-generation one whose send failed.
    // Other failures (a time-out, the controller's refusal, an unknown
    // library result) leave the line as it is.
    const bool gone =
        status == VX_TRANSMIT_ERROR || status == VX_WRITE_ERROR || status == VX_READ_ERROR;
    return gone ? lost(status) : status;
}

uint32_t QMXConnection::acknowledged(const std::string& command, uint32_t channel) {
    Reply reply;
    const uint32_t status = exchange(command, &reply, kReplyTimeoutMs);
    return status != VX_OK ? status : qmxtext::acknowledgeRule(reply, channel);
}

uint32_t QMXConnection::acknowledgedWithSystemFirst(const std::string& command, uint32_t target) {
    Reply reply;
    const uint32_t status = exchange(command, &reply, kReplyTimeoutMs);
    return status != VX_OK ? status : qmxtext::systemFirstAcknowledgeRule(reply, target);
}

uint32_t QMXConnection::acknowledgedUnaddressed(const std::string& command) {
    Reply reply;
    const uint32_t status = exchange(command, &reply, kReplyTimeoutMs);
    return status != VX_OK ? status : qmxtext::unaddressedAcknowledgeRule(reply);
}

// Serial transport

uint32_t QMXConnection::openComPort(const QString& portName, uint32_t baudRate) {
    locator_ = QStringLiteral("serial:") + portName;
    vxplatform::SerialSettings settings;
    settings.baudRate = baudRate;
    const std::string path = vxplatform::serialDevicePath(portName.toStdString());
    return port_->open(path, settings) == 0 ? VX_OK : VX_INITIALIZATION_ERROR;
}

uint32_t QMXConnection::closeComPort() {
    // What a held line still queues would only follow a cut line.
    if (writeGivenUp_) {
        port_->closeDiscarding();
    } else {
        port_->close();
    }
    mode_ = Closed;
    return VX_OK;
}

uint32_t QMXConnection::writeComPort(const QString& text) {
    // A write that could not finish may have left part of its line: no
    // later line may follow it, and none waits for the held line again.
    if (writeGivenUp_) return VX_WRITE_ERROR;
    const QByteArray bytes = text.toLatin1();
    const vxplatform::SerialResult result =
        port_->write(bytes.constData(), static_cast<size_t>(bytes.size()), kComPortWriteIdle);
    if (result.status == vxplatform::SerialStatus::Ok) return VX_OK;
    writeGivenUp_ = true;
    return lost(VX_WRITE_ERROR);
}

uint32_t QMXConnection::readComPortLine(QString& line, int timeoutMs) {
    line.clear();
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    for (;;) {
        char byte = 0;
        const vxplatform::SerialResult result =
            port_->read(&byte, 1, milliseconds(remainingMs(deadline)));
        if (result.status == vxplatform::SerialStatus::TimedOut) return VX_TIMEOUT;
        if (result.status != vxplatform::SerialStatus::Ok) return lost(VX_READ_ERROR);
        line.append(QChar::fromLatin1(byte));
        if (byte == '\n') return VX_OK;
        if (static_cast<size_t>(line.size()) > qmxtext::kMaxLineLength) return VX_PROTOCOL_ERROR;
    }
}

// TCP transport

uint32_t QMXConnection::openSocket(const QString& locator) {
    locator_ = locator;
    const QStringList parts = locator.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (parts.size() < 3) return VX_INVALID_SYSTEM_LOCATOR;
    const std::optional<uint32_t> address =
        vxplatform::parseIpv4(parts[kLocatorNamePart].toStdString());
    const std::optional<uint16_t> port = parsePort(parts[kLocatorPortPart]);
    if (!address || !port) return VX_INVALID_SYSTEM_LOCATOR;
    socket_->abort();
    socket_->connectToHost(QHostAddress(QString::fromStdString(vxplatform::formatIpv4(*address))),
                           *port, QIODevice::ReadWrite);
    if (!socket_->waitForConnected(kConnectTimeoutMs)) {
        socket_->abort();
        return VX_INITIALIZATION_ERROR;
    }
    return VX_OK;
}

uint32_t QMXConnection::closeSocket() {
    socket_->abort();
    mode_ = Closed;
    return VX_OK;
}

uint32_t QMXConnection::writeSocket(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    if (socket_->write(bytes) != bytes.size()) return lost(VX_WRITE_ERROR);
    socket_->flush();
    return VX_OK;
}

uint32_t QMXConnection::readSocketLine(QString& line, int timeoutMs) {
    line.clear();
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    for (;;) {
        while (socket_->bytesAvailable() > 0) {
            char byte = 0;
            if (socket_->read(&byte, 1) != 1) return lost(VX_READ_ERROR);
            line.append(QChar::fromLatin1(byte));
            if (byte == '\n') return VX_OK;
            if (static_cast<size_t>(line.size()) > qmxtext::kMaxLineLength)
                return VX_PROTOCOL_ERROR;
        }
        const int left = remainingMs(deadline);
        if (left == 0) return VX_TIMEOUT;
        if (!socket_->waitForReadyRead(left) && socket_->bytesAvailable() == 0) {
            if (socket_->state() != QAbstractSocket::ConnectedState) return lost(VX_READ_ERROR);
            if (socket_->error() != QAbstractSocket::SocketTimeoutError)
                return lost(VX_READ_ERROR);
        }
    }
}

// Operations. Each one: a closed connection gives 2, then the argument
// checks (9), then one library call or one command and its reply.

uint32_t QMXConnection::calibrateSensor(uint32_t channel) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_CalibrateSensor_S(systemIndex_, channel));
    return acknowledged(textCommand("CS", {channel}), channel);
}

uint32_t QMXConnection::findReferenceMark(uint32_t channel, uint32_t direction, uint32_t holdTime,
                                          uint32_t autoZero) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_FindReferenceMark_S(systemIndex_, channel, direction, holdTime,
                                                  autoZero));
    return acknowledged(textCommand("FRM", {channel, direction, holdTime, autoZero}), channel);
}

uint32_t QMXConnection::getAngle(uint32_t channel, uint32_t* angle, int32_t* revolution) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_GetAngle_S(systemIndex_, channel, angle, revolution));
    Reply reply;
    const qmxtext::DataShape answer{"A", 3, channel};
    uint32_t status = exchange(textCommand("GA", {channel}), &reply, kReplyTimeoutMs, &answer);
    if (status == VX_OK) status = qmxtext::dataRule(reply, answer);
    if (status != VX_OK) return status;
    if (angle) *angle = reply.values[1];
    if (revolution) *revolution = static_cast<int32_t>(reply.values[2]);
    return VX_OK;
}

uint32_t QMXConnection::getBaudRate(uint32_t* baudRate) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return VX_OTHER_ERROR;
    Reply reply;
    uint32_t status = exchange("GCB", &reply, kReplyTimeoutMs);
    if (status == VX_OK) status = qmxtext::dataRule(reply, {"BR", 1});
    if (status == VX_OK && baudRate) *baudRate = reply.values[0];
    return status;
}

uint32_t QMXConnection::getChannelProperty(uint32_t channel, uint32_t component,
                                           uint32_t subComponent, uint32_t property,
                                           int32_t* value) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    const uint32_t key = epk(component, subComponent, property);
    if (mode_ == Library)
        return fromLibrary(VX_GetChannelProperty_S(systemIndex_, channel, key, value));
    Reply reply;
    const qmxtext::DataShape answer{"CPR", 3, channel, key};
    const uint32_t status =
        exchange(textCommand("GCP", {channel, key}), &reply, kReplyTimeoutMs, &answer);
    if (status != VX_OK) return status;
    return qmxtext::channelPropertyRule(reply, channel, key, value);
}

uint32_t QMXConnection::getChannelType(uint32_t channel, uint32_t* type) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_GetChannelType(systemIndex_, channel, type));
    Reply reply;
    const qmxtext::DataShape answer{"CT", 2, channel};
    uint32_t status = exchange(textCommand("GCT", {channel}), &reply, kReplyTimeoutMs, &answer);
    if (status == VX_OK) status = qmxtext::dataRule(reply, answer);
    if (status == VX_OK && type) *type = reply.values[1];
    return status;
}

uint32_t QMXConnection::getFeaturePermissions(uint32_t channel, uint8_t* buffer, uint32_t* size) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_GetFeaturePermissions(systemIndex_, channel, buffer, size));
    if (size == nullptr) return VX_INVALID_PARAMETER;
    Reply reply;
    uint32_t count = 0;
    uint32_t status =
        exchange(textCommand("GFP", {channel, kPermissionCount}), &reply, kReplyTimeoutMs);
    if (status == VX_OK) status = qmxtext::featurePermissionRule(reply, channel, &count);
    if (status != VX_OK) return status;
    if (count > *size) {
        *size = 0;
        return VX_ID_LIST_TOO_SMALL;
    }
    *size = count;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t byte = 0;
        status = exchange(textCommand("GFP", {channel, i}), &reply, kReplyTimeoutMs);
        if (status == VX_OK) status = qmxtext::featurePermissionRule(reply, channel, &byte);
        if (status != VX_OK) return status;
        if (buffer) buffer[i] = static_cast<uint8_t>(byte);
    }
    return VX_OK;
}

uint32_t QMXConnection::getFirmwareVersion(uint32_t kind, uint32_t index, uint32_t* version) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_GetFirmwareVersion(kind, systemIndex_, index, version));
    Reply reply;
    uint32_t status = VX_OK;
    switch (kind) {
    case kInterfaceFirmware:
        status = exchange("GIV", &reply, kReplyTimeoutMs);
        return status != VX_OK ? status : qmxtext::interfaceVersionRule(reply, version);
    case kChannelFirmware:
    case kChannelSecondFirmware:
    case kHandControlFirmware:
    case kEndEffectorFirmware: {
        const qmxtext::DataShape answer{"FV", 9, index};
        status = exchange(textCommand("GFV", {index}), &reply, kReplyTimeoutMs, &answer);
        return status != VX_OK ? status
                                   : qmxtext::firmwareVersionRule(reply, kind, index, version);
    }
    default:
        return VX_OTHER_ERROR;
    }
}

uint32_t QMXConnection::getNumberOfChannels(uint32_t* count) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_GetNumberOfChannels(systemIndex_, count));
    Reply reply;
    uint32_t status = exchange("GNC", &reply, kReplyTimeoutMs);
    if (status == VX_OK) status = qmxtext::dataRule(reply, {"N", 1});
    if (status == VX_OK && count) *count = reply.values[0];
    return status;
}

uint32_t QMXConnection::getPosition(uint32_t channel, int32_t* position) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_GetPosition_S(systemIndex_, channel, position));
    Reply reply;
    const qmxtext::DataShape answer{"P", 2, channel};
    uint32_t status = exchange(textCommand("GP", {channel}), &reply, kReplyTimeoutMs, &answer);
    if (status == VX_OK) status = qmxtext::dataRule(reply, answer);
    if (status == VX_OK && position) *position = static_cast<int32_t>(reply.values[1]);
    return status;
}

uint32_t QMXConnection::getSensorType(uint32_t channel, uint32_t* type) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_GetSensorType_S(systemIndex_, channel, type));
    Reply reply;
    const qmxtext::DataShape answer{"ST", 2, channel};
    uint32_t status = exchange(textCommand("GST", {channel}), &reply, kReplyTimeoutMs, &answer);
    if (status == VX_OK) status = qmxtext::dataRule(reply, answer);
    if (status == VX_OK && type) *type = reply.values[1];
    return status;
}

uint32_t QMXConnection::getChannelSerialNumber(uint32_t channel, uint32_t* serialNumber) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_GetChannelSerialNumber(systemIndex_, channel, serialNumber));
    Reply reply;
    const qmxtext::DataShape answer{"SN", 2, channel};
    uint32_t status = exchange(textCommand("GSN", {channel}), &reply, kReplyTimeoutMs, &answer);
    if (status == VX_OK) status = qmxtext::dataRule(reply, answer);
    if (status == VX_OK && serialNumber) *serialNumber = reply.values[1];
    return status;
}

uint32_t QMXConnection::readSpeedLevelTableEntry(uint32_t index, uint32_t* steps,
                                                 uint32_t* amplitude, uint32_t* frequency) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (index >= kTableEntries) return VX_INVALID_PARAMETER;
    if (mode_ == Library)
        return fromLibrary(VX_ReadSpeedLevelTableEntry_S(systemIndex_, index, steps, amplitude,
                                                         frequency));
    Reply reply;
    const qmxtext::DataShape answer{"SLTE", 4, index};
    uint32_t status = exchange(textCommand("SLTC", {kTableReadEntry + index}), &reply,
                               kReplyTimeoutMs, &answer);
    if (status == VX_OK) status = qmxtext::dataRule(reply, answer);
    if (status != VX_OK) return status;
    if (steps) *steps = reply.values[1];
    if (amplitude) *amplitude = reply.values[2];
    if (frequency) *frequency = reply.values[3];
    return VX_OK;
}

uint32_t QMXConnection::readSpeedLevelTableSize(uint32_t* size) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_ReadSpeedLevelTableSize_S(systemIndex_, size));
    Reply reply;
    uint32_t status = exchange(textCommand("SLTC", {kTableReadSize}), &reply, kReplyTimeoutMs);
    if (status == VX_OK) status = qmxtext::dataRule(reply, {"SLTS", 1});
    if (status == VX_OK && size) *size = reply.values[0];
    return status;
}

uint32_t QMXConnection::getStatus(uint32_t channel, uint32_t* status) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_GetStatus_S(systemIndex_, channel, status));
    Reply reply;
    const qmxtext::DataShape answer{"S", 2, channel};
    uint32_t result = exchange(textCommand("GS", {channel}), &reply, kReplyTimeoutMs, &answer);
    if (result == VX_OK) result = qmxtext::dataRule(reply, answer);
    if (result == VX_OK && status) *status = reply.values[1];
    return result;
}

uint32_t QMXConnection::getSystemLocator(char* buffer, uint32_t* size) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_GetSystemLocator(systemIndex_, buffer, size));
    return qmxtext::copyLocator(locator_.toLatin1().toStdString(), buffer, size);
}

uint32_t QMXConnection::readTuningParameter(uint32_t channel, uint32_t parameter, uint32_t* value) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) {
        int read = 0;
        const uint32_t status = fromLibrary(VX_ReadTuningParameter_S(systemIndex_, channel,
                                                                     parameter, &read));
        if (status == VX_OK && value) *value = static_cast<uint32_t>(read);
        return status;
    }
    Reply reply;
    const qmxtext::DataShape answer{"TP", 3, channel, parameter};
    uint32_t status =
        exchange(textCommand("RTP", {channel, parameter}), &reply, kReplyTimeoutMs, &answer);
    if (status == VX_OK) status = qmxtext::dataRule(reply, answer);
    if (status == VX_OK && value) *value = reply.values[2];
    return status;
}

uint32_t QMXConnection::gotoAngleRelative(uint32_t channel, int32_t angleDifference,
                                          int32_t revolutionDifference, uint32_t holdTime) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_GotoAngleRelative_S(systemIndex_, channel, angleDifference,
                                                  revolutionDifference, holdTime));
    return acknowledgedWithSystemFirst(
        textCommand("MAR", {channel, angleDifference, revolutionDifference, holdTime}), channel);
}

uint32_t QMXConnection::gotoPositionRelative(uint32_t channel, int32_t difference,
                                             uint32_t holdTime) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_GotoPositionRelative_S(systemIndex_, channel, difference, holdTime));
    return acknowledgedWithSystemFirst(textCommand("MPR", {channel, difference, holdTime}),
                                       channel);
}

uint32_t QMXConnection::readIndexFromIndexMap(uint8_t index, uint8_t* entry) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_ReadIndexFromIndexMap(systemIndex_, index, entry));
    Reply reply;
    const uint32_t status =
        exchange(textCommand("IM", {kMapRead, index, index}), &reply, kReplyTimeoutMs);
    return status != VX_OK ? status : qmxtext::indexMapReadRule(reply, entry);
}

uint32_t QMXConnection::setBaudRate(uint32_t baudRate) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (baudRate < kMinBaudRate || baudRate > kMaxBaudRate) return VX_INVALID_PARAMETER;
    if (mode_ == Library) return VX_OTHER_ERROR;
    Reply reply;
    const uint32_t status =
        exchange(textCommand("CB", {baudRate}), &reply, kBaudRateReplyTimeoutMs);
    return status != VX_OK ? status : qmxtext::dataRule(reply, {"BR", 1});
}

uint32_t QMXConnection::setChannelProperty(uint32_t channel, uint32_t component,
                                           uint32_t subComponent, uint32_t property,
                                           int32_t value) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    const uint32_t key = epk(component, subComponent, property);
    if (mode_ == Library)
        return fromLibrary(VX_SetChannelProperty_S(systemIndex_, channel, key, value));
    return acknowledgedWithSystemFirst(textCommand("SCP", {channel, key, value}), channel);
}

uint32_t QMXConnection::setClosedLoopMaxFrequency(uint32_t channel, uint32_t frequency) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_SetClosedLoopMaxFrequency_S(systemIndex_, channel, frequency));
    return acknowledged(textCommand("SCLF", {channel, frequency}), channel);
}

uint32_t QMXConnection::setSensorType(uint32_t channel, uint32_t type) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_SetSensorType_S(systemIndex_, channel, type));
    return acknowledgedWithSystemFirst(textCommand("SST", {channel, type}), channel);
}

uint32_t QMXConnection::writeSpeedLevelTableEntry(uint32_t index, uint32_t steps,
                                                  uint32_t amplitude, uint32_t frequency) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    // A higher index would make another command of the code.
    if (index >= kTableEntries) return VX_INVALID_PARAMETER;
    if (mode_ == Library)
        return fromLibrary(VX_WriteSpeedLevelTableEntry_S(systemIndex_, index, steps, amplitude,
                                                          frequency));
    return acknowledgedWithSystemFirst(
        textCommand("SLTC", {kTableWriteEntry + index, steps, amplitude, frequency}),
        qmxtext::kSpeedLevelTable);
}

uint32_t QMXConnection::writeSpeedLevelTableSize(int32_t size) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (size < 1 || size > static_cast<int32_t>(kTableEntries)) return VX_INVALID_PARAMETER;
    if (mode_ == Library)
        return fromLibrary(VX_WriteSpeedLevelTableSize_S(systemIndex_,
                                                         static_cast<unsigned int>(size)));
    return acknowledgedWithSystemFirst(textCommand("SLTC", {kTableWriteSize, size}),
                                       qmxtext::kSpeedLevelTable);
}

uint32_t QMXConnection::writeTuningParameter(uint32_t channel, uint32_t parameter, int32_t value) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_WriteTuningParameter_S(systemIndex_, channel, parameter, value));
    return acknowledgedWithSystemFirst(textCommand("WTP", {channel, parameter, value}), channel);
}

uint32_t QMXConnection::stepMove(uint32_t channel, int32_t steps, uint32_t amplitude,
                                 uint32_t frequency) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_StepMove_S(systemIndex_, channel, steps, amplitude, frequency));
    return acknowledgedWithSystemFirst(textCommand("MST", {channel, steps, amplitude, frequency}),
                                       channel);
}

uint32_t QMXConnection::stop(uint32_t channel) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_Stop_S(systemIndex_, channel));
    return acknowledged(textCommand("S", {channel}), channel);
}

uint32_t QMXConnection::writeIndexToIndexMap(uint8_t index, uint8_t entry) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_WriteIndexToIndexMap(systemIndex_, index, entry));
    return acknowledgedUnaddressed(textCommand("IM", {kMapWrite, index, entry}));
}

uint32_t QMXConnection::writeSpeedLevelTableToEEPROM() {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_WriteSpeedLevelTableToEEPROM_S(systemIndex_));
    return acknowledgedWithSystemFirst(textCommand("SLTC", {kTableStore}),
                                       qmxtext::kSpeedLevelTable);
}

uint32_t QMXConnection::finalizeIndexMap() {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) return fromLibrary(VX_FinalizeIndexMap(systemIndex_));
    return acknowledgedUnaddressed(textCommand("IM", {kMapFinalize, 0, 0}));
}
