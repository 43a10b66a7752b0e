#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "VeltraxIO.h"
#include "systems/gen1/Packet.h"
#include "systems/gen1/RingBuffer.h"
#include "systems/SystemBase.h"

namespace qmx {

// A first-generation controller system reached through VeltraxIO with binary
// packets. It starts no thread: the device's receive thread reassembles the
// answers into a ring that synchronous commands and asynchronous receives
// read. Lock order: command mutex, then packet mutex; the I/O mutex is taken
// last and alone around the device handle.
class System : public SystemBase {
public:
    static constexpr uint32_t kNoHandle = 0xFFFFFFFF;
    static constexpr size_t kMaxChannels = 64;
    static constexpr size_t kQueueCapacity = 256;
    static constexpr size_t kOutputBufferSize = 256;
    static constexpr size_t kMaxFeatureBytes = 16;

    System();
    ~System() override;

    // Read by the export layer's channel-class helper; stable once open.
    uint32_t channelCount() const { return channelCount_; }
    uint16_t moduleWord(uint32_t channel) const {
        return channel < kMaxChannels ? channels_[channel].moduleWord : 0;
    }
    // Packets waiting in the receive queue.
    size_t queuedPackets() const;
    // The first fatal receive-side status (10 read error, 22 input buffer
    // overflow), or 0 while the link is sound.
    VX_STATUS receiveStatus() const;

