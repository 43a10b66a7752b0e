#pragma once

#include <cstddef>
#include <cstdint>

// The simulator's own names for the first-generation binary protocol: module
// addresses, opcodes and the sub-commands carried in a request's first
// payload byte. An opcode's low nibble is its payload length.
namespace vxsim::gen1 {

enum Address : uint16_t {
    kSystemAddress = 0x0000,
    kHandControlAddress = 0x0002,
    kInterfaceAddress = 0x0008,
};

enum Opcode : uint8_t {
    kReadChannels = 0x10,
    kChannelCount = 0x11,
    kChannelEntry = 0x12,
    kIndexMap = 0x13,
    kTriggeredCommand = 0x15,
    kScale = 0x16,
    kSpeedLevelTable = 0x17,
    kFirmwareVersion = 0x18,
    kForce = 0x19,
    kEndEffectorType = 0x1A,
    kCaptureBuffer = 0x1B,
    kHcmConfigSlot = 0x1C,
    kAngleLimit = 0x1D,
    kHello = 0x20,
    kHcmEnabled = 0x21,
    kPositionLimit = 0x29,
    kHcmEepromType = 0x2B,
    kReset = 0x30,
    kFlags = 0x32,
    kChannelProperty = 0x39,
    kReadDebugValue = 0x41,
    kCustomSensorType = 0x42,
    kDebugValue = 0x45,
    kReadTuningParameter = 0x51,
    kTuningParameter = 0x55,
    kSetSensorType = 0x61,
    kMoveSpeed = 0x65,
    kGetAngle = 0x70,
    kPhysicalPositionKnown = 0x71,
    kSensorType = 0x72,
    kMoveAcceleration = 0x75,
    kAngle = 0x76,
    kStop = 0x80,
    kStatus = 0x81,
    kCalibrateOrReference = 0x83,
    kStepMove = 0x86,
    kGotoAngleAbsolute = 0x88,
    kGetPosition = 0x90,
    kSetSensorEnabled = 0x91,
    kAnalogValue = 0x92,
    kFeature = 0x93,
    kScanAbsolute = 0x96,
    kGotoAngleRelative = 0x98,
    kGetStatus = 0xA0,
    kSensorEnabled = 0xA1,
    kPosition = 0xA4,
    kScanRelative = 0xA6,
    kTrigger = 0xB1,
    kSafeDirection = 0xB2,
    kSetPosition = 0xB4,
    kGotoPositionAbsolute = 0xB6,
    kGetAnalogValue = 0xC0,
    kGotoPositionRelative = 0xC6,
    kTriggeredReport = 0xD0,
    kReadConfigParameter = 0xD1,
    kConfigParameter = 0xD5,
    kMovementCompleted = 0xE0,
    kAcknowledge = 0xF0,
    kError = 0xF1,
};

// First payload byte of the channel settings (scale, limits, speed, ...):
// write the values that follow, or answer them. An end effector's type is
// read with kEndEffectorTypeRead instead.
enum SettingAccess : uint8_t {
    kEndEffectorTypeRead = 0x00,
    kWrite = 0x01,
    kRead = 0x02,
};

// kForce.
enum ForceAccess : uint8_t {
    kForceRead = 0x00,
    kForceGoto = 0x01,
    kForceZero = 0x02,
};

// kTriggeredCommand: append a value to the queue, or clear it.
enum TriggeredAccess : uint8_t {
    kAppendTriggered = 0x01,
    kClearTriggered = 0x02,
};

// kSpeedLevelTable: a sub-command byte; reads and writes of an entry add
// the entry's index to their base.
enum SpeedLevelAccess : uint8_t {
    kTableReadSize = 0x20,
    kTableWriteSize = 0x40,
    kTableReadEntry = 0x60,
    kTableWriteEntry = 0x80,
    kTableStore = 0xA0,
};

// kHcmConfigSlot.
enum SlotAccess : uint8_t {
    kSlotSize = 0x00,
    kSlotWrite = 0x01,
    kSlotRead = 0x02,
};

// kHcmEepromType: the EEPROM type, or 8-byte blocks of the configuration
// image at a little-endian image offset (payload bytes 1 and 2).
enum HcmImageAccess : uint8_t {
    kHcmType = 0x01,
    kHcmBlockRead = 0x10,
    kHcmBlockWrite = 0x11,
};
constexpr size_t kHcmBlockSize = 8;

// The probe a host sends (after a lone 0x00, which stays unanswered) to
// learn whether the system speaks these packets: the interface module
// answers with its status, opcode kError and the one byte kInterfaceReady.
constexpr uint8_t kProbe[] = {0x00, 0x0F, 0x80};
constexpr uint8_t kInterfaceReady = 0x80;

// kIndexMap; an answer to a read starts with kIndexMapEntry.
enum IndexMapAccess : uint8_t {
    kMapRead = 0x00,
    kIndexMapEntry = 0x01,
    kMapWrite = 0x10,
    kMapFinalize = 0x11,
};

// kFeature: the entry asked for, or kFeatureCount for how many there are.
constexpr uint8_t kFeatureCount = 0xFF;
// kFlags sent to the system address: this bit of mask and value selects
// asynchronous mode.
constexpr uint8_t kAsynchronousFlag = 0x01;
// kCalibrateOrReference: a first byte with this bit searches the reference
// mark, without it calibrates the sensor.
constexpr uint8_t kReferenceSearch = 0x10;

}  // namespace vxsim::gen1
