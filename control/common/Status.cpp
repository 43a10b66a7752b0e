#include "common/Status.h"

#include <cstddef>
#include <iterator>

namespace qmx {

namespace {

struct StatusRow {
    VX_STATUS code;
    const char* text;
};

// Keyed by the public header's status names, ascending by code.
constexpr StatusRow statusTable[] = {
    {VX_OK, "no error"},
    {VX_INITIALIZATION_ERROR, "initialization error"},
    {VX_NOT_INITIALIZED, "not initialized"},
    {VX_NO_SYSTEMS_FOUND, "no systems found"},
    {VX_TOO_MANY_SYSTEMS, "too many systems"},
    {VX_INVALID_SYSTEM_INDEX, "invalid system index"},
    {VX_INVALID_CHANNEL_INDEX, "invalid channel index"},
    {VX_TRANSMIT_ERROR, "transmit error"},
    {VX_WRITE_ERROR, "write error"},
    {VX_INVALID_PARAMETER, "invalid parameter"},
    {VX_READ_ERROR, "read error"},
    {VX_INTERNAL_ERROR, "internal error"},
    {VX_WRONG_MODE, "wrong mode"},
    {VX_PROTOCOL_ERROR, "protocol error"},
    {VX_TIMEOUT, "timeout"},
    {VX_ID_LIST_TOO_SMALL, "id list too small"},
    {VX_SYSTEM_ALREADY_ADDED, "system already added"},
    {VX_WRONG_CHANNEL_TYPE, "wrong channel type"},
    {VX_CANCELED, "canceled"},
    {VX_INVALID_SYSTEM_LOCATOR, "invalid system locator"},
    {VX_INPUT_BUFFER_OVERFLOW, "input buffer overflow"},
    {VX_QUERY_BUFFER_SIZE, "query-buffer size"},
    {VX_DRIVER_ERROR, "driver error"},
    {VX_COMPATIBILITY_ERROR, "compatibility error"},
    {VX_NO_SUCH_SLAVE_ERROR, "no such slave error"},
    {VX_NO_SENSOR_PRESENT, "no sensor present"},
    {VX_AMPLITUDE_TOO_LOW, "amplitude too low"},
    {VX_AMPLITUDE_TOO_HIGH, "amplitude too high"},
    {VX_FREQUENCY_TOO_LOW, "frequency too low"},
    {VX_FREQUENCY_TOO_HIGH, "frequency too high"},
    {VX_SCAN_TARGET_TOO_HIGH, "scan target too high"},
    {VX_SCAN_SPEED_TOO_LOW, "scan speed too low"},
    {VX_SCAN_SPEED_TOO_HIGH, "scan speed too high"},
    {VX_SENSOR_DISABLED, "sensor disabled"},
    {VX_COMMAND_OVERRIDDEN, "command overridden"},
    {VX_END_STOP_REACHED, "end stop reached"},
    {VX_WRONG_SENSOR_TYPE, "wrong sensor type"},
    {VX_COULD_NOT_FIND_REFERENCE_MARK, "could not find reference mark"},
    {VX_WRONG_END_EFFECTOR_TYPE, "wrong end effector type"},
    {VX_MOVEMENT_LOCKED, "movement locked"},
    {VX_RANGE_LIMIT_REACHED, "range limit reached"},
    {VX_PHYSICAL_POSITION_UNKNOWN, "physical position unknown"},
    {VX_OUTPUT_BUFFER_OVERFLOW, "output buffer overflow"},
    {VX_COMMAND_NOT_PROCESSABLE, "command not processable"},
    {VX_WAITING_FOR_TRIGGER, "waiting for trigger"},
    {VX_COMMAND_NOT_TRIGGERABLE, "command not triggerable"},
    {VX_COMMAND_QUEUE_FULL, "command queue full"},
    {VX_INVALID_COMPONENT, "invalid component"},
    {VX_INVALID_SUB_COMPONENT, "invalid sub component"},
    {VX_INVALID_PROPERTY, "invalid property"},
    {VX_PERMISSION_DENIED, "permission denied"},
    {VX_CALIBRATION_FAILED, "calibration failed"},
    {VX_UNKNOWN_COMMAND, "unknown command"},
    {VX_OTHER_ERROR, "other error"},
};

constexpr bool strictlyAscending() {
    for (size_t i = 1; i < std::size(statusTable); ++i)
        if (statusTable[i - 1].code >= statusTable[i].code) return false;
    return true;
}
static_assert(strictlyAscending(), "status rows must be unique and ascending by code");
static_assert(std::size(statusTable) == 54, "every named status code has its row");

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
