#pragma once

#include <QString>

// The configurator's result codes, shown to the user through errorText. Three
// of them share their numbers with the connection's status codes.
enum HandControlError : int {
    kHcNoError = 0,
    kHcFtdiCallError = 1001,
    kHcAlreadyOpen = 1,
    kHcNotOpen = 2,
    kHcNoDevicesFound = 1004,
    kHcReadError = 1005,
    kHcWriteError = 1006,
    kHcUnexpectedAnswer = 1007,
    kHcTimeout = 15,
    kHcUnknownConfiguration = 1009,
    kHcInvalidAddress = 1010,
    kHcConfigurationMismatch = 1011,
    kHcFileWriteError = 1012,
    kHcFileReadError = 1013,
    kHcInvalidFileContent = 1014,
    kHcUnknownFileFormat = 1015,
    kHcVerificationFailed = 1016,
    kHcAborted = 1017,
    kHcConnectFailed = 1018,
};

// The text of a result code; "error " and the number for a code without one.
QString errorText(int code);
