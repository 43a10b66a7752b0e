#include <cstring>
#include <memory>
#include <utility>

#include "common/CtlLibrary.h"
#include "common/PositionerTypes.h"
#include "systems/gen2/CtlBatches.h"
#include "systems/gen2/CtlConversions.h"
#include "systems/gen2/CtlSensorTypes.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace qmx {

namespace {

// Kinds of getFirmwareVersion.
constexpr uint32_t kInterfaceFirmware = 1;
constexpr uint32_t kChannelFirmware = 2;
constexpr uint32_t kChannelSecondFirmware = 3;
constexpr uint32_t kHandControlFirmware = 5;
constexpr uint32_t kEndEffectorFirmware = 9;

constexpr uint32_t kChannelTypePositioner = 0;
constexpr int32_t kLinear = 2;
constexpr int32_t kRotary = 3;
constexpr int64_t kAccelerationScale = 1000000;

// Properties of a positioner type in getPositionerTypeProperty.
constexpr uint32_t kTypeMovement = 1;
constexpr uint32_t kTypeSecondNumber = 2;
constexpr int32_t kLargestSecondNumber = 3;

// The library's own positioner-type table answers 9 for a type it lacks.
constexpr VX_STATUS kTypeNotInTable = VX_INVALID_PARAMETER;

template <typename T>
void put(T* out, T value) {
    if (out) *out = value;
}

// Requests these keys of the channel, in order.
SystemVeltraxCTL::Requests readKeys(std::initializer_list<uint32_t> keys, uint32_t channel) {
    std::vector<uint32_t> all(keys);
    return [all, channel](ReadQueue& batch) -> VX_STATUS {
        for (const uint32_t key : all)
            if (const VX_STATUS status = batch.request(key, static_cast<uint8_t>(channel))) return status;
        return VX_OK;
    };
}

// The packet's type and channel, then `convert` fills its words.
template <typename Convert>
SystemVeltraxCTL::Fill fill(uint32_t type, uint32_t channel, Convert convert) {
    return [type, channel, convert](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
        packet.packetType = type;
        packet.channelIndex = channel;
        return convert(batch, packet);
    };
}

VX_STATUS requireMovement(const SystemVeltraxCTL::ChannelRecord& record, int32_t movementType) {
    return record.movementType == movementType ? VX_OK : VX_WRONG_SENSOR_TYPE;
}

}  // namespace

VX_STATUS SystemVeltraxCTL::checkChannel(bool sync, uint32_t channel, const RecordCheck& check) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (const VX_STATUS status = checkMode(sync)) return status;
    if (channel >= channels_.size()) return VX_INVALID_CHANNEL_INDEX;
    return check ? check(channels_[channel]) : VX_OK;
}

VX_STATUS SystemVeltraxCTL::runGetter(bool sync, const Requests& requests, Fill fillPacket, Delivery delivery) {
    CommandGroup group(*this);
    if (const VX_STATUS status = group.open()) return status;
    auto batch = std::make_shared<ReadQueue>(*this, group.transmitHandle());
    if (const VX_STATUS status = requests(*batch)) return status;
    // A group with nothing in it is not sent: the guard drops it.
    if (batch->pending() > 0)
        if (const VX_STATUS status = group.close()) return status;
    return submitJob(
        sync,
        [batch, ticket = group.ticket(), fillPacket = std::move(fillPacket)](VX_packet& packet) {
            return ticket->outcome(fillPacket(*batch, packet));
        },
        std::move(delivery));
}

