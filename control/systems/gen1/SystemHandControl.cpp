#include "systems/gen1/System.h"

namespace qmx {

namespace {

constexpr uint32_t kIndexMapWaitMs = 5000;
constexpr uint32_t kSpeedLevelEntries = 32;
constexpr uint32_t kSlotChunk = 8;

// Sub-commands of the speed level table opcode.
constexpr uint8_t kTableWriteSize = 0x40;
constexpr uint8_t kTableReadSize = 0x20;
constexpr uint8_t kTableWriteEntry = 0x80;
constexpr uint8_t kTableReadEntry = 0x60;
constexpr uint8_t kTableStore = 0xA0;

// Sub-commands of the configuration slot opcode.
constexpr uint8_t kSlotSize = 0x00;
constexpr uint8_t kSlotWrite = 0x01;
constexpr uint8_t kSlotRead = 0x02;

// Sub-commands of the index map opcode.
constexpr uint8_t kMapRead = 0x00;
constexpr uint8_t kMapWrite = 0x10;
constexpr uint8_t kMapFinalize = 0x11;

OutPacket tableRequest() { return OutPacket(address::kHandControl, opcode::kSpeedLevelTable); }
OutPacket slotRequest() { return OutPacket(address::kHandControl, opcode::kHcmConfigSlot); }
OutPacket mapRequest() { return OutPacket(address::kInterface, opcode::kIndexMap); }

}  // namespace

VX_STATUS System::checkHandControl() {
    return checkSystemCommand(true);
}

VX_STATUS System::handControlCommand(const OutPacket& request) {
    return exchangeAcknowledge(request);
}

VX_STATUS System::handControlQuery(const OutPacket& request, RawPacket* answer,
                                   bool checkAddress) {
    std::optional<uint16_t> from;
    if (checkAddress) from = address::kHandControl;
    return exchangeAnswer(request, from, request.data()[2], answer);
}

VX_STATUS System::writeSpeedLevelTableSize(int32_t size) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkHandControl();
    if (status != VX_OK) return status;
    if (size < 1 || size > static_cast<int32_t>(kSpeedLevelEntries)) return VX_INVALID_PARAMETER;
    return handControlCommand(
        tableRequest().u8(kTableWriteSize).u8(static_cast<uint32_t>(size)).zeros(5));
}

VX_STATUS System::readSpeedLevelTableSize(uint32_t* size) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkHandControl();
    if (status != VX_OK) return status;
    RawPacket answer;
    status = handControlQuery(tableRequest().u8(kTableReadSize).zeros(6), &answer, false);
    if (status != VX_OK) return status;
    if (size) *size = answer.u8(1);
    return VX_OK;
}

VX_STATUS System::writeSpeedLevelTableEntry(uint32_t index, uint32_t value1, uint32_t value2,
                                            uint32_t value3) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkHandControl();
    if (status != VX_OK) return status;
    if (index >= kSpeedLevelEntries) return VX_INVALID_PARAMETER;
    return handControlCommand(
        tableRequest().u8(kTableWriteEntry + index).u16(value1).u16(value2).u16(value3));
}

VX_STATUS System::readSpeedLevelTableEntry(int32_t index, uint32_t* value1, uint32_t* value2,
                                           uint32_t* value3) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkHandControl();
    if (status != VX_OK) return status;
    // A negative index would make another sub-command of the byte.
    if (index < 0 || index >= static_cast<int32_t>(kSpeedLevelEntries)) return VX_INVALID_PARAMETER;
    RawPacket answer;
    status = handControlQuery(
        tableRequest().u8(kTableReadEntry + static_cast<uint32_t>(index)).zeros(6), &answer,
        false);
    if (status != VX_OK) return status;
    if (value1) *value1 = static_cast<uint32_t>(answer.i16(1));
    if (value2) *value2 = static_cast<uint32_t>(answer.i16(3));
    if (value3) *value3 = static_cast<uint32_t>(answer.i16(5));
    return VX_OK;
}

VX_STATUS System::writeSpeedLevelTableToEEPROM() {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkHandControl();
    if (status != VX_OK) return status;
    return handControlCommand(tableRequest().u8(kTableStore).zeros(6));
}

VX_STATUS System::hcmSlotSize(uint32_t* slotSize) {
    RawPacket answer;
    VX_STATUS status = handControlQuery(slotRequest().u8(kSlotSize).zeros(11), &answer, true);
    if (status != VX_OK) return status;
    *slotSize = answer.u16(1);
    return VX_OK;
}