    VX_STATUS open(const char* locator, const char* options) override;
    VX_STATUS close() override;
    VX_STATUS getDescription(std::string* text) override;
    VX_STATUS getSystemID(uint32_t* id) override;
    VX_STATUS getFirmwareVersion(uint32_t kind, uint32_t index, uint32_t* version) override;
    VX_STATUS getNumberOfChannels(uint32_t* count) override;
    VX_STATUS getChannelType(uint32_t channel, uint32_t* type) override;
    VX_STATUS getChannelSerialNumber(uint32_t channel, uint32_t* serial) override;
    VX_STATUS getPositionerTypeList(uint32_t* list, uint32_t* size) override;
    VX_STATUS getPositionerTypeName(uint32_t type, char* name, uint32_t* size) override;
    VX_STATUS getPositionerTypeProperty(uint32_t type, uint32_t property,
                                        uint32_t* value) override;
    VX_STATUS setBufferedOutput(uint32_t mode) override;
    VX_STATUS getBufferedOutput(uint32_t* mode) override;
    VX_STATUS flushOutput() override;
    VX_STATUS cancelWaitForPacket() override;
    VX_STATUS receiveNextPacket(uint32_t timeoutMs, VX_packet* packet, bool remove) override;
    VX_STATUS discardPacket() override;
    VX_STATUS getAngleLimit(uint32_t channel, bool sync, uint32_t* minAngle,
                            int32_t* minRevolution, uint32_t* maxAngle,
                            int32_t* maxRevolution) override;
    VX_STATUS getChannelProperty(uint32_t channel, uint32_t key, bool sync,
                                 int32_t* value) override;
    VX_STATUS getClosedLoopMoveAcceleration(uint32_t channel, bool sync,
                                            uint32_t* acceleration) override;
    VX_STATUS getClosedLoopMoveSpeed(uint32_t channel, bool sync, uint32_t* speed) override;
    VX_STATUS getEndEffectorType(uint32_t channel, bool sync, uint32_t* type, int32_t* param1,
                                 int32_t* param2) override;
    VX_STATUS getPositionLimit(uint32_t channel, bool sync, int32_t* min, int32_t* max) override;
    VX_STATUS getSafeDirection(uint32_t channel, bool sync, uint32_t* direction) override;
    VX_STATUS getScale(uint32_t channel, bool sync, int32_t* shift, uint32_t* inverted) override;
    VX_STATUS getSensorEnabled(bool sync, uint32_t* mode) override;
    VX_STATUS getSensorType(uint32_t channel, bool sync, uint32_t* type) override;
    VX_STATUS getPositionerType(uint32_t channel, bool sync, uint32_t* type) override;
    VX_STATUS setAccumulateRelativePositions(uint32_t channel, uint32_t value, bool sync) override;
    VX_STATUS setAngleLimit(uint32_t channel, uint32_t minAngle, int32_t minRevolution,
                            uint32_t maxAngle, int32_t maxRevolution, bool sync) override;
    VX_STATUS setChannelProperty(uint32_t channel, uint32_t key, int32_t value,
                                 bool sync) override;
    VX_STATUS setClosedLoopMaxFrequency(uint32_t channel, uint32_t frequency, bool sync) override;
    VX_STATUS setClosedLoopMoveAcceleration(uint32_t channel, uint32_t acceleration,
                                            bool sync) override;
    VX_STATUS setClosedLoopMoveSpeed(uint32_t channel, uint32_t speed, bool sync) override;
    VX_STATUS setEndEffectorType(uint32_t channel, uint32_t type, int32_t param1, uint32_t param2,
                                 bool sync) override;
    VX_STATUS setPosition(uint32_t channel, int32_t position, bool sync) override;
    VX_STATUS setPositionLimit(uint32_t channel, int32_t min, int32_t max, bool sync) override;
    VX_STATUS setReportOnComplete(uint32_t channel, uint32_t value) override;
    VX_STATUS setReportOnTriggered(uint32_t channel, uint32_t value) override;
    VX_STATUS setSafeDirection(uint32_t channel, uint32_t direction, bool sync) override;
    VX_STATUS setScale(uint32_t channel, int32_t shift, uint32_t inverted, bool sync) override;
    VX_STATUS setSensorEnabled(uint32_t mode, bool sync) override;
    VX_STATUS setSensorType(uint32_t channel, uint32_t type, bool sync) override;
    VX_STATUS setStepWhileScan(uint32_t channel, uint32_t value, bool sync) override;
    VX_STATUS setZeroForce(uint32_t channel, bool sync) override;
    VX_STATUS appendTriggeredCommand(uint32_t channel, int32_t value) override;
    VX_STATUS clearTriggeredCommandQueue(uint32_t channel) override;
    VX_STATUS calibrateSensor(uint32_t channel, bool sync) override;
    VX_STATUS findReferenceMark(uint32_t channel, uint32_t direction, uint32_t holdTime,
                                uint32_t autoZero, bool sync) override;
    VX_STATUS gotoAngle(uint32_t channel, int32_t angle, int32_t revolution, uint32_t holdTime,
                        uint8_t opcode, bool sync) override;
    VX_STATUS gotoGripperForceAbsolute(uint32_t channel, int32_t force, int32_t speed,
                                       uint32_t holdTime, bool sync) override;
    VX_STATUS gotoGripperOpeningAbsolute(uint32_t channel, uint32_t opening, int32_t speed,
                                         bool sync) override;
    VX_STATUS gotoGripperOpeningRelative(uint32_t channel, int32_t difference, int32_t speed,
                                         bool sync) override;
    VX_STATUS gotoPosition(uint32_t channel, int32_t position, uint32_t holdTime, bool relative,
                           bool sync) override;
    VX_STATUS scanMoveAbsolute(uint32_t channel, uint32_t target, int32_t scanSpeed,
                               bool sync) override;
    VX_STATUS scanMoveRelative(uint32_t channel, int32_t difference, int32_t scanSpeed,
                               bool sync) override;
    VX_STATUS stepMove(uint32_t channel, int32_t steps, uint32_t amplitude, uint32_t frequency,
                       bool sync) override;
    VX_STATUS stop(uint32_t channel, bool sync) override;
    VX_STATUS triggerCommand(uint32_t value) override;
    VX_STATUS getStatus(uint32_t channel, bool sync, uint32_t* status) override;
    VX_STATUS getPosition(uint32_t channel, bool sync, int32_t* position) override;
    VX_STATUS getAngle(uint32_t channel, bool sync, uint32_t* angle, int32_t* revolution) override;
    VX_STATUS getCaptureBuffer(uint32_t channel, uint32_t bufferIndex, bool sync,
                               VX_packet* record) override;
    VX_STATUS getForce(uint32_t channel, bool sync, int32_t* force) override;
    VX_STATUS getGripperOpening(uint32_t channel, bool sync, uint32_t* opening) override;
    VX_STATUS getPhysicalPositionKnown(uint32_t channel, bool sync, uint32_t* known) override;
    VX_STATUS getVoltageLevel(uint32_t channel, bool sync, uint32_t* level) override;
    VX_STATUS setHCMEnabled(uint32_t mode) override;
    VX_STATUS setDebuggingEnabled(uint32_t channel, uint32_t enabled, bool sync) override;
    VX_STATUS readDebugValue(uint32_t channel, uint32_t index, bool sync,
                             uint32_t* value) override;
    VX_STATUS writeDebugValue(uint32_t channel, uint32_t index, int32_t value, bool sync) override;
    VX_STATUS readTuningParameter(uint32_t channel, uint32_t index, bool sync,
                                  uint32_t* value) override;
    VX_STATUS writeTuningParameter(uint32_t channel, uint32_t index, int32_t value,
                                   bool sync) override;
    VX_STATUS readConfigParameter(uint32_t channel, uint32_t index, bool sync,
                                  uint32_t* value) override;
    VX_STATUS writeConfigParameter(uint32_t channel, uint32_t index, int32_t value,
                                   bool sync) override;
    VX_STATUS writeSpeedLevelTableSize(int32_t size) override;
    VX_STATUS readSpeedLevelTableSize(uint32_t* size) override;
    VX_STATUS writeSpeedLevelTableEntry(uint32_t index, uint32_t value1, uint32_t value2,
                                        uint32_t value3) override;
    VX_STATUS readSpeedLevelTableEntry(int32_t index, uint32_t* value1, uint32_t* value2,
                                       uint32_t* value3) override;
    VX_STATUS writeSpeedLevelTableToEEPROM() override;
    VX_STATUS getFeaturePermissions(uint32_t channel, uint8_t* bytes, uint32_t* size) override;
    VX_STATUS readHCMConfigSlot(uint32_t slot, uint8_t* data, uint32_t* size) override;
    VX_STATUS writeHCMConfigSlot(uint32_t slot, const uint8_t* data, uint32_t* size) override;
    VX_STATUS readHCMEepromType(uint32_t* type) override;
    VX_STATUS writeCustomSensorTypeConfiguration(uint32_t channel, uint32_t value,
                                                 bool sync) override;
    VX_STATUS readIndexFromIndexMap(uint8_t index, uint8_t* value) override;
    VX_STATUS writeIndexToIndexMap(uint8_t index, uint8_t value) override;
    VX_STATUS finalizeIndexMap() override;

private:
    struct ChannelRecord {
        uint16_t moduleWord = 0;
        uint32_t firmwareVersion = 0;
        uint32_t secondFirmwareVersion = 0;
        bool hasFirmwareVersion = false;
        bool hasSecondFirmwareVersion = false;
        uint32_t featureCount = 0;
        std::array<uint8_t, kMaxFeatureBytes> featureBytes{};
        int32_t pendingPositionerTypeQueries = 0;
    };

