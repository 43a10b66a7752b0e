#include "systems/gen2/CtlBatches.h"

#include <algorithm>
#include <array>

#include "common/CtlLibrary.h"
#include "systems/gen2/CtlConversions.h"
#include "systems/gen2/CtlGroupWatch.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace qmx {

namespace {

using Functions = CtlFunctions;

constexpr size_t kTextCapacity = 64;

int8_t libraryIndex(uint8_t index) { return static_cast<int8_t>(index); }

}  // namespace

CommandGroup::~CommandGroup() {
    if (open_) system_.groupWatch().cancel(*ticket_);
}

uint32_t CommandGroup::transmitHandle() const { return open_ ? ticket_->transmitHandle() : 0; }

VX_STATUS CommandGroup::open() {
    if (const VX_STATUS status = system_.groupWatch().open(&ticket_)) return status;
    open_ = true;
    return VX_OK;
}

VX_STATUS CommandGroup::close() {
    if (!open_) return VX_OK;
    if (system_.bufferedOutputOn()) {
        system_.parkGroup(ticket_);
        open_ = false;
        return VX_OK;
    }
    const uint32_t handle = ticket_->transmitHandle();
    const uint32_t result = system_.callDevice(
        [&](const Functions& f, VX_CTL_DeviceHandle device) { return f.CloseCommandGroup(device, handle); });
    if (result != 0) return mapCtlResult(result);  // the guard cancels it
    open_ = false;
    system_.groupWatch().arm(*ticket_);
    return VX_OK;
}

ReadQueue::~ReadQueue() {
    for (const uint8_t id : ids_)
        system_.releaseOnDevice(
            [&](const Functions& f, VX_CTL_DeviceHandle device) { return f.CancelRequest(device, id); });
}

VX_STATUS ReadQueue::request(uint32_t key, uint8_t index) {
    VX_CTL_RequestID id = 0;
    const uint32_t result = system_.callDevice([&](const Functions& f, VX_CTL_DeviceHandle device) {
        return f.RequestReadProperty(device, libraryIndex(index), key, &id, transmitHandle_);
    });
    if (result != 0) return mapCtlResult(result);
    ids_.push_back(id);
    return VX_OK;
}

bool ReadQueue::takeOldest(uint8_t* id) {
    if (ids_.empty()) return false;
    *id = ids_.front();
    ids_.pop_front();
    return true;
}

VX_STATUS ReadQueue::popI32(int32_t* values, size_t* length) {
    uint8_t id = 0;
    if (!takeOldest(&id)) return VX_OTHER_ERROR;
    const uint32_t result = system_.callDevice(
        [&](const Functions& f, VX_CTL_DeviceHandle device) { return f.ReadProperty_i32(device, id, values, length); });
    return result == 0 ? VX_OK : mapCtlResult(result);
}

VX_STATUS ReadQueue::popI64(int64_t* values, size_t* length) {
    uint8_t id = 0;
    if (!takeOldest(&id)) return VX_OTHER_ERROR;
    const uint32_t result = system_.callDevice(
        [&](const Functions& f, VX_CTL_DeviceHandle device) { return f.ReadProperty_i64(device, id, values, length); });
    return result == 0 ? VX_OK : mapCtlResult(result);
}

VX_STATUS ReadQueue::popString(std::string* text) {
    uint8_t id = 0;
    if (!takeOldest(&id)) return VX_OTHER_ERROR;
    std::array<char, kTextCapacity> buffer{};
    size_t length = buffer.size();
    const uint32_t result = system_.callDevice([&](const Functions& f, VX_CTL_DeviceHandle device) {
        return f.ReadProperty_s(device, id, buffer.data(), &length);
    });
    if (result != 0) return mapCtlResult(result);
    text->assign(buffer.data(), std::min(length, buffer.size()));
    return VX_OK;
}

WriteQueue::~WriteQueue() {
    for (const Entry& entry : entries_)
        system_.releaseOnDevice(
            [&](const Functions& f, VX_CTL_DeviceHandle device) { return f.CancelRequest(device, entry.id); });
}