VX_STATUS SystemVeltraxCTL::getDescription(std::string* text) {
    if (text) text->clear();
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::getSystemID(uint32_t*) { return VX_OTHER_ERROR; }

VX_STATUS SystemVeltraxCTL::getFirmwareVersion(uint32_t kind, uint32_t index, uint32_t* version) {
    std::lock_guard<std::mutex> api(apiMutex_);
    switch (kind) {
    case kInterfaceFirmware:
        put(version, interfaceFirmwareVersion_);
        return VX_OK;
    case kChannelFirmware:
    case kChannelSecondFirmware:
        if (mode_.load() == kClosed) return VX_NOT_INITIALIZED;
        if (index >= channels_.size()) return VX_INVALID_CHANNEL_INDEX;
        put(version, kind == kChannelFirmware ? channels_[index].firmwareVersion1 : channels_[index].firmwareVersion2);
        return VX_OK;
    case kHandControlFirmware:
        if (handControlModuleFirmwareVersion_ == 0) return VX_OTHER_ERROR;
        put(version, handControlModuleFirmwareVersion_);
        return VX_OK;
    case kEndEffectorFirmware:
        return VX_WRONG_CHANNEL_TYPE;
    default:
        return VX_INVALID_PARAMETER;
    }
}

VX_STATUS SystemVeltraxCTL::getNumberOfChannels(uint32_t* count) {
    std::lock_guard<std::mutex> api(apiMutex_);
    put(count, static_cast<uint32_t>(channels_.size()));
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::getChannelType(uint32_t channel, uint32_t* type) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (mode_.load() == kClosed) return VX_NOT_INITIALIZED;
    if (channel >= channels_.size()) return VX_INVALID_CHANNEL_INDEX;
    put(type, kChannelTypePositioner);
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::getChannelSerialNumber(uint32_t channel, uint32_t* serial) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (mode_.load() == kClosed) return VX_NOT_INITIALIZED;
    if (channel >= channels_.size()) return VX_INVALID_CHANNEL_INDEX;
    put(serial, 0u);
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::getPositionerTypeList(uint32_t* list, uint32_t* size) {
    if (!size) return VX_INVALID_PARAMETER;
    const uint32_t capacity = *size;
    *size = static_cast<uint32_t>(positionerTypes_.size());
    if (positionerTypes_.size() > capacity) return VX_QUERY_BUFFER_SIZE;
    if (!list && !positionerTypes_.empty()) return VX_INVALID_PARAMETER;
    for (const auto& [code, entry] : positionerTypes_) *list++ = static_cast<uint32_t>(code);
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::getPositionerTypeName(uint32_t type, char* name, uint32_t* size) {
    if (!size) return VX_INVALID_PARAMETER;
    const uint32_t capacity = *size;
    const VX_STATUS fromTable = positionerTypeName(type, name, size);
    if (fromTable != kTypeNotInTable) return fromTable;
    *size = capacity;
    const auto found = positionerTypes_.find(static_cast<int32_t>(type));
    if (found == positionerTypes_.end()) return VX_INVALID_PARAMETER;
    const std::string& text = found->second.name;
    const auto needed = static_cast<uint32_t>(text.size() + 1);
    *size = needed;
    if (capacity < needed) return VX_QUERY_BUFFER_SIZE;
    if (!name) return VX_INVALID_PARAMETER;
    std::memcpy(name, text.c_str(), needed);
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::getPositionerTypeProperty(uint32_t type, uint32_t property, uint32_t* value) {
    const VX_STATUS fromTable = positionerTypeProperty(type, property, value);
    if (fromTable != kTypeNotInTable) return fromTable;
    const auto found = positionerTypes_.find(static_cast<int32_t>(type));
    if (found == positionerTypes_.end()) return VX_INVALID_PARAMETER;
    const PositionerTypeEntry& entry = found->second;
    switch (property) {
    case kTypeMovement:
        if (entry.movementType == kLinear) put(value, 0u);
        else if (entry.movementType == kRotary) put(value, 1u);
        else return VX_COMPATIBILITY_ERROR;
        return VX_OK;
    case kTypeSecondNumber:
        if (entry.secondNumber < 0 || entry.secondNumber > kLargestSecondNumber) return VX_COMPATIBILITY_ERROR;
        put(value, static_cast<uint32_t>(entry.secondNumber));
        return VX_OK;
    default:
        return VX_INVALID_PROPERTY;
    }
}

VX_STATUS SystemVeltraxCTL::setBufferedOutput(uint32_t mode) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (const VX_STATUS status = checkMode(false)) return status;
    if (mode > 1) return VX_INVALID_PARAMETER;
    bufferedOutput_.store(mode == 1);
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::getBufferedOutput(uint32_t* mode) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (const VX_STATUS status = checkMode(false)) return status;
    put(mode, bufferedOutput_.load() ? 1u : 0u);
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::flushOutput() {
    {
        std::lock_guard<std::mutex> api(apiMutex_);
        if (const VX_STATUS status = checkMode(false)) return status;
    }
    std::deque<std::shared_ptr<GroupTicket>> groups;
    std::deque<Job> jobs;
    uint64_t session = 0;
    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        groups.swap(parkedGroups_);
        jobs.swap(parkedJobs_);
        session = session_;
    }
    // A close sends, and can wait for seconds: no driver mutex is held.
    VX_STATUS result = VX_OK;
    for (const std::shared_ptr<GroupTicket>& group : groups) {
        const uint32_t handle = group->transmitHandle();
        const uint32_t closed = callDevice(
            [&](const CtlFunctions& f, VX_CTL_DeviceHandle device) { return f.CloseCommandGroup(device, handle); });
        if (closed != ctlresult::kOk) {
            result = mapCtlResult(closed);
        } else {
            groupWatch_.arm(*group);
        }
    }
    if (flushPause_) flushPause_();
    {
        std::lock_guard<std::mutex> lock(packetMutex_);
        // A system that closed meanwhile runs no more jobs, nor does a
        // session opened since run them: their request IDs were given by
        // the device closed.
        if (!closed_ && session_ == session) {
            for (Job& job : jobs) jobs_.push_back(std::move(job));
            jobs.clear();
            jobCondition_.notify_all();
        }
    }
    // Jobs and groups not handed on end here, outside the packet mutex: a
    // ticket's end takes the watch's mutex.
    return result;
}

VX_STATUS SystemVeltraxCTL::getAngleLimit(uint32_t channel, bool sync, uint32_t* minAngle, int32_t* minRevolution,
                                          uint32_t* maxAngle, int32_t* maxRevolution) {
    if (const VX_STATUS status =
            checkChannel(sync, channel, [](ChannelRecord& record) { return requireMovement(record, kRotary); }))
        return status;
    return runGetter(
        sync, readKeys({ctlkey::kRangeLimitMin, ctlkey::kRangeLimitMax}, channel),
        fill(VX_PACKET_ANGLE_LIMIT, channel,
             [](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
                 int64_t min = 0, max = 0;
                 if (const VX_STATUS status = batch.popI64(&min)) return status;
                 if (const VX_STATUS status = batch.popI64(&max)) return status;
                 toAngleAndRevolution(min, &packet.data1, &packet.data2);
                 toAngleAndRevolution(max, &packet.data4, &packet.data3);
                 return VX_OK;
             }),
        [=](const VX_packet& packet) {
            put(minAngle, packet.data1);
            put(minRevolution, packet.data2);
            put(maxAngle, packet.data4);
            put(maxRevolution, packet.data3);
        });
}

VX_STATUS SystemVeltraxCTL::getChannelProperty(uint32_t channel, uint32_t key, bool sync, int32_t* value) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runGetter(
        sync,
        [key, channel](ReadQueue& batch) -> VX_STATUS {
            const BatchEntry* entry = channelPropertyBatch(key);
            if (!entry) return VX_INVALID_PROPERTY;
            return entry->readRequest(batch, static_cast<uint8_t>(channel));
        },
        // The key was found before the job exists.
        [key, channel](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
            packet.packetType = VX_PACKET_CHANNEL_PROPERTY;
            packet.channelIndex = channel;
            packet.data1 = key;
            return channelPropertyBatch(key)->readResult(batch, static_cast<uint8_t>(channel), &packet.data2);
        },
        [=](const VX_packet& packet) { put(value, packet.data2); });
}

VX_STATUS SystemVeltraxCTL::getClosedLoopMoveAcceleration(uint32_t channel, bool sync, uint32_t* acceleration) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runGetter(sync, readKeys({ctlkey::kMoveAcceleration}, channel),
                     fill(VX_PACKET_CLOSED_LOOP_MOVE_ACCELERATION, channel,
                          [](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
                              int64_t raw = 0;
                              if (const VX_STATUS status = batch.popI64(&raw)) return status;
                              packet.data1 = static_cast<uint32_t>(roundedDivide(raw, kAccelerationScale));
                              return VX_OK;
                          }),
                     [=](const VX_packet& packet) { put(acceleration, packet.data1); });
}

VX_STATUS SystemVeltraxCTL::getClosedLoopMoveSpeed(uint32_t channel, bool sync, uint32_t* speed) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runGetter(sync, readKeys({ctlkey::kMoveVelocity}, channel),
                     fill(VX_PACKET_CLOSED_LOOP_MOVE_SPEED, channel,
                          [](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
                              int64_t raw = 0;
                              if (const VX_STATUS status = batch.popI64(&raw)) return status;
                              packet.data1 = static_cast<uint32_t>(scaleDown(raw));
                              return VX_OK;
                          }),
                     [=](const VX_packet& packet) { put(speed, packet.data1); });
}

