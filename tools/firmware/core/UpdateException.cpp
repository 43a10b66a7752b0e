#include "UpdateException.h"

#include <array>
#include <string_view>
#include <utility>

namespace vxfw {

namespace {

constexpr std::array<std::string_view, kCanError + 1> kCodeTexts = {
    "no Error",
    "port enumeration error",
    "invalid parameter",
    "could not open port",
    "port already open",
    "protocol error",
    "send error",
    "receive error",
    "timeout",
    "port not open",
    "could not open file",
    "invalid file content",
    "configuration error",
    "unknown port type",
    "not implemented",
    "wrong system state",
    "crc error",
    "buffer full",
    "CAN error",
};

}  // namespace

UpdateException::UpdateException(int32_t code, std::string message)
    : code_(code), message_(std::move(message)) {}

UpdateException::UpdateException(int32_t code, const char* message)
    : code_(code), message_(message ? message : "") {}

UpdateException::~UpdateException() = default;

std::string UpdateException::text() const {
    if (code_ < 0 || static_cast<size_t>(code_) >= kCodeTexts.size()) return "<error code invalid>";
    std::string text(kCodeTexts[static_cast<size_t>(code_)]);
    if (!message_.empty()) text += " (" + message_ + ")";
    return text;
}

std::string toText(int32_t value) { return std::to_string(value); }

}  // namespace vxfw
