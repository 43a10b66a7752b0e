#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace qmx {

// Current log level 0 to 5; read without a lock on hot paths.
extern std::atomic<uint32_t> logLevel;

// One line to the log handler and the log file, under the log mutex, when
// `level` is at or below the current level.
void logMessage(uint32_t level, const std::string& text);

// "OUT"/" IN" + " packet: " + the packet's (byte 2 & 0x0F) + 3 bytes in hex.
void logPacket(const char* direction, const uint8_t* packet);

}  // namespace qmx
