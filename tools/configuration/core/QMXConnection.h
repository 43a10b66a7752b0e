#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QTcpSocket;

namespace vxplatform {
class SerialPort;
}
namespace qmxtext {
struct DataShape;
struct Reply;
}

// The one way the tools reach a controller system: through the controller
// API library (every operation one VX_ call), or directly with the textual
// command protocol over a serial port or a TCP connection (every operation
// one command line and one reply line). Every operation blocks the calling
// thread until its reply or its time-out and returns a status code of the
// controller API's table. Not for use from two threads at once; the socket
// is a child of the connection, so the two can move to another thread
// together.
class QMXConnection : public QObject {
    Q_OBJECT

public:
    enum Mode : int32_t { Closed = 0, Library = 1, Serial = 2, Network = 3 };

    explicit QMXConnection(QObject* parent = nullptr);
    // Closes nothing: the owner calls closeSystem() first.
    ~QMXConnection() override;

    Mode mode() const { return mode_; }
    // 0 while the line holds; once a read or write found it gone (the peer
    // closed the socket, the serial line hung up or failed; through the
    // library, an operation that ended with a transmit, write or read error),
    // the status that showed it (7, 8 or 10), until the next open. The mode
    // stays as it was: only the owner closes.
    uint32_t lineLost() const { return lineLost_; }

    // "network:" locators are tried through the library, then directly over
    // TCP; "serial:" and a port name opens the port directly; anything else
    // goes to the library.
    uint32_t openSystem(const QString& locator);
    uint32_t closeSystem();

    // The serial ports present, by device path.
    static QStringList listComPorts();
    // The systems the library finds, then "serial:" and each serial port.
    static QStringList findSystems();

    // Writes ":", the command and a line feed on the open direct transport,
    // after dropping whatever input is still pending (a reply that came too
    // late must not answer this command).
    uint32_t sendCommand(const QString& command);
    // Reads one reply line of the open direct transport and parses it into
    // name, count and values (room for 11).
    uint32_t readReply(QString& name, int& count, uint32_t* values, int timeoutMs);

    // Controller operations; outputs are written only on success.
    uint32_t calibrateSensor(uint32_t channel);
    uint32_t findReferenceMark(uint32_t channel, uint32_t direction, uint32_t holdTime,
                               uint32_t autoZero);
    uint32_t getAngle(uint32_t channel, uint32_t* angle, int32_t* revolution);
    uint32_t getBaudRate(uint32_t* baudRate);
    uint32_t getChannelProperty(uint32_t channel, uint32_t component, uint32_t subComponent,
                                uint32_t property, int32_t* value);
    uint32_t getChannelType(uint32_t channel, uint32_t* type);
    // *size: the buffer's capacity on entry, the number of bytes on return.
    uint32_t getFeaturePermissions(uint32_t channel, uint8_t* buffer, uint32_t* size);
    uint32_t getFirmwareVersion(uint32_t kind, uint32_t index, uint32_t* version);
    uint32_t getNumberOfChannels(uint32_t* count);
    uint32_t getPosition(uint32_t channel, int32_t* position);
    uint32_t getSensorType(uint32_t channel, uint32_t* type);
    uint32_t getChannelSerialNumber(uint32_t channel, uint32_t* serialNumber);
    uint32_t readSpeedLevelTableEntry(uint32_t index, uint32_t* steps, uint32_t* amplitude,
                                      uint32_t* frequency);
    uint32_t readSpeedLevelTableSize(uint32_t* size);
    uint32_t getStatus(uint32_t channel, uint32_t* status);
    // *size: the buffer's capacity on entry, the locator's length on return.
    uint32_t getSystemLocator(char* buffer, uint32_t* size);
    uint32_t readTuningParameter(uint32_t channel, uint32_t parameter, uint32_t* value);
    uint32_t gotoAngleRelative(uint32_t channel, int32_t angleDifference,
                               int32_t revolutionDifference, uint32_t holdTime);
    uint32_t gotoPositionRelative(uint32_t channel, int32_t difference, uint32_t holdTime);
    uint32_t readIndexFromIndexMap(uint8_t index, uint8_t* entry);
    uint32_t setBaudRate(uint32_t baudRate);
    uint32_t setChannelProperty(uint32_t channel, uint32_t component, uint32_t subComponent,
                                uint32_t property, int32_t value);
    uint32_t setClosedLoopMaxFrequency(uint32_t channel, uint32_t frequency);
    uint32_t setSensorType(uint32_t channel, uint32_t type);
    uint32_t writeSpeedLevelTableEntry(uint32_t index, uint32_t steps, uint32_t amplitude,
                                       uint32_t frequency);
    uint32_t writeSpeedLevelTableSize(int32_t size);
    uint32_t writeTuningParameter(uint32_t channel, uint32_t parameter, int32_t value);
    uint32_t stepMove(uint32_t channel, int32_t steps, uint32_t amplitude, uint32_t frequency);
    uint32_t stop(uint32_t channel);
    uint32_t writeIndexToIndexMap(uint8_t index, uint8_t entry);
    uint32_t writeSpeedLevelTableToEEPROM();
    uint32_t finalizeIndexMap();

