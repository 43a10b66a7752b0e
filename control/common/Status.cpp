#include "common/Status.h"

#include <cstddef>
#include <iterator>

namespace qmx {

namespace {

struct StatusRow {
    Status code;
    const char* text;
};

// Keyed by the names of StatusCodes.h, ascending by code.
constexpr StatusRow statusTable[] = {
    {kOk, "no error"},
    {kInitializationError, "initialization error"},
    {kUninitialized, "not initialized"},
    {kNoSystemsFound, "no systems found"},
    {kTooManySystems, "too many systems"},
    {kInvalidSystemIndex, "invalid system index"},
    {kInvalidChannelIndex, "invalid channel index"},
    {kTransmitError, "transmit error"},
    {kWriteError, "write error"},
    {kInvalidParameter, "invalid parameter"},
    {kReadError, "read error"},
    {kInternalError, "internal error"},
    {kWrongMode, "wrong mode"},
    {kProtocolError, "protocol error"},
    {kTimeout, "timeout"},
    {kIdListTooSmall, "id list too small"},
    {kSystemAlreadyAdded, "system already added"},
    {kWrongChannelType, "wrong channel type"},
    {kCanceled, "canceled"},
    {kInvalidSystemLocator, "invalid system locator"},
    {kInputBufferOverflow, "input buffer overflow"},
    {kQueryBufferTooSmall, "query-buffer size"},
    {kDriverError, "driver error"},
    {kCompatibilityError, "compatibility error"},
    {kNoSuchSlave, "no such slave error"},
    {kNoSensorPresent, "no sensor present"},
    {kAmplitudeTooLow, "amplitude too low"},
    {kAmplitudeTooHigh, "amplitude too high"},
    {kFrequencyTooLow, "frequency too low"},
    {kFrequencyTooHigh, "frequency too high"},
    {kScanTargetTooHigh, "scan target too high"},
    {kScanSpeedTooLow, "scan speed too low"},
    {kScanSpeedTooHigh, "scan speed too high"},
    {kSensorDisabled, "sensor disabled"},
    {kCommandOverridden, "command overridden"},
    {kEndStopReached, "end stop reached"},
    {kWrongSensorType, "wrong sensor type"},
    {kReferenceMarkNotFound, "could not find reference mark"},
    {kWrongEndEffectorType, "wrong end effector type"},
    {kMovementLocked, "movement locked"},
    {kRangeLimitReached, "range limit reached"},
    {kPhysicalPositionUnknown, "physical position unknown"},
    {kOutputBufferOverflow, "output buffer overflow"},
    {kCommandNotProcessable, "command not processable"},
    {kWaitingForTrigger, "waiting for trigger"},
    {kCommandNotTriggerable, "command not triggerable"},
    {kCommandQueueFull, "command queue full"},
    {kInvalidComponent, "invalid component"},
    {kInvalidSubComponent, "invalid sub component"},
    {kInvalidProperty, "invalid property"},
    {kPermissionDenied, "permission denied"},
    {kCalibrationFailed, "calibration failed"},
    {kUnknownCommand, "unknown command"},
    {kOtherError, "other error"},
};

constexpr bool strictlyAscending() {
    for (size_t i = 1; i < std::size(statusTable); ++i)
        if (statusTable[i - 1].code >= statusTable[i].code) return false;
    return true;
}
static_assert(strictlyAscending(), "status rows must be unique and ascending by code");

constexpr const char* kUnknownStatusText = "<unknown status code>";

}  // namespace

bool lookupStatusText(VX_STATUS status, const char** text) {
    for (const StatusRow& row : statusTable) {
        if (row.code == status) {
            *text = row.text;
            return true;
        }
    }
    *text = kUnknownStatusText;
    return false;
}

const char* statusText(VX_STATUS status) {
    const char* text = nullptr;
    lookupStatusText(status, &text);
    return text;
}

}  // namespace qmx