VX_STATUS SystemVeltraxCTL::getEndEffectorType(uint32_t, bool, uint32_t*, int32_t*, int32_t*) {
    return VX_WRONG_CHANNEL_TYPE;
}

VX_STATUS SystemVeltraxCTL::getPositionLimit(uint32_t channel, bool sync, int32_t* min, int32_t* max) {
    if (const VX_STATUS status =
            checkChannel(sync, channel, [](ChannelRecord& record) { return requireMovement(record, kLinear); }))
        return status;
    return runGetter(sync, readKeys({ctlkey::kRangeLimitMin, ctlkey::kRangeLimitMax}, channel),
                     fill(VX_PACKET_POSITION_LIMIT, channel,
                          [](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
                              int64_t low = 0, high = 0;
                              if (const VX_STATUS status = batch.popI64(&low)) return status;
                              if (const VX_STATUS status = batch.popI64(&high)) return status;
                              packet.data2 = scaleDown(low);
                              packet.data3 = scaleDown(high);
                              return VX_OK;
                          }),
                     [=](const VX_packet& packet) {
                         put(min, packet.data2);
                         put(max, packet.data3);
                     });
}

VX_STATUS SystemVeltraxCTL::getSafeDirection(uint32_t channel, bool sync, uint32_t* direction) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runGetter(sync, readKeys({ctlkey::kSafeDirection}, channel),
                     fill(VX_PACKET_SAFE_DIRECTION, channel,
                          [](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
                              int32_t raw = 0;
                              if (const VX_STATUS status = batch.popI32(&raw)) return status;
                              packet.data1 = raw != 0 ? 1 : 0;
                              return VX_OK;
                          }),
                     [=](const VX_packet& packet) { put(direction, packet.data1); });
}

