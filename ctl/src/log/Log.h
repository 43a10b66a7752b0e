#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "log/LogSettings.h"

namespace vxctl {

inline constexpr const char* kLibraryVersion = "1.1.44.63212";

// The process-wide log of the library: one file, written line by line
// under one log mutex. Every function here is safe on any thread.

// The level and argument flag every writer tests, without the log mutex.
int32_t logLevel();
bool logArguments();

// "API " line of `level` when the log level is at least `level` and the
// log file is open.
void logLine(const std::string& text, int32_t level);
// "DEV " line of a controller's own message, whatever the level.
void logDeviceLine(ModuleType moduleType, int32_t index, const std::string& text);
// A frame as hex at level 4; `direction` is "OUT" or " IN".
void logPacket(const char* direction, const uint8_t* bytes, size_t size);

// Reads "VeltraxCTL.ini" from the executable's folder, else from this
// library's folder, and applies it; only while no log file is open.
void loadIniSettings();
// The same over the given folders, in order.
void loadIniSettingsFrom(const std::vector<std::string>& folders);
// The folders loadIniSettings searches.
std::vector<std::string> iniSearchFolders();

// Starts or stops the log file as `settings` ask; false, changing nothing,
// for a negative level.
bool applySettings(const LogSettings& settings);
// The setter of the log level: effective and kept level, then applied.
void setLogLevel(int32_t level);
// Full path of the open log file; empty when none is open.
std::string logPath();
// The process-wide settings the open log took over.
LogSettings currentSettings();

// Device logging objects keep the log open while they exist.
void deviceLoggerCreated();
void deviceLoggerDestroyed();

// Closes the log and puts every setting back to its load-time value.
void resetLogging();

}  // namespace vxctl
