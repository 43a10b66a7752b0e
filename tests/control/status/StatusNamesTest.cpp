#include <gtest/gtest.h>

#include "QMXControl.h"

// The public header's status names keep the numbers callers compiled against,
// and each names the row with its text.
TEST(StatusNames, EachNameHasItsNumberAndText) {
    struct Row {
        VX_STATUS name;
        VX_STATUS number;
        const char* text;
    };
    const Row rows[] = {
        {VX_OK, 0u, "no error"},
        {VX_INITIALIZATION_ERROR, 1u, "initialization error"},
        {VX_NOT_INITIALIZED, 2u, "not initialized"},
        {VX_NO_SYSTEMS_FOUND, 3u, "no systems found"},
        {VX_TOO_MANY_SYSTEMS, 4u, "too many systems"},
        {VX_INVALID_SYSTEM_INDEX, 5u, "invalid system index"},
        {VX_INVALID_CHANNEL_INDEX, 6u, "invalid channel index"},
        {VX_TRANSMIT_ERROR, 7u, "transmit error"},
        {VX_WRITE_ERROR, 8u, "write error"},
        {VX_INVALID_PARAMETER, 9u, "invalid parameter"},
        {VX_READ_ERROR, 10u, "read error"},
        {VX_INTERNAL_ERROR, 12u, "internal error"},
        {VX_WRONG_MODE, 13u, "wrong mode"},
        {VX_PROTOCOL_ERROR, 14u, "protocol error"},
        {VX_TIMEOUT, 15u, "timeout"},
        {VX_ID_LIST_TOO_SMALL, 17u, "id list too small"},
        {VX_SYSTEM_ALREADY_ADDED, 18u, "system already added"},
        {VX_WRONG_CHANNEL_TYPE, 19u, "wrong channel type"},
        {VX_CANCELED, 20u, "canceled"},
        {VX_INVALID_SYSTEM_LOCATOR, 21u, "invalid system locator"},
        {VX_INPUT_BUFFER_OVERFLOW, 22u, "input buffer overflow"},
        {VX_QUERY_BUFFER_SIZE, 23u, "query-buffer size"},
        {VX_DRIVER_ERROR, 24u, "driver error"},
        {VX_COMPATIBILITY_ERROR, 25u, "compatibility error"},
        {VX_NO_SUCH_SLAVE_ERROR, 128u, "no such slave error"},
        {VX_NO_SENSOR_PRESENT, 129u, "no sensor present"},
        {VX_AMPLITUDE_TOO_LOW, 130u, "amplitude too low"},
        {VX_AMPLITUDE_TOO_HIGH, 131u, "amplitude too high"},
        {VX_FREQUENCY_TOO_LOW, 132u, "frequency too low"},
        {VX_FREQUENCY_TOO_HIGH, 133u, "frequency too high"},
        {VX_SCAN_TARGET_TOO_HIGH, 135u, "scan target too high"},
        {VX_SCAN_SPEED_TOO_LOW, 136u, "scan speed too low"},
        {VX_SCAN_SPEED_TOO_HIGH, 137u, "scan speed too high"},
        {VX_SENSOR_DISABLED, 140u, "sensor disabled"},
        {VX_COMMAND_OVERRIDDEN, 141u, "command overridden"},
        {VX_END_STOP_REACHED, 142u, "end stop reached"},
        {VX_WRONG_SENSOR_TYPE, 143u, "wrong sensor type"},
        {VX_COULD_NOT_FIND_REFERENCE_MARK, 144u, "could not find reference mark"},
        {VX_WRONG_END_EFFECTOR_TYPE, 145u, "wrong end effector type"},
        {VX_MOVEMENT_LOCKED, 146u, "movement locked"},
        {VX_RANGE_LIMIT_REACHED, 147u, "range limit reached"},
        {VX_PHYSICAL_POSITION_UNKNOWN, 148u, "physical position unknown"},
        {VX_OUTPUT_BUFFER_OVERFLOW, 149u, "output buffer overflow"},
        {VX_COMMAND_NOT_PROCESSABLE, 150u, "command not processable"},
        {VX_WAITING_FOR_TRIGGER, 151u, "waiting for trigger"},
        {VX_COMMAND_NOT_TRIGGERABLE, 152u, "command not triggerable"},
        {VX_COMMAND_QUEUE_FULL, 153u, "command queue full"},
        {VX_INVALID_COMPONENT, 154u, "invalid component"},
        {VX_INVALID_SUB_COMPONENT, 155u, "invalid sub component"},
        {VX_INVALID_PROPERTY, 156u, "invalid property"},
        {VX_PERMISSION_DENIED, 157u, "permission denied"},
        {VX_CALIBRATION_FAILED, 160u, "calibration failed"},
        {VX_UNKNOWN_COMMAND, 240u, "unknown command"},
        {VX_OTHER_ERROR, 255u, "other error"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.name, row.number) << row.text;
        const char* text = nullptr;
        EXPECT_EQ(VX_GetStatusInfo(row.name, &text), 0u) << row.number;
        EXPECT_STREQ(text, row.text) << row.number;
    }
}