VX_STATUS WriteQueue::requestI32(uint32_t key, uint8_t index, int32_t value) {
    VX_CTL_RequestID id = 0;
    const uint32_t result = system_.callDevice([&](const Functions& f, VX_CTL_DeviceHandle device) {
        return f.RequestWriteProperty_i32(device, libraryIndex(index), key, value, &id, transmitHandle_);
    });
    if (result != 0) return mapCtlResult(result);
    entries_.push_back({id, index});
    return VX_OK;
}

VX_STATUS WriteQueue::requestI64(uint32_t key, uint8_t index, int64_t value) {
    VX_CTL_RequestID id = 0;
    const uint32_t result = system_.callDevice([&](const Functions& f, VX_CTL_DeviceHandle device) {
        return f.RequestWriteProperty_i64(device, libraryIndex(index), key, value, &id, transmitHandle_);
    });
    if (result != 0) return mapCtlResult(result);
    entries_.push_back({id, index});
    return VX_OK;
}

VX_STATUS WriteQueue::requestArrayI32(uint32_t key, uint8_t index, const int32_t* values, size_t count) {
    VX_CTL_RequestID id = 0;
    const uint32_t result = system_.callDevice([&](const Functions& f, VX_CTL_DeviceHandle device) {
        return f.RequestWritePropertyArray_i32(device, libraryIndex(index), key, values, count, &id, transmitHandle_);
    });
    if (result != 0) return mapCtlResult(result);
    entries_.push_back({id, index});
    return VX_OK;
}

VX_STATUS WriteQueue::commit(bool sync, std::shared_ptr<GroupTicket> group) {
    while (!entries_.empty()) {
        const Entry entry = entries_.front();
        // Each write is the job's from here on: an asynchronous job waits
        // for it later, so this queue must not cancel it.
        entries_.pop_front();
        SystemVeltraxCTL* system = &system_;
        const VX_STATUS status = system_.submitJob(sync, [system, entry, group](VX_packet& packet) -> VX_STATUS {
            packet.channelIndex = entry.index;
            const uint32_t result = system->callDevice(
                [&](const Functions& f, VX_CTL_DeviceHandle device) { return f.WaitForWrite(device, entry.id); });
            if (result == ctlresult::kOk || result == ctlresult::kAborted) return VX_OK;
            return group ? group->outcome(mapCtlResult(result)) : mapCtlResult(result);
        });
        if (status != VX_OK) return status;
    }
    return VX_OK;
}

