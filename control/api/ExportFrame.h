#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "QMXControl.h"
#include "common/Log.h"
#include "common/StatusCodes.h"
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

// The frame of the hand-written exports; the generated ones have theirs in
// exports/ExportTable.h. Both take the next call number, write the call
// line, run their body and write the return line, and no exception ever
// leaves them.

// The status of a hand-written export whose body threw (internal error).
inline constexpr VX_STATUS kStatusOnException = VX_INTERNAL_ERROR;

// Runs `body`; an exception from it becomes kStatusOnException. On its own
// it is the frame of the exports outside the numbered calls (the log
// settings, the status texts).
template <typename Body>
auto runUnframed(Body&& body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        return kStatusOnException;
    }
}

// What the body of a framed export ends with: its status, and whether the
// return line follows (the release that stops the log writes none).
struct ExportResult {
    ExportResult(VX_STATUS status) : status(status) {}
    static ExportResult withoutReturnLine(VX_STATUS status) {
        ExportResult result(status);
        result.returnLine = false;
        return result;
    }

    VX_STATUS status;
    bool returnLine = true;
};

inline constexpr auto noArguments = [](LogValues&) {};
inline constexpr auto noOutputs = [](LogValues&, VX_STATUS) {};

// The frame of a hand-written export: the call line with
// `arguments(LogValues&)`, `body()` under runUnframed, the return line with
// `outputs(LogValues&, status)`. `held`, when given, is locked after the
// call line and released after the return line, so that the return lines
// of calls on the same state come in the order of their changes.
template <typename Arguments, typename Body, typename Outputs>
VX_STATUS runFramed(const char* name, Arguments&& arguments, Body&& body, Outputs&& outputs,
                    std::mutex* held = nullptr) noexcept {
    const uint32_t number = nextCallNumber();
    writeCallLine(number, name, arguments);
    std::unique_lock<std::mutex> hold;
    const ExportResult result = runUnframed([&]() -> ExportResult {
        if (held) hold = std::unique_lock<std::mutex>(*held);
        return body();
    });
    if (result.returnLine) {
        writeReturnLine(number, result.status, [&](LogValues& values) { outputs(values, result.status); });
    }
    return result.status;
}

// A copy of the registry's reference to the system at `index` (empty for an
// unknown index): it keeps the system alive until the caller drops it, even
// when another thread closes the system meanwhile.
std::shared_ptr<SystemBase> lookupSystem(VX_SystemIndex index);

}  // namespace qmx
