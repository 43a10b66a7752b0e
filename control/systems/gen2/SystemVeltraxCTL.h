#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "common/CtlBinding.h"
#include "platform/OwnedThread.h"
#include "systems/gen2/CtlGroupWatch.h"
#include "systems/gen2/CtlKeys.h"
#include "systems/SystemBase.h"

namespace qmx {

class ReadQueue;
struct BatchEntry;
class WriteQueue;

// A second-generation controller system served through the run-time loaded
// VeltraxCTL. Operations check under the API mutex and release it before
// they call the library; in asynchronous mode a job worker runs their jobs
// and an event thread turns movement events into packets.
//
// Lock order of the driver: API mutex, then the group watch's mutex, then
// the device gate; API mutex, then packet mutex. The packet mutex and the
// watch's mutex are never held together. The device gate is held shared
// around each library call, so that no call of a closed system reaches a
// device that the library opened later under the same handle. No other
// lock is held across a library call that can block (a send, a cancel of a
// sent group, a wait): the watch keeps its mutex only around opening a
// group, which only queues, and the packet mutex is never held around a
// library call. Only open, the channel settings read after setSensorType
// and the speed level table operations keep the API mutex across their
// requests, as their cached records must not change under them.
class SystemVeltraxCTL : public SystemBase {
public:
    struct ChannelRecord {
        int32_t moveMode = 0;
        int32_t channelOptions = 0;
        int32_t moveControlOptions = 0;
        int32_t movementType = 0;  // 2 linear, 3 rotary
        uint64_t lastDebugSample = 0;
        uint32_t firmwareVersion1 = 0;
        uint32_t firmwareVersion2 = 0;
        uint8_t moduleIndex = 0;
        // 0 after a stop, 1 after a move, 2 after a calibration command, 3
        // after a reference command; reset by the event thread.
        uint32_t eventState = 0;
        bool reportOnComplete = false;
        bool reportOnTriggered = false;
        bool debuggingEnabled = false;
    };

    struct PositionerTypeEntry {
        std::string name;
        int32_t movementType = 0;
        int32_t secondNumber = 0;
    };

    // A job fills a packet and returns a status; its delivery copies the
    // packet's words to a synchronous caller's outputs.
    using Job = std::function<VX_STATUS(VX_packet&)>;
    using Delivery = std::function<void(const VX_packet&)>;

    enum Mode : uint32_t { kClosed = 0, kSynchronous = 1, kAsynchronous = 2 };

    // Which cached option word of a channel a setter changes.
    enum class OptionWord { Channel, MoveControl };

    SystemVeltraxCTL();
    // Closes a system still open and joins both threads.
    ~SystemVeltraxCTL() override;

    // Snapshots, for the operations' checks and for tests.
    uint32_t mode() const { return mode_.load(); }
    std::vector<ChannelRecord> channelRecords() const;
    uint32_t interfaceFirmwareVersion() const;
    uint32_t handControlModuleFirmwareVersion() const;
    // Written only while opening.
    const std::map<int32_t, PositionerTypeEntry>& positionerTypes() const { return positionerTypes_; }
    bool threadsRunning() const { return worker_.started() || eventThread_.started(); }
    // Runs inside flushOutput with no lock held, once the parked groups are
    // sent and before their jobs go to the worker: where a test closes and
    // opens the system. Set while no flush runs.
    void setFlushPause(std::function<void()> pause) { flushPause_ = std::move(pause); }

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

    // Shared helpers of the operations.

    // 2 before open, 13 for a synchronous call in asynchronous mode or the
    // reverse, else 0. The caller holds the API mutex.
    VX_STATUS checkMode(bool sync) const;
    // Runs the job now (sync) or hands it to the job worker, held back
    // while output is buffered.
    VX_STATUS submitJob(bool sync, Job job, Delivery delivery = {});
    // The channel's move error when `enabled`, else 0.
    VX_STATUS checkMoveError(uint32_t channel, bool enabled);
    // Refresh the cached speed level table and a channel's cached settings;
    // the caller holds the API mutex.
    VX_STATUS readSpeedLevelTable();
    VX_STATUS readChannelSettings(uint32_t channel);

    // `call(functions, deviceHandle)` while the device is open; once close
    // has begun the library is not reached and the result is "canceled".
    template <typename Call>
    uint32_t callDevice(Call&& call) const {
        std::shared_lock<std::shared_mutex> gate(deviceGate_);
        if (!deviceOpen_ || closing_.load()) return ctlresult::kCanceled;
        return call(binding_.functions(), deviceHandle_);
    }
    // `call` gives back what an operation took (a request, a command
    // group) while the device is open, also once close has begun: a caller
    // waiting in the library for a free request slot holds the gate that
    // close waits for, and only such releases free the slots.
    template <typename Call>
    uint32_t releaseOnDevice(Call&& call) const {
        std::shared_lock<std::shared_mutex> gate(deviceGate_);
        if (!deviceOpen_) return ctlresult::kCanceled;
        return call(binding_.functions(), deviceHandle_);
    }