VX_STATUS System::readHCMConfigSlot(uint32_t slot, uint8_t* data, uint32_t* size) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkHandControl();
    if (status != VX_OK) return status;
    if (slot > 255 || size == nullptr) return VX_INVALID_PARAMETER;
    uint32_t slotSize = 0;
    status = hcmSlotSize(&slotSize);
    if (status != VX_OK) return status;
    if (slotSize > *size) {
        *size = 0;
        return VX_ID_LIST_TOO_SMALL;
    }
    if (data == nullptr && slotSize > 0) return VX_INVALID_PARAMETER;
    for (uint32_t offset = 0; offset < slotSize; offset += kSlotChunk) {
        RawPacket answer;
        status = handControlQuery(slotRequest().u8(kSlotRead).u8(slot).u16(offset).zeros(8),
                                  &answer, true);
        if (status != VX_OK) return status;
        for (uint32_t i = 0; i < kSlotChunk && offset + i < slotSize; ++i)
            data[offset + i] = answer.u8(4 + i);
    }
    *size = slotSize;
    return VX_OK;
}

VX_STATUS System::writeHCMConfigSlot(uint32_t slot, const uint8_t* data, uint32_t* size) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkHandControl();
    if (status != VX_OK) return status;
    if (slot > 255 || size == nullptr) return VX_INVALID_PARAMETER;
    uint32_t slotSize = 0;
    status = hcmSlotSize(&slotSize);
    if (status != VX_OK) return status;
    if (*size > slotSize) {
        *size = 0;
        return VX_ID_LIST_TOO_SMALL;
    }
    if (data == nullptr && *size > 0) return VX_INVALID_PARAMETER;
    // Whole slots are written; what lies beyond the caller's data is zero.
    for (uint32_t offset = 0; offset < slotSize; offset += kSlotChunk) {
        OutPacket request = slotRequest().u8(kSlotWrite).u8(slot).u16(offset);
        for (uint32_t i = 0; i < kSlotChunk; ++i) {
            uint32_t at = offset + i;
            request.u8(at < *size && at < slotSize ? data[at] : 0);
        }
        discardQueued();
        status = sendPacket(request);
        if (status != VX_OK) return status;
        RawPacket answer;
        status = waitForAnswer(&answer, kAnswerWaitMs, true);
        if (status != VX_OK) return status;
        if (answer.address() != address::kHandControl) return VX_PROTOCOL_ERROR;
        if (const VX_STATUS refused = answer.errorCode()) return refused;
        if (answer.opcode() != opcode::kAcknowledge && answer.opcode() != opcode::kHcmConfigSlot)
            return VX_PROTOCOL_ERROR;
    }
    return VX_OK;
}

VX_STATUS System::readHCMEepromType(uint32_t* type) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    if (mode_ == kNotOpen) return VX_NOT_INITIALIZED;
    if (const VX_STATUS failed = receiveStatus()) return failed;
    if (mode_ == kSynchronous) discardQueued();
    VX_STATUS status =
        sendPacket(OutPacket(address::kHandControl, opcode::kHcmEepromType).u8(0x01).zeros(10));
    if (status != VX_OK) return status;
    RawPacket answer;
    status = waitForAnswer(&answer, kAnswerWaitMs, true);
    if (status != VX_OK) return status;
    if (answer.opcode() != opcode::kHcmEepromType) return VX_PROTOCOL_ERROR;
    if (type) *type = answer.u16(1);
    return VX_OK;
}

VX_STATUS System::indexMapExchange(const OutPacket& request, RawPacket* answer) {
    if (mode_ != kAsynchronous) discardQueued();
    VX_STATUS status = sendImmediate(request);
    if (status != VX_OK) return status;
    return waitForAnswer(answer, kIndexMapWaitMs, true);
}

VX_STATUS System::readIndexFromIndexMap(uint8_t index, uint8_t* value) {
    RawPacket answer;
    VX_STATUS status = indexMapExchange(mapRequest().u8(kMapRead).u8(index).u8(0), &answer);
    if (status != VX_OK) return status;
    if (answer.address() != address::kInterface || answer.opcode() != opcode::kIndexMap ||
        answer.u8(0) != 0x01 || answer.u8(1) != index)
        return VX_INITIALIZATION_ERROR;
    if (value) *value = answer.u8(2);
    return VX_OK;
}

VX_STATUS System::writeIndexToIndexMap(uint8_t index, uint8_t value) {
    RawPacket answer;
    VX_STATUS status = indexMapExchange(mapRequest().u8(kMapWrite).u8(index).u8(value), &answer);
    if (status != VX_OK) return status;
    return answer.errorCode();
}

VX_STATUS System::finalizeIndexMap() {
    RawPacket answer;
    VX_STATUS status = indexMapExchange(mapRequest().u8(kMapFinalize).u8(0).u8(0), &answer);
    if (status != VX_OK) return status;
    return answer.errorCode();
}

}  // namespace qmx