VX_STATUS SystemVeltraxCTL::getScale(uint32_t channel, bool sync, int32_t* shift, uint32_t* inverted) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runGetter(sync, readKeys({ctlkey::kLogicalScaleOffset, ctlkey::kLogicalScaleInversion}, channel),
                     fill(VX_PACKET_SCALE, channel,
                          [](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
                              int64_t offset = 0;
                              int32_t inversion = 0;
                              if (const VX_STATUS status = batch.popI64(&offset)) return status;
                              if (const VX_STATUS status = batch.popI32(&inversion)) return status;
                              packet.data1 = inversion == 1 ? 1 : 0;
                              packet.data2 = scaleDown(offset);
                              return VX_OK;
                          }),
                     [=](const VX_packet& packet) {
                         put(shift, packet.data2);
                         put(inverted, packet.data1);
                     });
}

VX_STATUS SystemVeltraxCTL::getSensorEnabled(bool sync, uint32_t* mode) {
    {
        std::lock_guard<std::mutex> api(apiMutex_);
        if (const VX_STATUS status = checkMode(sync)) return status;
    }
    return runGetter(sync, readKeys({ctlkey::kSensorPowerMode}, 0),
                     fill(VX_PACKET_SENSOR_ENABLED, 0,
                          [](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
                              int32_t raw = 0;
                              if (const VX_STATUS status = batch.popI32(&raw)) return status;
                              if (raw < 0 || raw > 2) return VX_COMPATIBILITY_ERROR;
                              packet.data1 = static_cast<uint32_t>(raw);
                              return VX_OK;
                          }),
                     [=](const VX_packet& packet) { put(mode, packet.data1); });
}

VX_STATUS SystemVeltraxCTL::getSensorType(uint32_t channel, bool sync, uint32_t* type) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runGetter(sync, readKeys({ctlkey::kPositionerType}, channel),
                     fill(VX_PACKET_SENSOR_TYPE, channel,
                          [](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
                              int32_t code = 0;
                              if (const VX_STATUS status = batch.popI32(&code)) return status;
                              const auto sensorType = sensorTypeOfCode(code);
                              if (!sensorType) return VX_COMPATIBILITY_ERROR;
                              packet.data1 = *sensorType;
                              return VX_OK;
                          }),
                     [=](const VX_packet& packet) { put(type, packet.data1); });
}

VX_STATUS SystemVeltraxCTL::getPositionerType(uint32_t channel, bool sync, uint32_t* type) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runGetter(sync, readKeys({ctlkey::kPositionerType}, channel),
                     fill(VX_PACKET_POSITIONER_TYPE, channel,
                          [](ReadQueue& batch, VX_packet& packet) -> VX_STATUS {
                              int32_t code = 0;
                              if (const VX_STATUS status = batch.popI32(&code)) return status;
                              packet.data1 = static_cast<uint32_t>(code);
                              return VX_OK;
                          }),
                     [=](const VX_packet& packet) { put(type, packet.data1); });
}

}  // namespace qmx