namespace {

// Entries that read one 32-bit or 64-bit property of the channel.
template <uint32_t Key>
VX_STATUS requestChannel(ReadQueue& batch, uint8_t channel) {
    return batch.request(Key, channel);
}

VX_STATUS requestNothing(ReadQueue&, uint8_t) { return VX_OK; }

VX_STATUS popValue(ReadQueue& batch, int32_t* value) { return batch.popI32(value); }

VX_STATUS popScaled(ReadQueue& batch, int32_t* value) {
    int64_t raw = 0;
    if (const VX_STATUS status = batch.popI64(&raw)) return status;
    *value = scaleDown(raw);
    return VX_OK;
}

VX_STATUS readAsIs(ReadQueue& batch, uint8_t, int32_t* value) { return popValue(batch, value); }
VX_STATUS readScaled(ReadQueue& batch, uint8_t, int32_t* value) { return popScaled(batch, value); }

// 1 when the property holds `Expected`, else 0.
template <int32_t Expected>
VX_STATUS readFlagEquals(ReadQueue& batch, uint8_t, int32_t* value) {
    int32_t raw = 0;
    if (const VX_STATUS status = popValue(batch, &raw)) return status;
    *value = raw == Expected ? 1 : 0;
    return VX_OK;
}

VX_STATUS readPowerMode(ReadQueue& batch, uint8_t, int32_t* value) {
    int32_t raw = 0;
    if (const VX_STATUS status = popValue(batch, &raw)) return status;
    if (raw < 0 || raw > 2) return VX_COMPATIBILITY_ERROR;
    *value = raw;
    return VX_OK;
}

VX_STATUS readZero(ReadQueue&, uint8_t, int32_t* value) {
    *value = 0;
    return VX_OK;
}

template <uint32_t Key>
VX_STATUS writeAsIs(WriteQueue& batch, uint8_t channel, int32_t value) {
    return batch.requestI32(Key, channel, value);
}

template <uint32_t Key>
VX_STATUS writeScaled(WriteQueue& batch, uint8_t channel, int32_t value) {
    return batch.requestI64(Key, channel, scaleUp(value));
}

template <uint32_t Key>
VX_STATUS writeFlag(WriteQueue& batch, uint8_t channel, int32_t value) {
    if (value != 0 && value != 1) return VX_INVALID_PARAMETER;
    return batch.requestI32(Key, channel, value);
}

template <uint32_t Key>
VX_STATUS writePowerMode(WriteQueue& batch, uint8_t channel, int32_t value) {
    if (value < 0 || value > 2) return VX_INVALID_PARAMETER;
    return batch.requestI32(Key, channel, value);
}

// Channel property 0x01020001: on is 2 on the controller.
VX_STATUS readValue19IsTwo(ReadQueue& batch, uint8_t channel, int32_t* value) {
    return readFlagEquals<2>(batch, channel, value);
}
VX_STATUS writeValue19AsTwo(WriteQueue& batch, uint8_t channel, int32_t value) {
    if (value != 0 && value != 1) return VX_INVALID_PARAMETER;
    return batch.requestI32(ctlkey::kChannelValue19, channel, value == 1 ? 2 : 0);
}

constexpr int32_t kMoveControlBit = 0x1;
constexpr int32_t kChannelOptionsBit = 0x8;

VX_STATUS readMoveControlBit(ReadQueue& batch, uint8_t, int32_t* value) {
    int32_t raw = 0;
    if (const VX_STATUS status = popValue(batch, &raw)) return status;
    *value = (raw & kMoveControlBit) ? 1 : 0;
    return VX_OK;
}
VX_STATUS writeMoveControlBit(WriteQueue& batch, uint8_t channel, int32_t value) {
    if (value != 0 && value != 1) return VX_INVALID_PARAMETER;
    const int32_t word =
        batch.system().changeOptionBit(channel, SystemVeltraxCTL::OptionWord::MoveControl, kMoveControlBit, value == 1);
    return batch.requestI32(ctlkey::kMoveControlOptions, channel, word);
}

// Channel property 0x01050011 is on while the option bit is clear.
VX_STATUS readChannelOptionsBitClear(ReadQueue& batch, uint8_t, int32_t* value) {
    int32_t raw = 0;
    if (const VX_STATUS status = popValue(batch, &raw)) return status;
    *value = (raw & kChannelOptionsBit) ? 0 : 1;
    return VX_OK;
}
VX_STATUS writeChannelOptionsBitClear(WriteQueue& batch, uint8_t channel, int32_t value) {
    if (value != 0 && value != 1) return VX_INVALID_PARAMETER;
    const int32_t word =
        batch.system().changeOptionBit(channel, SystemVeltraxCTL::OptionWord::Channel, kChannelOptionsBit, value == 0);
    return batch.requestI32(ctlkey::kChannelOptions, channel, word);
}

VX_STATUS readValue48Mapped(ReadQueue& batch, uint8_t, int32_t* value) {
    int32_t raw = 0;
    if (const VX_STATUS status = popValue(batch, &raw)) return status;
    switch (raw) {
    case 1:
        *value = 5;
        return VX_OK;
    case 2:
        *value = 1;
        return VX_OK;
    case 3:
        *value = 3;
        return VX_OK;
    default:
        return VX_COMPATIBILITY_ERROR;
    }
}

constexpr BatchEntry channelProperties[] = {
    {0x01020001, requestChannel<ctlkey::kChannelValue19>, readValue19IsTwo, writeValue19AsTwo},
    {0x01040001, requestChannel<ctlkey::kMoveControlOptions>, readMoveControlBit, writeMoveControlBit},
    {0x01050011, requestChannel<ctlkey::kChannelOptions>, readChannelOptionsBitClear, writeChannelOptionsBitClear},
    {0x01180001, requestChannel<ctlkey::kChannelValue19>, readFlagEquals<1>, writeFlag<ctlkey::kChannelValue19>},
    {0x08060013, requestNothing, readZero, nullptr},
    {0x08070012, requestChannel<ctlkey::kChannelValue48>, readValue48Mapped, nullptr},
    {0x08070031, requestChannel<ctlkey::kMoveVelocity>, readScaled, writeScaled<ctlkey::kMoveVelocity>},
    {0x080B0001, requestChannel<ctlkey::kSensorPowerMode>, readPowerMode, writePowerMode<ctlkey::kSensorPowerMode>},
    {0x08160013, requestChannel<ctlkey::kLogicalScaleInversion>, readFlagEquals<1>,
     writeFlag<ctlkey::kLogicalScaleInversion>},
    {0x0816002F, requestChannel<ctlkey::kLogicalScaleOffset>, readScaled, writeScaled<ctlkey::kLogicalScaleOffset>},
};

constexpr BatchEntry tuningParameters[] = {
    {1, requestChannel<ctlkey::kSensorPowerMode>, readPowerMode, writePowerMode<ctlkey::kSensorPowerMode>},
    {2, requestChannel<ctlkey::kTuningValue57>, readAsIs, writeAsIs<ctlkey::kTuningValue57>},
    {5, requestChannel<ctlkey::kReferencingValue0E>, readFlagEquals<1>, writeFlag<ctlkey::kReferencingValue0E>},
    {6, requestChannel<ctlkey::kRangeValue23>, readScaled, writeScaled<ctlkey::kRangeValue23>},
};

// Debug values 16 and 22 unpack a raw 64-bit sample.
constexpr uint32_t kDebugSampleOffset = 0x10000800;

VX_STATUS readFirmwareVersion1(ReadQueue& batch, uint8_t channel, int32_t* value) {
    *value = static_cast<int32_t>(batch.system().channelFirmwareVersion1(channel));
    return VX_OK;
}

VX_STATUS readSampleFields(ReadQueue& batch, uint8_t, int32_t* value) {
    int64_t raw = 0;
    if (const VX_STATUS status = batch.popI64(&raw)) return status;
    const uint64_t s = static_cast<uint64_t>(raw);
    const uint32_t packed = static_cast<uint32_t>(((s >> 36) & 0xFFF) * (1u << 17) + ((s >> 52) & 0xFFF)) + kDebugSampleOffset;
    *value = static_cast<int32_t>(packed);
    return VX_OK;
}

VX_STATUS readDebugFlag(ReadQueue& batch, uint8_t, int32_t* value) {
    int32_t raw = 0;
    if (const VX_STATUS status = popValue(batch, &raw)) return status;
    *value = (raw & ctlbit::kChannelStateDebug) ? 4095 : 0;
    return VX_OK;
}

VX_STATUS readSampleHigh(ReadQueue& batch, uint8_t channel, int32_t* value) {
    int64_t raw = 0;
    if (const VX_STATUS status = batch.popI64(&raw)) return status;
    const uint64_t s = static_cast<uint64_t>(raw);
    batch.system().keepDebugSample(channel, s);
    *value = static_cast<int32_t>(static_cast<uint32_t>(s) >> 20);
    return VX_OK;
}

VX_STATUS readKeptSample(ReadQueue& batch, uint8_t channel, int32_t* value) {
    const uint32_t low = static_cast<uint32_t>(batch.system().lastDebugSample(channel));
    *value = static_cast<int32_t>((low >> 4) & 0xFFF);
    return VX_OK;
}

constexpr BatchEntry debugValues[] = {
    {15, requestNothing, readFirmwareVersion1, nullptr},
    {16, requestChannel<ctlkey::kDebugSample>, readSampleFields, nullptr},
    {20, requestChannel<ctlkey::kChannelState>, readDebugFlag, nullptr},
    {21, requestNothing, readZero, nullptr},
    {22, requestChannel<ctlkey::kDebugSample>, readSampleHigh, nullptr},
    {23, requestNothing, readKeptSample, nullptr},
};

template <size_t N>
const BatchEntry* findEntry(const BatchEntry (&table)[N], uint32_t number) {
    for (const BatchEntry& entry : table)
        if (entry.number == number) return &entry;
    return nullptr;
}

}  // namespace

const BatchEntry* channelPropertyBatch(uint32_t key) { return findEntry(channelProperties, key); }
const BatchEntry* tuningParameterBatch(uint32_t number) { return findEntry(tuningParameters, number); }
const BatchEntry* debugValueBatch(uint32_t number) { return findEntry(debugValues, number); }

}  // namespace qmx
