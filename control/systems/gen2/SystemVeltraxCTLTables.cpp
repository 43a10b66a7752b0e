#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "common/CtlLibrary.h"
#include "systems/gen2/CtlBatches.h"
#include "systems/gen2/CtlConversions.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace qmx {

namespace {

constexpr int32_t kLinear = 2;
constexpr int32_t kRotary = 3;
constexpr int32_t kMoveStep = 4;

// Channel state bits.
constexpr int32_t kStateMotion = 0x3;
constexpr int32_t kStateCalibrating = 0x4;
constexpr int32_t kStateReferencing = 0x8;
constexpr int32_t kStateMoveDelay = 0x10;
constexpr int32_t kStatePositionKnown = 0x80;

// First-generation channel status values.
constexpr uint32_t kStatusStopped = 0;
constexpr uint32_t kStatusStepping = 1;
constexpr uint32_t kStatusScanning = 2;
constexpr uint32_t kStatusHolding = 3;
constexpr uint32_t kStatusTargeting = 4;
constexpr uint32_t kStatusMoveDelay = 5;
constexpr uint32_t kStatusCalibrating = 6;
constexpr uint32_t kStatusFindingReference = 7;

constexpr int64_t kVoltageDivisor = 16;
constexpr int32_t kAmplitudeDivisor = 16;
constexpr int32_t kLargestSpeedLevelTable = 20;

// Hand control module modes as the controller numbers them: on and off
// the other way round.
constexpr std::array<int32_t, 3> kHandControlModes = {1, 0, 2};

// getFeaturePermissions: both feature values together grant the feature.
constexpr int32_t kFeatureGrantedA = 4;
constexpr int32_t kFeatureGrantedBit = 0x1;

template <typename T>
void put(T* out, T value) {
    if (out) *out = value;
}

uint32_t statusOfState(int32_t state, int32_t moveMode) {
    if (state & kStateCalibrating) return kStatusCalibrating;
    if (state & kStateReferencing) return kStatusFindingReference;
    if (state & kStateMoveDelay) return kStatusMoveDelay;
    switch (state & kStateMotion) {
    case 3:
        return kStatusTargeting;
    case 2:
        return kStatusHolding;
    case 1:
        return moveMode == kMoveStep ? kStatusStepping : kStatusScanning;
    default:
        return kStatusStopped;
    }
}

SystemVeltraxCTL::Requests readKey(uint32_t key, uint32_t channel) {
    return [=](ReadQueue& batch) { return batch.request(key, static_cast<uint8_t>(channel)); };
}

}  // namespace

VX_STATUS SystemVeltraxCTL::getStatus(uint32_t channel, bool sync, uint32_t* status) {
    int32_t moveMode = 0;
    if (const VX_STATUS refused = checkChannel(sync, channel, [&](ChannelRecord& record) {
            moveMode = record.moveMode;
            return VX_OK;
        }))
        return refused;
    return runGetter(
        sync, readKey(ctlkey::kChannelState, channel),
        [=](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
            packet.packetType = VX_PACKET_STATUS;
            packet.channelIndex = channel;
            int32_t state = 0;
            if (const VX_STATUS failed = batch.popI32(&state)) return failed;
            packet.data1 = statusOfState(state, moveMode);
            return VX_OK;
        },
        [=](const VX_packet& packet) { put(status, packet.data1); });
}

VX_STATUS SystemVeltraxCTL::getPosition(uint32_t channel, bool sync, int32_t* position) {
    if (const VX_STATUS status = checkChannel(sync, channel, [](ChannelRecord& record) {
            return record.movementType == kLinear ? VX_OK : VX_WRONG_SENSOR_TYPE;
        }))
        return status;
    return runGetter(
        sync, readKey(ctlkey::kPosition, channel),
        [=](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
            packet.packetType = VX_PACKET_POSITION;
            packet.channelIndex = channel;
            int64_t raw = 0;
            if (const VX_STATUS status = batch.popI64(&raw)) return status;
            packet.data2 = scaleDown(raw);
            return VX_OK;
        },
        [=](const VX_packet& packet) { put(position, packet.data2); });
}