    // The two shapes of an operation with traffic. A getter queues its
    // reads in one command group and hands a job that fills the packet from
    // them to submitJob; a setter queues its writes (and a move its library
    // command) in one group and commits them.
    using Requests = std::function<VX_STATUS(ReadQueue&)>;
    using Fill = std::function<VX_STATUS(ReadQueue&, VX_packet&)>;
    using Writes = std::function<VX_STATUS(WriteQueue&, uint32_t transmitHandle)>;
    VX_STATUS runGetter(bool sync, const Requests& requests, Fill fill, Delivery delivery);
    VX_STATUS runSetter(bool sync, const Writes& writes);
    // Reads the value numbered `index` of a channel's table (debug values,
    // tuning parameters), as a packet of `packetType`; a number the table
    // lacks gives `unknown`. The caller has made its checks.
    using NumberedTable = const BatchEntry* (*)(uint32_t number);
    VX_STATUS readNumberedValue(bool sync, uint32_t channel, uint32_t index, NumberedTable table,
                                VX_STATUS unknown, uint32_t packetType, uint32_t* value);

    bool bufferedOutputOn() const { return bufferedOutput_.load(); }
    // A command group held open until flushOutput sends it.
    void parkGroup(const std::shared_ptr<GroupTicket>& group);
    // The command groups sent and still awaited.
    GroupWatch& groupWatch() { return groupWatch_; }

    std::mutex& apiMutex() const { return apiMutex_; }
    // Changes one bit of a channel's cached option word under the API mutex
    // and gives the whole new word.
    int32_t changeOptionBit(uint32_t channel, OptionWord word, int32_t bit, bool set);
    uint32_t channelFirmwareVersion1(uint32_t channel) const;
    uint64_t lastDebugSample(uint32_t channel) const;
    void keepDebugSample(uint32_t channel, uint64_t sample);

private:
    // Mode and channel checks under the API mutex; `check` then sees the
    // channel's record while the mutex is still held.
    using RecordCheck = std::function<VX_STATUS(ChannelRecord&)>;
    VX_STATUS checkChannel(bool sync, uint32_t channel, const RecordCheck& check = {});
    // A move's writes and command, its error check and its event state.
    VX_STATUS runMove(uint32_t channel, bool sync, uint32_t eventState, const Writes& writes);
    void setEventState(uint32_t channel, uint32_t eventState);
    // Loads the speed level table when it is empty; API mutex held.
    void loadSpeedLevelTableIfEmpty();

    VX_STATUS openDevice(const std::string& locator, const std::string& options);
    VX_STATUS readDeviceSetup();
    VX_STATUS readModuleVersions();
    VX_STATUS readVersionBehindSelect(uint32_t select, uint32_t* version);
    VX_STATUS readPositionerTypes();
    void startThreads();
    void runJobWorker();
    void runEventThread();
    void handleMovementFinished(uint32_t channel, uint32_t result);
    // Waits, boundedly, until a lost connection's lasting read error is set.
    void awaitLossReport();
    void queuePacket(const VX_packet& packet, bool checkOverflow);
    void cancelEventWait();
    void closeDevice();

    mutable std::mutex apiMutex_;
    CtlBinding binding_;
    VX_CTL_DeviceHandle deviceHandle_ = 0;
    std::atomic<uint32_t> mode_{kClosed};
    uint32_t interfaceFirmwareVersion_ = 0;
    uint32_t handControlModuleFirmwareVersion_ = 0;
    std::vector<ChannelRecord> channels_;
    std::map<int32_t, PositionerTypeEntry> positionerTypes_;
    struct SpeedLevel {
        uint32_t steps = 0;
        uint32_t amplitude = 0;
        uint32_t frequency = 0;
    };
    std::vector<SpeedLevel> speedLevelTable_;
    std::atomic<bool> bufferedOutput_{false};
    std::function<void()> flushPause_;

    // Guards the queues, the sticky status, the cancel and closed flags and
    // the session count.
    mutable std::mutex packetMutex_;
    std::condition_variable packetCondition_;
    std::condition_variable jobCondition_;
    VX_STATUS stickyStatus_ = VX_OK;
    std::deque<VX_packet> packets_;
    std::deque<Job> jobs_;
    std::deque<Job> parkedJobs_;
    std::deque<std::shared_ptr<GroupTicket>> parkedGroups_;
    bool cancelWait_ = false;
    bool closed_ = true;
    // Counts the opens: jobs taken out in one session go back in no other.
    uint64_t session_ = 0;

    // Held shared by every library call, exclusively to close the device.
    mutable std::shared_mutex deviceGate_;
    bool deviceOpen_ = false;
    std::atomic<bool> closing_{false};

    vxplatform::OwnedThread worker_;
    vxplatform::OwnedThread eventThread_;
    // Last: it cancels groups on the device as it ends.
    GroupWatch groupWatch_{*this};
};

}  // namespace qmx