    // The hand control module's EEPROM type and its configuration slots;
    // the direct modes move a slot 8 bytes a command. In library mode
    // `length` returns the slot's length as the library read it.
    uint32_t readHCMEepromType(int& type);
    uint32_t readHCMConfigSlot(int slot, uint8_t* buffer, unsigned& length);
    uint32_t writeHCMConfigSlot(int slot, const uint8_t* buffer, unsigned& length);

protected:
    // The two direct transports; the mode is set by their callers.
    uint32_t openComPort(const QString& portName, uint32_t baudRate);
    uint32_t closeComPort();
    uint32_t writeComPort(const QString& text);
    uint32_t readComPortLine(QString& line, int timeoutMs);
    uint32_t openSocket(const QString& locator);
    uint32_t closeSocket();
    uint32_t writeSocket(const QString& text);
    uint32_t readSocketLine(QString& line, int timeoutMs);

    // Sends `command` and reads its reply within `timeoutMs`. With `answer`,
    // the shape of the data reply it expects: a request that gets no reply
    // in time is remembered by it, and its late reply, when a later request
    // meets it, is skipped within that request's time-out.
    uint32_t exchange(const std::string& command, qmxtext::Reply* reply, int timeoutMs,
                      const qmxtext::DataShape* answer = nullptr);
    uint32_t readReply(qmxtext::Reply* reply, int timeoutMs);

private:
    // When a reply asked for now with `timeoutMs` is due: over TCP one
    // second, whatever the caller asks.
    std::chrono::steady_clock::time_point replyDeadline(int timeoutMs) const;
    uint32_t readReplyUntil(qmxtext::Reply* reply, std::chrono::steady_clock::time_point deadline);
    uint32_t openSerial(const QString& locator);
    uint32_t openNetwork(const QString& locator);
    uint32_t openThroughLibrary(const QString& locator);
    uint32_t handshake();
    void dropPendingInput();
    uint32_t acknowledged(const std::string& command, uint32_t channel);
    uint32_t acknowledgedWithSystemFirst(const std::string& command, uint32_t target);
    uint32_t acknowledgedUnaddressed(const std::string& command);
    uint32_t lost(uint32_t status);
    // A library operation's status; a transmit, write or read error marks
    // the line lost.
    uint32_t fromLibrary(uint32_t status);

    Mode mode_ = Closed;
    uint32_t systemIndex_ = 0;
    std::unique_ptr<vxplatform::SerialPort> port_;
    // "serial:" and the port name, or the "network:" locator last tried;
    // kept after closing.
    QString locator_;
    QTcpSocket* socket_;
    uint32_t lineLost_ = 0;
    // A COM-port write gave up on a line that took nothing.
    bool writeGivenUp_ = false;
    // The replies still owed to requests that timed out, the oldest first.
    std::vector<qmxtext::DataShape> unanswered_;
};