VX_STATUS SystemVeltraxCTL::getAngle(uint32_t channel, bool sync, uint32_t* angle, int32_t* revolution) {
    if (const VX_STATUS status = checkChannel(sync, channel, [](ChannelRecord& record) {
            return record.movementType == kRotary ? VX_OK : VX_WRONG_SENSOR_TYPE;
        }))
        return status;
    return runGetter(
        sync, readKey(ctlkey::kPosition, channel),
        [=](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
            packet.packetType = VX_PACKET_ANGLE;
            packet.channelIndex = channel;
            int64_t raw = 0;
            if (const VX_STATUS status = batch.popI64(&raw)) return status;
            toAngleAndRevolution(raw, &packet.data1, &packet.data2);
            return VX_OK;
        },
        [=](const VX_packet& packet) {
            put(angle, packet.data1);
            put(revolution, packet.data2);
        });
}

VX_STATUS SystemVeltraxCTL::getPhysicalPositionKnown(uint32_t channel, bool sync, uint32_t* known) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runGetter(
        sync, readKey(ctlkey::kChannelState, channel),
        [=](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
            packet.packetType = VX_PACKET_PHYSICAL_POSITION_KNOWN;
            packet.channelIndex = channel;
            int32_t state = 0;
            if (const VX_STATUS status = batch.popI32(&state)) return status;
            packet.data1 = (state & kStatePositionKnown) ? 1 : 0;
            return VX_OK;
        },
        [=](const VX_packet& packet) { put(known, packet.data1); });
}

VX_STATUS SystemVeltraxCTL::getVoltageLevel(uint32_t channel, bool sync, uint32_t* level) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runGetter(
        sync, readKey(ctlkey::kVoltageLevel, channel),
        [=](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
            packet.packetType = VX_PACKET_VOLTAGE_LEVEL;
            packet.channelIndex = channel;
            int64_t raw = 0;
            if (const VX_STATUS status = batch.popI64(&raw)) return status;
            packet.data1 = static_cast<uint32_t>(raw / kVoltageDivisor);
            return VX_OK;
        },
        [=](const VX_packet& packet) { put(level, packet.data1); });
}

VX_STATUS SystemVeltraxCTL::getCaptureBuffer(uint32_t, uint32_t, bool, VX_packet*) { return VX_UNKNOWN_COMMAND; }
VX_STATUS SystemVeltraxCTL::getForce(uint32_t, bool, int32_t*) { return VX_WRONG_CHANNEL_TYPE; }
VX_STATUS SystemVeltraxCTL::getGripperOpening(uint32_t, bool, uint32_t*) { return VX_WRONG_CHANNEL_TYPE; }
VX_STATUS SystemVeltraxCTL::writeCustomSensorTypeConfiguration(uint32_t, uint32_t, bool) { return VX_UNKNOWN_COMMAND; }
VX_STATUS SystemVeltraxCTL::readIndexFromIndexMap(uint8_t, uint8_t*) { return VX_UNKNOWN_COMMAND; }
VX_STATUS SystemVeltraxCTL::writeIndexToIndexMap(uint8_t, uint8_t) { return VX_UNKNOWN_COMMAND; }
VX_STATUS SystemVeltraxCTL::finalizeIndexMap() { return VX_UNKNOWN_COMMAND; }

VX_STATUS SystemVeltraxCTL::setHCMEnabled(uint32_t mode) {
    if (mode_.load() == kClosed) return VX_NOT_INITIALIZED;
    if (mode >= kHandControlModes.size()) return VX_INVALID_PARAMETER;
    // Always waited for, on the caller's thread, in either mode.
    WriteQueue batch(*this);
    if (const VX_STATUS status = batch.requestI32(ctlkey::kHandControlModuleMode, 0, kHandControlModes[mode]))
        return status;
    return batch.commit(true);
}

VX_STATUS SystemVeltraxCTL::setDebuggingEnabled(uint32_t channel, uint32_t enabled, bool sync) {
    return checkChannel(sync, channel, [&](ChannelRecord& record) -> VX_STATUS {
        if (enabled > 1) return VX_INVALID_PARAMETER;
        record.debuggingEnabled = enabled == 1;
        return VX_OK;
    });
}

VX_STATUS SystemVeltraxCTL::readDebugValue(uint32_t channel, uint32_t index, bool sync, uint32_t* value) {
    if (const VX_STATUS status = checkChannel(sync, channel, [](ChannelRecord& record) {
            return record.debuggingEnabled ? VX_OK : VX_UNKNOWN_COMMAND;
        }))
        return status;
    return readNumberedValue(sync, channel, index, debugValueBatch, kUnknownDebugValue, VX_PACKET_DEBUG_VALUE,
                             value);
}

