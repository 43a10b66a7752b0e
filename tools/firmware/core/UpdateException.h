#pragma once

#include <cstdint>
#include <string>

namespace vxfw {

// The codes of UpdateException, each with one fixed text (see text()).
enum UpdateCode : int32_t {
    kNoError = 0,
    kPortEnumerationError = 1,
    kInvalidParameter = 2,
    kCouldNotOpenPort = 3,
    kPortAlreadyOpen = 4,
    kProtocolError = 5,
    kSendError = 6,
    kReceiveError = 7,
    kTimeout = 8,
    kPortNotOpen = 9,
    kCouldNotOpenFile = 10,
    kInvalidFileContent = 11,
    kConfigurationError = 12,
    kUnknownPortType = 13,
    kNotImplemented = 14,
    kWrongSystemState = 15,
    kCrcError = 16,
    kBufferFull = 17,
    kCanError = 18,
};

// The firmware uploader's one exception: a code of the table above and a
// detail message (often empty). Thrown by value, caught by reference.
class UpdateException {
public:
    UpdateException(int32_t code, std::string message);
    UpdateException(int32_t code, const char* message = "");
    UpdateException(const UpdateException&) = default;
    UpdateException& operator=(const UpdateException&) = default;
    virtual ~UpdateException();

    int32_t code() const { return code_; }
    const std::string& message() const { return message_; }

    // The code's text, then " (" message ")" when there is a message;
    // "<error code invalid>" for a code outside the table.
    std::string text() const;

private:
    int32_t code_;
    std::string message_;
};

// The decimal form of a number, "-" before negative ones: every number in a
// command text or an option text is written with it.
std::string toText(int32_t value);

}  // namespace vxfw
