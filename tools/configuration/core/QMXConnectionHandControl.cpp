#include <QString>

#include <algorithm>
#include <cstddef>
#include <string>

#include "QMXConnection.h"
#include "QMXControl.h"
#include "TextProtocol.h"

namespace {

using qmxtext::Reply;
using qmxtext::textCommand;

constexpr int kHandControlReplyTimeoutMs = 1000;
// Bytes of a slot one command moves.
constexpr unsigned kPieceSize = 8;
// The "HCS" reply: slot, offset and the eight bytes.
constexpr int kSlotReplyValues = 2 + static_cast<int>(kPieceSize);
constexpr int kTypeReplyValues = 1;
// A command's positions past the end of the slot carry this value.
constexpr uint8_t kPastSlotFill = 0;

}  // namespace

uint32_t QMXConnection::readHCMEepromType(int& type) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library) {
        unsigned int value = 0;
        const uint32_t status = fromLibrary(VX_ReadHCMEepromType_S(systemIndex_, &value));
        if (status == VX_OK) type = static_cast<int>(value);
        return status;
    }
    Reply reply;
    uint32_t status = exchange("RHEL", &reply, kHandControlReplyTimeoutMs);
    if (status == VX_OK) status = qmxtext::dataRule(reply, {"HEL", kTypeReplyValues});
    if (status == VX_OK) type = static_cast<int>(reply.values[0]);
    return status;
}

uint32_t QMXConnection::readHCMConfigSlot(int slot, uint8_t* buffer, unsigned& length) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_ReadHCMConfigSlot_S(systemIndex_, static_cast<unsigned>(slot), buffer,
                                                  &length));
    for (unsigned offset = 0; offset < length; offset += kPieceSize) {
        Reply reply;
        const qmxtext::DataShape answer{"HCS", kSlotReplyValues, static_cast<uint32_t>(slot),
                                        offset};
        uint32_t status = exchange(textCommand("RHCS", {slot, offset}), &reply,
                                   kHandControlReplyTimeoutMs, &answer);
        if (status == VX_OK) status = qmxtext::dataRule(reply, answer);
        if (status != VX_OK) return status;
        const unsigned count = std::min(kPieceSize, length - offset);
        for (unsigned i = 0; i < count; ++i)
            buffer[offset + i] = static_cast<uint8_t>(reply.values[2 + i]);
    }
    return VX_OK;
}

uint32_t QMXConnection::writeHCMConfigSlot(int slot, const uint8_t* buffer, unsigned& length) {
    if (mode_ == Closed) return VX_NOT_INITIALIZED;
    if (mode_ == Library)
        return fromLibrary(VX_WriteHCMConfigSlot_S(systemIndex_, static_cast<unsigned>(slot),
                                                   buffer, &length));
    for (unsigned offset = 0; offset < length; offset += kPieceSize) {
        std::string command = textCommand("WHCS", {slot, offset});
        for (unsigned i = 0; i < kPieceSize; ++i) {
            const uint8_t value = offset + i < length ? buffer[offset + i] : kPastSlotFill;
            command += ',';
            command += std::to_string(value);
        }
        Reply reply;
        const uint32_t status = exchange(command, &reply, kHandControlReplyTimeoutMs);
        if (status != VX_OK) return status;
        // Only a plain acknowledgement lets the next piece go; a refusal
        // with its code counts as an unexpected answer too.
        if (reply.name != "E" || reply.count != 2 || reply.values[1] != VX_OK)
            return VX_PROTOCOL_ERROR;
    }
    return VX_OK;
}