VX_STATUS SystemVeltraxCTL::writeDebugValue(uint32_t channel, uint32_t, int32_t, bool sync) {
    return checkChannel(sync, channel, [](ChannelRecord& record) {
        return record.debuggingEnabled ? kUnknownDebugValue : VX_UNKNOWN_COMMAND;
    });
}

VX_STATUS SystemVeltraxCTL::readTuningParameter(uint32_t channel, uint32_t index, bool sync, uint32_t* value) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return readNumberedValue(sync, channel, index, tuningParameterBatch, kUnknownTuningParameter,
                             VX_PACKET_PARAMETER, value);
}

VX_STATUS SystemVeltraxCTL::readNumberedValue(bool sync, uint32_t channel, uint32_t index, NumberedTable table,
                                              VX_STATUS unknown, uint32_t packetType, uint32_t* value) {
    return runGetter(
        sync,
        [=](ReadQueue& batch) -> VX_STATUS {
            const BatchEntry* entry = table(index);
            if (!entry) return unknown;
            return entry->readRequest(batch, static_cast<uint8_t>(channel));
        },
        [=](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
            packet.packetType = packetType;
            packet.channelIndex = channel;
            packet.data1 = index;
            return table(index)->readResult(batch, static_cast<uint8_t>(channel), &packet.data2);
        },
        [=](const VX_packet& packet) { put(value, static_cast<uint32_t>(packet.data2)); });
}

VX_STATUS SystemVeltraxCTL::writeTuningParameter(uint32_t channel, uint32_t index, int32_t value, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runSetter(sync, [=](WriteQueue& batch, uint32_t) -> VX_STATUS {
        const BatchEntry* entry = tuningParameterBatch(index);
        if (!entry) return kUnknownTuningParameter;
        return entry->writeRequest(batch, static_cast<uint8_t>(channel), value);
    });
}

VX_STATUS SystemVeltraxCTL::readConfigParameter(uint32_t channel, uint32_t index, bool sync, uint32_t* value) {
    return readTuningParameter(channel, index, sync, value);
}

VX_STATUS SystemVeltraxCTL::writeConfigParameter(uint32_t channel, uint32_t index, int32_t value, bool sync) {
    return writeTuningParameter(channel, index, value, sync);
}

void SystemVeltraxCTL::loadSpeedLevelTableIfEmpty() {
    // A failed load leaves the table empty; the next operation tries again.
    if (speedLevelTable_.empty()) readSpeedLevelTable();
}

VX_STATUS SystemVeltraxCTL::writeSpeedLevelTableSize(int32_t size) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (handControlModuleFirmwareVersion_ == 0) return VX_TIMEOUT;
    if (size < 0 || size > kLargestSpeedLevelTable) return VX_INVALID_PARAMETER;
    loadSpeedLevelTableIfEmpty();
    speedLevelTable_.resize(static_cast<size_t>(size));
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::readSpeedLevelTableSize(uint32_t* size) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (handControlModuleFirmwareVersion_ == 0) return VX_TIMEOUT;
    loadSpeedLevelTableIfEmpty();
    put(size, static_cast<uint32_t>(speedLevelTable_.size()));
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::writeSpeedLevelTableEntry(uint32_t index, uint32_t steps, uint32_t amplitude,
                                                      uint32_t frequency) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (handControlModuleFirmwareVersion_ == 0) return VX_TIMEOUT;
    loadSpeedLevelTableIfEmpty();
    if (index >= speedLevelTable_.size()) return VX_INVALID_PARAMETER;
    const double scaled = std::trunc(static_cast<double>(static_cast<int32_t>(amplitude)) * 65535.0 / 4095.0);
    if (scaled < std::numeric_limits<int32_t>::min() || scaled > std::numeric_limits<int32_t>::max())
        return VX_INVALID_PARAMETER;
    speedLevelTable_[index] = {steps, static_cast<uint32_t>(static_cast<int32_t>(scaled)), frequency};
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::readSpeedLevelTableEntry(int32_t index, uint32_t* steps, uint32_t* amplitude,
                                                     uint32_t* frequency) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (handControlModuleFirmwareVersion_ == 0) return VX_TIMEOUT;
    loadSpeedLevelTableIfEmpty();
    if (index < 0 || static_cast<size_t>(index) >= speedLevelTable_.size()) return VX_INVALID_PARAMETER;
    const SpeedLevel& entry = speedLevelTable_[static_cast<size_t>(index)];
    put(steps, entry.steps);
    put(amplitude, static_cast<uint32_t>(static_cast<int32_t>(entry.amplitude) / kAmplitudeDivisor));
    put(frequency, entry.frequency);
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::writeSpeedLevelTableToEEPROM() {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (handControlModuleFirmwareVersion_ == 0) return VX_TIMEOUT;
    if (speedLevelTable_.empty()) return VX_OK;
    std::array<std::vector<int32_t>, 3> columns;
    for (const SpeedLevel& entry : speedLevelTable_) {
        columns[0].push_back(static_cast<int32_t>(entry.steps));
        columns[1].push_back(static_cast<int32_t>(entry.amplitude));
        columns[2].push_back(static_cast<int32_t>(entry.frequency));
    }
    const std::array<uint32_t, 3> keys = {ctlkey::kSpeedLevelSteps, ctlkey::kSpeedLevelAmplitude,
                                          ctlkey::kSpeedLevelFrequency};
    WriteQueue batch(*this);
    for (size_t i = 0; i < keys.size(); ++i)
        if (const VX_STATUS status = batch.requestArrayI32(keys[i], 0, columns[i].data(), columns[i].size()))
            return status;
    return batch.commit(true);
}

