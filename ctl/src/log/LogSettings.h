#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vxctl {

inline constexpr const char* kIniFileName = "VeltraxCTL.ini";
inline constexpr const char* kIniFirstLine = "; VeltraxCTL ini file";

enum class OldLogs : uint32_t { Append = 0, Delete = 1, Keep = 2 };

// Module types of a controller, named "IM", "DM" and "HM" in texts.
enum class ModuleType : uint32_t { Interface = 0, Drive = 1, HandControl = 2 };

// The name of a module type; "?" for a value outside the table.
const char* moduleTypeName(ModuleType type);

// One source of controller log messages that device logging reads.
struct MessageSource {
    ModuleType moduleType = ModuleType::Interface;
    int32_t index = 0;
    int32_t element = 0;
    int32_t value = 0;

    bool operator==(const MessageSource&) const = default;
};

inline constexpr int32_t kMaxLogLevel = 4;

struct LogSettings {
    int32_t logLevel = 0;  // a line of level n is written at level n and above
    bool logArgs = true;
    bool deviceLogging = false;
    // "app": the executable's folder; "lib" or "dll": this library's folder;
    // anything else: that folder as written.
    std::string logPath = "app";
    OldLogs oldLogs = OldLogs::Delete;
    std::vector<MessageSource> messageSources;

    bool operator==(const LogSettings&) const = default;
};

// A decimal number as strtol reads it (leading blanks, a sign, trailing
// text ignored); empty without digits or outside 32 bits.
std::optional<int32_t> readInt32(std::string_view text);

// The settings an INI file gives, starting from the defaults; empty when
// its first line is not kIniFirstLine. Malformed lines and unknown keys are
// skipped; the level ends clamped to 0..kMaxLogLevel.
std::optional<LogSettings> parseIniSettings(std::istream& in);

}  // namespace vxctl