    // Targets of waitForAcknowledge besides a channel index.
    static constexpr uint32_t kAnyAddress = 254;
    static constexpr uint32_t kHandControlTarget = 255;

    // How long a command waits for its answer.
    static constexpr uint32_t kAnswerWaitMs = 2000;

    using Clock = std::chrono::steady_clock;

    // A request whose wait gave up: its answer, or the module's refusal of
    // it, may still come, and is dropped when it does.
    struct Abandoned {
        uint16_t address;
        uint8_t opcode;
        // Past it no answer can come any more; none on a line that loses
        // nothing.
        std::optional<Clock::time_point> expiry;
        bool answeredBy(const RawPacket& packet) const {
            return packet.address() == address &&
                   (packet.opcode() == opcode || packet.opcode() == opcode::kError);
        }
    };

    // A synchronous request on its way: the answer that is its own, and
    // when its wait ends.
    struct Exchange {
        uint16_t address;
        uint8_t opcode;
        Clock::time_point sent;
        Clock::time_point deadline;
        // Answers the module still owed when the request went.
        size_t owedByModule;
    };

    // How the system was opened: commands wait for their answers only in
    // synchronous mode.
    enum Mode : uint32_t { kNotOpen = 0, kSynchronous = 1, kAsynchronous = 2 };

