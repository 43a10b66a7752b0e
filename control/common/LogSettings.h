#pragma once

#include <atomic>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "QMXControl.h"

namespace qmx {

using LogHandler = VX_LogHandler;

enum OldLogPolicy : uint32_t { OldLogsAppend = 0, OldLogsDelete = 1, OldLogsKeep = 2 };

// Settings that the log exports and the INI file change; each is one word.
extern std::atomic<bool> fileLogging;
extern std::atomic<uint32_t> oldLogPolicy;
extern std::atomic<LogHandler> logHandler;

// The log folder is a text and so sits behind a small mutex of its own.
void setLogFolder(const std::string& folder);
std::string logFolder();

// Folder where the INI file was last found; empty when none was.
std::string iniFolder();

inline constexpr const char* kIniFileName = "QMXControl.ini";
inline constexpr const char* kIniHeader = "; QMXControl ini file";

// What a readable INI file says; keys it does not name stay empty.
struct IniValues {
    bool headerOk = false;
    std::optional<uint32_t> level;  // already clamped to 5
    std::optional<bool> arguments;
    std::optional<std::string> folder;
    std::optional<uint32_t> policy;
};

// Reads the INI text; "lib"/"dll" and "app" for LogPath stand for the two
// folders given.
IniValues parseIni(std::istream& in, const std::string& libraryFolder, const std::string& appFolder);

// Folder of the QMXControl library file and of the program's executable.
std::string libraryDirectory();
std::string applicationDirectory();

// The folders searched for the INI file, in order.
std::vector<std::string> iniSearchFolders();

// readIniOnce over the given folders.
void readIniOnceFrom(const std::vector<std::string>& folders);

// Runs when the level goes from 0 to nonzero (VX_SetLogLevel, the INI file).
void startLogging();

// The level change of VX_SetLogLevel, serialised with starts and stops.
void changeLogLevel(uint32_t level);

// Closes any log file and puts every setting back to its load-time value.
void resetLogging();

}  // namespace qmx
