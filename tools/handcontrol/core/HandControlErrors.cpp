#include "HandControlErrors.h"

namespace {

struct ErrorRow {
    int code;
    const char* text;
};

// "fdti" as the users know it from the program's messages.
constexpr ErrorRow kErrorTexts[] = {
    {kHcNoError, "no error"},
    {kHcFtdiCallError, "fdti function call error"},
    {kHcAlreadyOpen, "already open"},
    {kHcNotOpen, "not open"},
    {kHcNoDevicesFound, "no devices found"},
    {kHcReadError, "read error"},
    {kHcWriteError, "write error"},
    {kHcUnexpectedAnswer, "unexpected answer"},
    {kHcTimeout, "timeout"},
    {kHcUnknownConfiguration, "unknown configuration"},
    {kHcInvalidAddress, "invalid address"},
    {kHcConfigurationMismatch, "configuration mismatch"},
    {kHcFileWriteError, "could not open file for write"},
    {kHcFileReadError, "could not open file for read"},
    {kHcInvalidFileContent, "invalid file content"},
    {kHcUnknownFileFormat, "unknown file format"},
    {kHcVerificationFailed, "verification failed"},
    {kHcAborted, "operation was aborted"},
    {kHcConnectFailed, "connecting to device failed"},
};

}  // namespace

QString errorText(int code) {
    for (const ErrorRow& row : kErrorTexts)
        if (row.code == code) return QString::fromLatin1(row.text);
    return QStringLiteral("error %1").arg(code);
}