    // What a channel command needs of the channel's module class.
    enum class Need { AnyChannel, Positioner, EndEffector };

    // Receive-thread entry points handed to VX_IO_Open.
    static void systemReceiveCallback(void* context, const void* data, size_t length);
    static void systemErrorCallback(void* context, int code);
    void onBytes(const uint8_t* data, size_t length);

    // Sending.
    // Buffered in buffered output mode, else sent at once.
    VX_STATUS sendPacket(const OutPacket& packet);
    // Always sent at once, past the output buffer.
    VX_STATUS sendImmediate(const OutPacket& packet);
    VX_STATUS sendDirect(const uint8_t* data, size_t length);

    // Queue access; the lock is the packet mutex.
    VX_STATUS waitForPacket(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs);
    // Wakes every packet wait; called with the packet mutex held.
    void signalPacketWaiters();
    // Waits for a signal without the packet mutex for a short while before a
    // wait would sleep, up to the deadline: an answer on its way then costs
    // the caller no wake-up.
    void spinForSignal(std::unique_lock<std::mutex>& lock,
                       std::chrono::steady_clock::time_point deadline);
    VX_STATUS waitForAnswer(RawPacket* packet, uint32_t timeoutMs, bool remove);
    VX_STATUS waitForAcknowledge(uint32_t target, uint32_t* code, uint32_t timeoutMs);
    // Drops what came before a new request: the queued packets now, an
    // unfinished one with the next received block unless it may be a late
    // answer still to be skipped.
    void discardQueued();
    void discardQueuedLocked();
    // Adds a request whose wait gave up to the answers to skip; one whose
    // answer may have come already, or be lost, is skipped for a while only.
    void abandon(uint16_t address, uint8_t opcode, Clock::time_point sent,
                 bool mayHaveCome = false);
    // Packet mutex held: the answers still owed by the module at `address`.
    size_t owedBy(uint16_t address) const;
    // Packet mutex held: forgets the entries whose answer can no longer come.
    void forgetExpired(Clock::time_point now);
    // Packet mutex held: true when a packet that begins with `bytes` may be
    // an abandoned request's answer.
    bool mayAnswerAbandoned(const uint8_t* bytes, size_t length) const;

    // Start-up exchange.
    VX_STATUS startUp(bool reset, bool async);
    VX_STATUS resetHandshake();
    VX_STATUS readChannels();
    VX_STATUS readFirmwareVersions();
    VX_STATUS readFeaturePermissions();
    VX_STATUS setCommunicationMode(Mode newMode);
    void closeDevice();

