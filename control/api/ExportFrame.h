#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "QMXControl.h"
#include "common/Log.h"
#include "systems/SystemBase.h"

namespace qmx {

// The process-wide call counter: every framed export takes the next number
// (the first call is 1; after 4294967295 comes 0). Atomic, so overlapping
// calls never share a number.
uint32_t nextCallNumber();

// Sets the counter so that the next call gets `value` + 1.
void setCallCounter(uint32_t value);

// Text forms of arguments and outputs, separated by "," as they are added.
class LogValues {
public:
    LogValues& unsignedValue(uint32_t value);
    LogValues& signedValue(int32_t value);
    // "0x" and lower-case hexadecimal digits without leading zeros.
    LogValues& hex(uint32_t value);
    // Between double quotes; a null text gives two quotes and nothing else.
    LogValues& text(const char* value);
    // The single character whose code is the byte.
    LogValues& character(uint8_t value);
    // "{" the bytes separated by "," "}", each as "0x" + hex or as its character.
    LogValues& bytesHex(const uint8_t* bytes, std::size_t count);
    LogValues& bytesAsCharacters(const uint8_t* bytes, std::size_t count);

    const std::string& str() const { return text_; }

private:
    void separate();

    std::string text_;
    bool empty_ = true;
};

// Whether call and return lines are written at all; tested before any text
// work, separately for each line.
inline bool callLinesEnabled() { return logLevel.load(std::memory_order_relaxed) >= 2; }

void writeLogLine(const std::string& line);

// "call [n] name" and, with argument logging on, "(" arguments ")".
// `arguments(LogValues&)` runs only when the arguments are written.
template <typename Arguments>
void writeCallLine(uint32_t number, const char* name, Arguments&& arguments) {
    if (!callLinesEnabled()) return;
    try {
        std::string line = "call [" + std::to_string(number) + "] " + name;
        if (logArguments.load()) {
            LogValues values;
            arguments(values);
            line += "(" + values.str() + ")";
        }
        writeLogLine(line);
    } catch (...) {
        // Logging never changes what the call does.
    }
}

inline void writeCallLine(uint32_t number, const char* name) {
    writeCallLine(number, name, [](LogValues&) {});
}

// "return [n] -> status" and, with argument logging on, " | " outputs.
template <typename Outputs>
void writeReturnLine(uint32_t number, VX_STATUS status, Outputs&& outputs) {
    if (!callLinesEnabled()) return;
    try {
        std::string line = "return [" + std::to_string(number) + "] -> " + std::to_string(status);
        if (logArguments.load()) {
            LogValues values;
            outputs(values);
            line += " | " + values.str();
        }
        writeLogLine(line);
    } catch (...) {
    }
}

inline void writeReturnLine(uint32_t number, VX_STATUS status) {
    writeReturnLine(number, status, [](LogValues&) {});
}

// A copy of the registry's reference to the system at `index` (empty for an
// unknown index): it keeps the system alive until the caller drops it, even
// when another thread closes the system meanwhile.
std::shared_ptr<SystemBase> lookupSystem(VX_SystemIndex index);

}  // namespace qmx
