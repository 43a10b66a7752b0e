#pragma once

#include "QMXControl.h"

namespace qmx {

// The status codes by name; Status.cpp gives each its text. Codes from 128
// on are the controller's own refusals, passed through as it sends them.
enum Status : VX_STATUS {
    kOk = 0,
    kInitializationError = 1,
    kUninitialized = 2,
    kNoSystemsFound = 3,
    kTooManySystems = 4,
    kInvalidSystemIndex = 5,
    kInvalidChannelIndex = 6,
    kTransmitError = 7,
    kWriteError = 8,
    kInvalidParameter = 9,
    kReadError = 10,
    kInternalError = 12,
    kWrongMode = 13,
    kProtocolError = 14,
    kTimeout = 15,
    kIdListTooSmall = 17,
    kSystemAlreadyAdded = 18,
    kWrongChannelType = 19,
    kCanceled = 20,
    kInvalidSystemLocator = 21,
    kInputBufferOverflow = 22,
    kQueryBufferTooSmall = 23,
    kDriverError = 24,
    kCompatibilityError = 25,
    kNoSuchSlave = 128,
    kNoSensorPresent = 129,
    kAmplitudeTooLow = 130,
    kAmplitudeTooHigh = 131,
    kFrequencyTooLow = 132,
    kFrequencyTooHigh = 133,
    kScanTargetTooHigh = 135,
    kScanSpeedTooLow = 136,
    kScanSpeedTooHigh = 137,
    kSensorDisabled = 140,
    kCommandOverridden = 141,
    kEndStopReached = 142,
    kWrongSensorType = 143,
    kReferenceMarkNotFound = 144,
    kWrongEndEffectorType = 145,
    kMovementLocked = 146,
    kRangeLimitReached = 147,
    kPhysicalPositionUnknown = 148,
    kOutputBufferOverflow = 149,
    kCommandNotProcessable = 150,
    kWaitingForTrigger = 151,
    kCommandNotTriggerable = 152,
    kCommandQueueFull = 153,
    kInvalidComponent = 154,
    kInvalidSubComponent = 155,
    kInvalidProperty = 156,
    kPermissionDenied = 157,
    kCalibrationFailed = 160,
    // The second-generation driver's own, without a text of their own.
    kUnknownDebugValue = 223,
    kUnknownTuningParameter = 225,
    kUnknownCommand = 240,
    kOtherError = 255,
};

}  // namespace qmx
