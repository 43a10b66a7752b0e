#pragma once

// A SystemBase that records each operation it is asked for, with every
// argument as a number (pointers by address, flags as 0/1), and answers with
// configured values. Operations that take a sync flag refuse the wrong mode
// with 13, as the real drivers do.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "systems/SystemBase.h"

namespace vxtest {

struct Operation {
    std::string name;
    std::vector<int64_t> arguments;
};

template <typename T>
int64_t recorded(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return static_cast<int64_t>(reinterpret_cast<uintptr_t>(value));
    } else {
        return static_cast<int64_t>(value);
    }
}

class RecordingSystem : public qmx::SystemBase {
public:
    explicit RecordingSystem(bool async = false) : async_(async) {}
    ~RecordingSystem() override {
        if (destroyed) destroyed->store(true);
    }

    // Status of every operation (after the mode check).
    VX_STATUS status = 0;
    // Values written, in order, to the outputs of a successful call.
    std::vector<int64_t> outputs{101, -102, 103, -104};
    // Bytes of the byte-buffer operations; `reportedSize` overrides the size
    // they claim to have written.
    std::vector<uint8_t> bytes{0x01, 0xab, 0x00};
    int64_t reportedSize = -1;
    // Runs inside every operation, before it answers.
    std::function<void()> onCall;
    std::atomic<bool>* destroyed = nullptr;

    std::vector<Operation> operations() {
        std::lock_guard<std::mutex> lock(mutex_);
        return operations_;
    }
    Operation last() {
        std::lock_guard<std::mutex> lock(mutex_);
        return operations_.empty() ? Operation{} : operations_.back();
    }

