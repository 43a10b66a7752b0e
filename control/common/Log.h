#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace qmx {

// Current log level 0 to 5; read without a lock on hot paths.
extern std::atomic<uint32_t> logLevel;

// Whether call lines carry arguments and return lines outputs (initially
// true; bit 1 of VX_SetLogFilter, INI key LogArgs).
extern std::atomic<bool> logArguments;

// One line to the log handler and the log file, under the log mutex, when
// `level` is at or below the current level.
void logMessage(uint32_t level, const std::string& text);

// "OUT"/" IN" + " packet: " + the packet's (byte 2 & 0x0F) + 3 bytes in hex.
void logPacket(const char* direction, const uint8_t* packet);

// Looks for "QMXControl.ini" and applies it, unless logging has started;
// called by the open and init exports. Never hold the log mutex around it.
void readIniOnce();

// Ends file logging ("Logging stopped." first when the level is not 0);
// the level itself stays.
void stopLogging();

}  // namespace qmx