VX_STATUS SystemVeltraxCTL::getFeaturePermissions(uint32_t channel, uint8_t* bytes, uint32_t* size) {
    uint8_t module = 0;
    {
        std::lock_guard<std::mutex> api(apiMutex_);
        // The flag of the open mode: only a closed system is refused.
        if (const VX_STATUS status = checkMode(mode_.load() == kSynchronous)) return status;
        if (channel >= channels_.size()) return VX_INVALID_CHANNEL_INDEX;
        module = channels_[channel].moduleIndex;
    }
    {
        WriteQueue select(*this);
        if (const VX_STATUS status = select.requestI32(ctlkey::kChannelVersionSelect, module, 0)) return status;
        if (const VX_STATUS status = select.commit(true)) return status;
    }
    ReadQueue batch(*this);
    if (const VX_STATUS status = batch.request(ctlkey::kFeatureValueA, module)) return status;
    if (const VX_STATUS status = batch.request(ctlkey::kFeatureValueB, module)) return status;
    int32_t a = 0, b = 0;
    if (const VX_STATUS status = batch.popI32(&a)) return status;
    if (const VX_STATUS status = batch.popI32(&b)) return status;
    const bool granted = a == kFeatureGrantedA && (b & kFeatureGrantedBit);
    if (!size) return VX_INVALID_PARAMETER;
    if (*size == 0) return VX_ID_LIST_TOO_SMALL;
    if (!bytes) return VX_INVALID_PARAMETER;
    bytes[0] = static_cast<uint8_t>(~static_cast<uint8_t>(granted ? 1 : 0));
    *size = 1;
    return VX_OK;
}

namespace {

// The hand control module's configuration is not reachable this way.
VX_STATUS handControlModuleSlotStatus(uint32_t firmwareVersion) {
    return firmwareVersion != 0 ? VX_UNKNOWN_COMMAND : VX_TIMEOUT;
}

}  // namespace

VX_STATUS SystemVeltraxCTL::readHCMConfigSlot(uint32_t, uint8_t*, uint32_t*) {
    std::lock_guard<std::mutex> api(apiMutex_);
    return handControlModuleSlotStatus(handControlModuleFirmwareVersion_);
}

VX_STATUS SystemVeltraxCTL::writeHCMConfigSlot(uint32_t, const uint8_t*, uint32_t*) {
    std::lock_guard<std::mutex> api(apiMutex_);
    return handControlModuleSlotStatus(handControlModuleFirmwareVersion_);
}

VX_STATUS SystemVeltraxCTL::readHCMEepromType(uint32_t*) {
    std::lock_guard<std::mutex> api(apiMutex_);
    return handControlModuleSlotStatus(handControlModuleFirmwareVersion_);
}

}  // namespace qmx