    VX_STATUS open(const char* locator, const char* options) override {
        locator_ = locator ? locator : "";
        uniqueLocator_ = locator_;
        return record("open", locator, options);
    }
    VX_STATUS close() override { return record("close"); }
    VX_STATUS getDescription(std::string* text) override {
        const VX_STATUS s = record("getDescription", text);
        if (s == 0 && text) *text = "recording system";
        return s;
    }
    VX_STATUS getSystemID(uint32_t* id) override { return get("getSystemID", id); }
    VX_STATUS getFirmwareVersion(uint32_t kind, uint32_t index, uint32_t* version) override {
        return get("getFirmwareVersion", kind, index, version);
    }
    VX_STATUS getNumberOfChannels(uint32_t* count) override { return get("getNumberOfChannels", count); }
    VX_STATUS getChannelType(uint32_t channel, uint32_t* type) override {
        return get("getChannelType", channel, type);
    }
    VX_STATUS getChannelSerialNumber(uint32_t channel, uint32_t* serial) override {
        return get("getChannelSerialNumber", channel, serial);
    }
    VX_STATUS getPositionerTypeList(uint32_t* list, uint32_t* size) override {
        return record("getPositionerTypeList", list, size);
    }
    VX_STATUS getPositionerTypeName(uint32_t type, char* name, uint32_t* size) override {
        return record("getPositionerTypeName", type, name, size);
    }
    VX_STATUS getPositionerTypeProperty(uint32_t type, uint32_t property, uint32_t* value) override {
        return get("getPositionerTypeProperty", type, property, value);
    }
    VX_STATUS setBufferedOutput(uint32_t mode) override { return record("setBufferedOutput", mode); }
    VX_STATUS getBufferedOutput(uint32_t* mode) override { return get("getBufferedOutput", mode); }
    VX_STATUS flushOutput() override { return record("flushOutput"); }
    VX_STATUS cancelWaitForPacket() override { return record("cancelWaitForPacket"); }
    VX_STATUS receiveNextPacket(uint32_t timeoutMs, VX_packet* packet, bool remove) override {
        const VX_STATUS s = record("receiveNextPacket", timeoutMs, packet, remove);
        if (s == 0 && packet) *packet = VX_packet{2, 1, 0, -1000, 0, 0};
        return s;
    }
    VX_STATUS discardPacket() override { return record("discardPacket"); }
    VX_STATUS getAngleLimit(uint32_t channel, bool sync, uint32_t* minAngle, int32_t* minRevolution,
                            uint32_t* maxAngle, int32_t* maxRevolution) override {
        return getSync("getAngleLimit", sync, channel, sync, minAngle, minRevolution, maxAngle,
                       maxRevolution);
    }
    VX_STATUS getChannelProperty(uint32_t channel, uint32_t key, bool sync, int32_t* value) override {
        return getSync("getChannelProperty", sync, channel, key, sync, value);
    }
    VX_STATUS getClosedLoopMoveAcceleration(uint32_t channel, bool sync, uint32_t* acceleration) override {
        return getSync("getClosedLoopMoveAcceleration", sync, channel, sync, acceleration);
    }
    VX_STATUS getClosedLoopMoveSpeed(uint32_t channel, bool sync, uint32_t* speed) override {
        return getSync("getClosedLoopMoveSpeed", sync, channel, sync, speed);
    }
    VX_STATUS getEndEffectorType(uint32_t channel, bool sync, uint32_t* type, int32_t* param1,
                                 int32_t* param2) override {
        return getSync("getEndEffectorType", sync, channel, sync, type, param1, param2);
    }
    VX_STATUS getPositionLimit(uint32_t channel, bool sync, int32_t* min, int32_t* max) override {
        return getSync("getPositionLimit", sync, channel, sync, min, max);
    }
    VX_STATUS getSafeDirection(uint32_t channel, bool sync, uint32_t* direction) override {
        return getSync("getSafeDirection", sync, channel, sync, direction);
    }
    VX_STATUS getScale(uint32_t channel, bool sync, int32_t* shift, uint32_t* inverted) override {
        return getSync("getScale", sync, channel, sync, shift, inverted);
    }
    VX_STATUS getSensorEnabled(bool sync, uint32_t* mode) override {
        return getSync("getSensorEnabled", sync, sync, mode);
    }
    VX_STATUS getSensorType(uint32_t channel, bool sync, uint32_t* type) override {
        return getSync("getSensorType", sync, channel, sync, type);
    }
    VX_STATUS getPositionerType(uint32_t channel, bool sync, uint32_t* type) override {
        return getSync("getPositionerType", sync, channel, sync, type);
    }
    VX_STATUS setAccumulateRelativePositions(uint32_t channel, uint32_t value, bool sync) override {
        return moded("setAccumulateRelativePositions", sync, channel, value, sync);
    }
    VX_STATUS setAngleLimit(uint32_t channel, uint32_t minAngle, int32_t minRevolution, uint32_t maxAngle,
                            int32_t maxRevolution, bool sync) override {
        return moded("setAngleLimit", sync, channel, minAngle, minRevolution, maxAngle, maxRevolution, sync);
    }
    VX_STATUS setChannelProperty(uint32_t channel, uint32_t key, int32_t value, bool sync) override {
        return moded("setChannelProperty", sync, channel, key, value, sync);
    }
    VX_STATUS setClosedLoopMaxFrequency(uint32_t channel, uint32_t frequency, bool sync) override {
        return moded("setClosedLoopMaxFrequency", sync, channel, frequency, sync);
    }
    VX_STATUS setClosedLoopMoveAcceleration(uint32_t channel, uint32_t acceleration, bool sync) override {
        return moded("setClosedLoopMoveAcceleration", sync, channel, acceleration, sync);
    }
    VX_STATUS setClosedLoopMoveSpeed(uint32_t channel, uint32_t speed, bool sync) override {
        return moded("setClosedLoopMoveSpeed", sync, channel, speed, sync);
    }
    VX_STATUS setEndEffectorType(uint32_t channel, uint32_t type, int32_t param1, uint32_t param2,
                                 bool sync) override {
        return moded("setEndEffectorType", sync, channel, type, param1, static_cast<int32_t>(param2), sync);
    }
    VX_STATUS setPosition(uint32_t channel, int32_t position, bool sync) override {
        return moded("setPosition", sync, channel, position, sync);
    }
    VX_STATUS setPositionLimit(uint32_t channel, int32_t min, int32_t max, bool sync) override {
        return moded("setPositionLimit", sync, channel, min, max, sync);
    }
    VX_STATUS setReportOnComplete(uint32_t channel, uint32_t value) override {
        return record("setReportOnComplete", channel, value);
    }
    VX_STATUS setReportOnTriggered(uint32_t channel, uint32_t value) override {
        return record("setReportOnTriggered", channel, value);
    }
    VX_STATUS setSafeDirection(uint32_t channel, uint32_t direction, bool sync) override {
        return moded("setSafeDirection", sync, channel, direction, sync);
    }
    VX_STATUS setScale(uint32_t channel, int32_t shift, uint32_t inverted, bool sync) override {
        return moded("setScale", sync, channel, shift, inverted, sync);
    }
    VX_STATUS setSensorEnabled(uint32_t mode, bool sync) override {
        return moded("setSensorEnabled", sync, mode, sync);
    }
    VX_STATUS setSensorType(uint32_t channel, uint32_t type, bool sync) override {
        return moded("setSensorType", sync, channel, type, sync);
    }
    VX_STATUS setStepWhileScan(uint32_t channel, uint32_t value, bool sync) override {
        return moded("setStepWhileScan", sync, channel, value, sync);
    }
    VX_STATUS setZeroForce(uint32_t channel, bool sync) override {
        return moded("setZeroForce", sync, channel, sync);
    }
    VX_STATUS appendTriggeredCommand(uint32_t channel, int32_t value) override {
        return record("appendTriggeredCommand", channel, value);
    }
    VX_STATUS clearTriggeredCommandQueue(uint32_t channel) override {
        return record("clearTriggeredCommandQueue", channel);
    }
    VX_STATUS calibrateSensor(uint32_t channel, bool sync) override {
        return moded("calibrateSensor", sync, channel, sync);
    }
    VX_STATUS findReferenceMark(uint32_t channel, uint32_t direction, uint32_t holdTime, uint32_t autoZero,
                                bool sync) override {
        return moded("findReferenceMark", sync, channel, direction, holdTime, autoZero, sync);
    }
    VX_STATUS gotoAngle(uint32_t channel, int32_t angle, int32_t revolution, uint32_t holdTime,
                        uint8_t opcode, bool sync) override {
        return moded("gotoAngle", sync, channel, angle, revolution, holdTime, opcode, sync);
    }
    VX_STATUS gotoGripperForceAbsolute(uint32_t channel, int32_t force, int32_t speed, uint32_t holdTime,
                                       bool sync) override {
        return moded("gotoGripperForceAbsolute", sync, channel, force, speed, holdTime, sync);
    }
    VX_STATUS gotoGripperOpeningAbsolute(uint32_t channel, uint32_t opening, int32_t speed, bool sync) override {
        return moded("gotoGripperOpeningAbsolute", sync, channel, opening, speed, sync);
    }
    VX_STATUS gotoGripperOpeningRelative(uint32_t channel, int32_t difference, int32_t speed,
                                         bool sync) override {
        return moded("gotoGripperOpeningRelative", sync, channel, difference, speed, sync);
    }
    VX_STATUS gotoPosition(uint32_t channel, int32_t position, uint32_t holdTime, bool relative,
                           bool sync) override {
        return moded("gotoPosition", sync, channel, position, holdTime, relative, sync);
    }
    VX_STATUS scanMoveAbsolute(uint32_t channel, uint32_t target, int32_t scanSpeed, bool sync) override {
        return moded("scanMoveAbsolute", sync, channel, target, scanSpeed, sync);
    }
    VX_STATUS scanMoveRelative(uint32_t channel, int32_t difference, int32_t scanSpeed, bool sync) override {
        return moded("scanMoveRelative", sync, channel, difference, scanSpeed, sync);
    }
    VX_STATUS stepMove(uint32_t channel, int32_t steps, uint32_t amplitude, uint32_t frequency,
                       bool sync) override {
        return moded("stepMove", sync, channel, steps, amplitude, frequency, sync);
    }
    VX_STATUS stop(uint32_t channel, bool sync) override { return moded("stop", sync, channel, sync); }
    VX_STATUS triggerCommand(uint32_t value) override { return record("triggerCommand", value); }
    VX_STATUS getStatus(uint32_t channel, bool sync, uint32_t* status) override {
        return getSync("getStatus", sync, channel, sync, status);
    }
    VX_STATUS getPosition(uint32_t channel, bool sync, int32_t* position) override {
        return getSync("getPosition", sync, channel, sync, position);
    }
    VX_STATUS getAngle(uint32_t channel, bool sync, uint32_t* angle, int32_t* revolution) override {
        return getSync("getAngle", sync, channel, sync, angle, revolution);
    }
    VX_STATUS getCaptureBuffer(uint32_t channel, uint32_t bufferIndex, bool sync, VX_packet* record) override {
        const VX_STATUS s = moded("getCaptureBuffer", sync, channel, bufferIndex, sync, record);
        if (s == 0 && record) *record = VX_packet{20, channel, bufferIndex, 5, -6, 7};
        return s;
    }
    VX_STATUS getForce(uint32_t channel, bool sync, int32_t* force) override {
        return getSync("getForce", sync, channel, sync, force);
    }
    VX_STATUS getGripperOpening(uint32_t channel, bool sync, uint32_t* opening) override {
        return getSync("getGripperOpening", sync, channel, sync, opening);
    }
    VX_STATUS getPhysicalPositionKnown(uint32_t channel, bool sync, uint32_t* known) override {
        return getSync("getPhysicalPositionKnown", sync, channel, sync, known);
    }
    VX_STATUS getVoltageLevel(uint32_t channel, bool sync, uint32_t* level) override {
        return getSync("getVoltageLevel", sync, channel, sync, level);
    }
    VX_STATUS setHCMEnabled(uint32_t mode) override { return record("setHCMEnabled", mode); }
    VX_STATUS setDebuggingEnabled(uint32_t channel, uint32_t enabled, bool sync) override {
        return moded("setDebuggingEnabled", sync, channel, enabled, sync);
    }
    VX_STATUS readDebugValue(uint32_t channel, uint32_t index, bool sync, uint32_t* value) override {
        return getSync("readDebugValue", sync, channel, index, sync, value);
    }
    VX_STATUS writeDebugValue(uint32_t channel, uint32_t index, int32_t value, bool sync) override {
        return moded("writeDebugValue", sync, channel, index, value, sync);
    }
    VX_STATUS readTuningParameter(uint32_t channel, uint32_t index, bool sync, uint32_t* value) override {
        return getSync("readTuningParameter", sync, channel, index, sync, value);
    }
    VX_STATUS writeTuningParameter(uint32_t channel, uint32_t index, int32_t value, bool sync) override {
        return moded("writeTuningParameter", sync, channel, index, value, sync);
    }
    VX_STATUS readConfigParameter(uint32_t channel, uint32_t index, bool sync, uint32_t* value) override {
        return getSync("readConfigParameter", sync, channel, index, sync, value);
    }
    VX_STATUS writeConfigParameter(uint32_t channel, uint32_t index, int32_t value, bool sync) override {
        return moded("writeConfigParameter", sync, channel, index, value, sync);
    }
    VX_STATUS writeSpeedLevelTableSize(int32_t size) override {
        return record("writeSpeedLevelTableSize", size);
    }
    VX_STATUS readSpeedLevelTableSize(uint32_t* size) override { return get("readSpeedLevelTableSize", size); }
    VX_STATUS writeSpeedLevelTableEntry(uint32_t index, uint32_t value1, uint32_t value2,
                                        uint32_t value3) override {
        return record("writeSpeedLevelTableEntry", index, value1, value2, value3);
    }
    VX_STATUS readSpeedLevelTableEntry(int32_t index, uint32_t* value1, uint32_t* value2,
                                       uint32_t* value3) override {
        return get("readSpeedLevelTableEntry", index, value1, value2, value3);
    }
    VX_STATUS writeSpeedLevelTableToEEPROM() override { return record("writeSpeedLevelTableToEEPROM"); }
    VX_STATUS getFeaturePermissions(uint32_t channel, uint8_t* data, uint32_t* size) override {
        return fillBytes(record("getFeaturePermissions", channel, data, size), data, size);
    }
    VX_STATUS readHCMConfigSlot(uint32_t slot, uint8_t* data, uint32_t* size) override {
        return fillBytes(record("readHCMConfigSlot", slot, data, size), data, size);
    }
    VX_STATUS writeHCMConfigSlot(uint32_t slot, const uint8_t* data, uint32_t* size) override {
        return record("writeHCMConfigSlot", slot, data, size);
    }
    VX_STATUS readHCMEepromType(uint32_t* type) override { return get("readHCMEepromType", type); }
    VX_STATUS writeCustomSensorTypeConfiguration(uint32_t channel, uint32_t value, bool sync) override {
        return moded("writeCustomSensorTypeConfiguration", sync, channel, value, sync);
    }
    VX_STATUS readIndexFromIndexMap(uint8_t index, uint8_t* value) override {
        const VX_STATUS s = record("readIndexFromIndexMap", index, value);
        if (s == 0 && value) *value = 'Z';
        return s;
    }
    VX_STATUS writeIndexToIndexMap(uint8_t index, uint8_t value) override {
        return record("writeIndexToIndexMap", index, value);
    }
    VX_STATUS finalizeIndexMap() override { return record("finalizeIndexMap"); }

private:
    template <typename... A>
    VX_STATUS record(const char* name, A... arguments) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            operations_.push_back(Operation{name, {recorded(arguments)...}});
        }
        if (onCall) onCall();
        return status;
    }

    template <typename... A>
    VX_STATUS moded(const char* name, bool sync, A... arguments) {
        const VX_STATUS s = record(name, arguments...);
        return sync == async_ ? 13 : s;
    }

    template <typename P>
    void put(P* pointer, std::size_t& next) {
        if constexpr (!std::is_same_v<P, uint32_t> && !std::is_same_v<P, int32_t>) {
            return;
        } else {
            if (pointer && next < outputs.size()) *pointer = static_cast<P>(outputs[next]);
            ++next;
        }
    }

    template <typename... A>
    void fill(A... arguments) {
        std::size_t next = 0;
        (
            [&] {
                if constexpr (std::is_pointer_v<A>) put(arguments, next);
            }(),
            ...);
    }

    template <typename... A>
    VX_STATUS get(const char* name, A... arguments) {
        const VX_STATUS s = record(name, arguments...);
        if (s == 0) fill(arguments...);
        return s;
    }

    template <typename... A>
    VX_STATUS getSync(const char* name, bool sync, A... arguments) {
        const VX_STATUS s = moded(name, sync, arguments...);
        if (s == 0) fill(arguments...);
        return s;
    }

    VX_STATUS fillBytes(VX_STATUS s, uint8_t* data, uint32_t* size) {
        if (s != 0 || !size) return s;
        if (*size < bytes.size()) {
            *size = 0;
            return 17;
        }
        if (data && !bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
        *size = reportedSize >= 0 ? static_cast<uint32_t>(reportedSize) : static_cast<uint32_t>(bytes.size());
        return 0;
    }

    const bool async_;
    std::mutex mutex_;
    std::vector<Operation> operations_;
};

}  // namespace vxtest
