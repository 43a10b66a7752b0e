#include "common/Status.h"

namespace qmx {

namespace {

struct StatusRow {
    VX_STATUS code;
    const char* text;
};

// Ascending by code; the row with a null text ends the table.
constexpr StatusRow statusTable[] = {
    {0, "no error"},
    {1, "initialization error"},
    {2, "not initialized"},
    {3, "no systems found"},
    {4, "too many systems"},
    {5, "invalid system index"},
    {6, "invalid channel index"},
    {7, "transmit error"},
    {8, "write error"},
    {9, "invalid parameter"},
    {10, "read error"},
    {12, "internal error"},
    {13, "wrong mode"},
    {14, "protocol error"},
    {15, "timeout"},
    {17, "id list too small"},
    {18, "system already added"},
    {19, "wrong channel type"},
    {20, "canceled"},
    {21, "invalid system locator"},
    {22, "input buffer overflow"},
    {23, "query-buffer size"},
    {24, "driver error"},
    {25, "compatibility error"},
    {128, "no such slave error"},
    {129, "no sensor present"},
    {130, "amplitude too low"},
    {131, "amplitude too high"},
    {132, "frequency too low"},
    {133, "frequency too high"},
    {135, "scan target too high"},
    {136, "scan speed too low"},
    {137, "scan speed too high"},
    {140, "sensor disabled"},
    {141, "command overridden"},
    {142, "end stop reached"},
    {143, "wrong sensor type"},
    {144, "could not find reference mark"},
    {145, "wrong end effector type"},
    {146, "movement locked"},
    {147, "range limit reached"},
    {148, "physical position unknown"},
    {149, "output buffer overflow"},
    {150, "command not processable"},
    {151, "waiting for trigger"},
    {152, "command not triggerable"},
    {153, "command queue full"},
    {154, "invalid component"},
    {155, "invalid sub component"},
    {156, "invalid property"},
    {157, "permission denied"},
    {160, "calibration failed"},
    {240, "unknown command"},
    {255, "other error"},
    {0, nullptr},
};

constexpr const char* kUnknownStatusText = "<unknown status code>";

}  // namespace

bool lookupStatusText(VX_STATUS status, const char** text) {
    for (const StatusRow* row = statusTable; row->text; ++row) {
        if (row->code == status) {
            *text = row->text;
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
