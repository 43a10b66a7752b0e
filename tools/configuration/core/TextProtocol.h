#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// The textual command protocol of first-generation controllers: command
// lines, the reply grammar, and the rules by which each operation reads its
// reply. Nothing here does I/O.
namespace qmxtext {

// The most values one reply carries: a channel digit, the first number and
// nine more.
constexpr int kMaxReplyValues = 11;
// Characters a reply line may hold before its line feed.
constexpr size_t kMaxLineLength = 256;
// The first value of an "E" reply about the system as a whole (-1).
constexpr uint32_t kWholeSystem = 0xFFFFFFFFu;
// The first value of an "E" reply to a speed level table command.
constexpr uint32_t kSpeedLevelTable = 255;

struct Reply {
    std::string name;
    int count = 0;  // values parsed
    std::array<uint32_t, kMaxReplyValues> values{};
};

// A command name followed by its arguments in decimal, separated by ",":
// textCommand("FRM", {0, 1, 1000, 1}) gives "FRM0,1,1000,1".
std::string textCommand(std::string_view name, std::initializer_list<int64_t> arguments = {});
// The line on the wire: ":", the command and a line feed.
std::string frameCommand(std::string_view command);

// One value of a reply: signed when it begins with "-", hexadecimal when it
// holds "0x"; two's complement for negative numbers. Empty when it does not
// convert to 32 bits.
std::optional<uint32_t> convertValue(std::string_view text);

// Parses a reply line as read (with its line feed; bytes before the first
// ":" are dropped) into `reply`. 0, 14 when the line does not match the
// grammar, 12 when a value does not convert (count then tells how many were
// stored).
uint32_t parseReply(std::string_view line, Reply* reply);

// Acknowledge: "E", exactly two values, the first -1 or the channel; the
// second is the result.
uint32_t acknowledgeRule(const Reply& reply, uint32_t channel);
// Acknowledge with the system error first: "E" with -1 first gives its
// second value; otherwise "E", two values, `target` first.
uint32_t systemFirstAcknowledgeRule(const Reply& reply, uint32_t target);
// Acknowledge without a channel: "E" with -1 first gives its second value;
// any other "E" with two values is success.
uint32_t unaddressedAcknowledgeRule(const Reply& reply);

// What a data reply must look like; its name and leading values also say
// which request it answers.
struct DataShape {
    std::string name;
    int count;
    std::optional<uint32_t> first = std::nullopt;
    std::optional<uint32_t> second = std::nullopt;
};
// Data: "E" with -1 first gives the controller's code; otherwise the reply
// must have the shape. 0 means the outputs may be taken from the reply.
uint32_t dataRule(const Reply& reply, const DataShape& shape);
// The reply has the shape: name, count and the leading values it names.
bool hasShape(const Reply& reply, const DataShape& shape);

// The reply to a channel property request: any "E" reply gives its code,
// otherwise "CPR" with the channel, the key and the value.
uint32_t channelPropertyRule(const Reply& reply, uint32_t channel, uint32_t key, int32_t* value);
// The reply to "GIV": a version of three or four numbers.
uint32_t interfaceVersionRule(const Reply& reply, uint32_t* version);
// The reply to "GFV": the index and two versions of four numbers; the
// second one for firmware kind 3, else the first.
uint32_t firmwareVersionRule(const Reply& reply, uint32_t kind, uint32_t index,
                             uint32_t* version);
// The reply to "GFP": the channel and one number (the count of permission
// bytes, or one byte, of which the low 8 bits count).
uint32_t featurePermissionRule(const Reply& reply, uint32_t channel, uint32_t* number);
// The reply to an index map read: any name, first value 1, at least three
// values; the entry is the low byte of the third.
uint32_t indexMapReadRule(const Reply& reply, uint8_t* entry);

// Firmware versions: a × 2^27 + b × 2^24 + c × 2^16 + d, and from three
// numbers a × 2^24 + b × 2^16 + c.
uint32_t packVersion(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
uint32_t packVersion(uint32_t a, uint32_t b, uint32_t c);

// The stored locator into a caller's buffer: *size holds the capacity on
// entry and the text's length on return; 23 when the text and its NUL do
// not fit (nothing copied), 9 without a size.
uint32_t copyLocator(std::string_view locator, char* buffer, uint32_t* size);

}  // namespace qmxtext