    // Checks and exchanges of the command operations; command mutex held.
    VX_STATUS checkChannelCommand(uint32_t channel, bool sync);
    VX_STATUS checkChannel(uint32_t channel, bool sync, Need need);
    VX_STATUS checkSystemCommand(bool sync);
    VX_STATUS checkAsyncChannel(uint32_t channel, Need need);
    VX_STATUS checkHandControl();
    // Sends a request to the channel; a synchronous one waits for an answer
    // of `answerOpcode` from the channel's module and gives its fields.
    VX_STATUS query(uint32_t channel, bool sync, const OutPacket& request, uint8_t answerOpcode,
                    VX_packet* answer);
    // A channel query with its checks: the request is made by `makeRequest()`
    // once they pass, and a synchronous answer's fields go to `take`.
    template <typename MakeRequest, typename Take>
    VX_STATUS fetch(uint32_t channel, bool sync, Need need, uint8_t answerOpcode,
                    MakeRequest&& makeRequest, Take&& take);
    // Sends a command; a synchronous one waits for its module's
    // acknowledge.
    VX_STATUS command(bool sync, const OutPacket& request);
    // Starts a synchronous exchange: gives the sticky status, or waits until
    // no abandoned answer of the same kind that may never come is left to be
    // told from this request's, drops what came before, and sends the
    // request.
    VX_STATUS beginExchange(const OutPacket& request, uint8_t answerOpcode, Exchange* exchange);
    // After the wait: `fromModule` when the packet taken came from the
    // request's module, which answers in order: it is the module's reply.
    // Otherwise a 15, or a 14 for another module's packet, abandons the
    // request.
    void endExchange(const Exchange& exchange, VX_STATUS status, bool fromModule);
    // Sends a request and takes its answer: one of `answerOpcode` (from
    // `from` when given), else the code of an error answer, else
    // VX_PROTOCOL_ERROR.
    VX_STATUS exchangeAnswer(const OutPacket& request, std::optional<uint16_t> from,
                             uint8_t answerOpcode, RawPacket* answer);
    // Sends a command and takes its module's acknowledge, or its refusal
    // code.
    VX_STATUS exchangeAcknowledge(const OutPacket& request);
    VX_STATUS handControlCommand(const OutPacket& request);
    VX_STATUS readIndexedValue(uint32_t channel, uint32_t index, bool sync, uint32_t* value,
                               uint8_t requestOpcode, uint8_t answerOpcode);
    VX_STATUS writeIndexedValue(uint32_t channel, uint32_t index, int32_t value, bool sync,
                                uint8_t opcode);
    // Sends a hand control module request and waits for an answer of the
    // request's opcode.
    VX_STATUS handControlQuery(const OutPacket& request, RawPacket* answer, bool checkAddress);
    VX_STATUS sensorTypeLocked(uint32_t channel, bool sync, uint32_t* type);
    VX_STATUS hcmSlotSize(uint32_t* slotSize);
    VX_STATUS indexMapExchange(const OutPacket& request, RawPacket* answer);

    OutPacket toChannel(uint32_t channel, uint8_t opcode) const {
        return OutPacket(channels_[channel].moduleWord, opcode);
    }

    uint32_t ioHandle_ = kNoHandle;
    uint32_t interfaceType_ = 0;
    mutable std::mutex packetMutex_;
    bool skipFirstByte_ = false;
    // Set when a request starts that answers nothing received before it: the
    // next received block also drops the start of a packet left unfinished.
    bool dropPartialPacket_ = false;
    uint32_t stickyStatus_ = 0;
    PacketAssembler assembler_;
    ring_buffer<RawPacket> ring_{kQueueCapacity};
    std::condition_variable packetCondition_;
    // Counts the signals of packetCondition_, so that a spinning wait sees
    // them without the mutex.
    std::atomic<uint32_t> packetSignals_{0};
    bool cancelRequested_ = false;
    // Set by close: no device is left to answer a wait.
    bool closed_ = false;
    std::mutex commandMutex_;
    bool bufferedOutput_ = false;
    std::array<uint8_t, kOutputBufferSize> outputBuffer_{};
    uint32_t outputFill_ = 0;
    // Written only by open.
    std::atomic<uint32_t> mode_{kNotOpen};
    bool interfaceFirmwareKnown_ = false;
    uint32_t interfaceFirmware_ = 0;
    bool handControlFirmwareKnown_ = false;
    uint32_t handControlFirmware_ = 0;
    uint16_t channelCount_ = 0;
    std::array<ChannelRecord, kMaxChannels> channels_{};
    // Guarded by the packet mutex; the start-up's entries go when open ends.
    std::vector<Abandoned> abandoned_;
    // Guards the device handle against a close racing a send (the index-map
    // operations send without the command mutex).
    std::mutex ioMutex_;
};

// "major.minor.build" of a firmware version word.
std::string formatFirmwareVersion(uint32_t version);

}  // namespace qmx
