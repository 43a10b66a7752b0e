#pragma once

#include <string>
#include <vector>

// How the update run ended: written by the update page, read by the result
// page; every value is 0 until the update page sets it.
struct UpdateOutcome {
    enum Status { kNotSet = 0, kFailed = 1, kSucceeded = 2 };

    int updateStatus = kNotSet;   // the firmware update
    int resetStatus = kNotSet;    // the return to the application afterwards
    int restoreStatus = kNotSet;  // writing the saved configuration back
    // Modules that were damaged before the update and not updated.
    std::vector<std::string> damagedLeftOut;
};

// The program's one outcome.
extern UpdateOutcome updateOutcome;
