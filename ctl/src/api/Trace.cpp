#include "api/Trace.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>

#include "event/EventText.h"
#include "log/Log.h"

namespace vxctl::api {

namespace {

constexpr int32_t kTraceLevel = 2;

std::atomic<uint32_t> callCounter{0};

}  // namespace

void TraceLine::piece(const std::string& piece) {
    if (started_) text_ += ", ";
    text_ += piece;
    started_ = true;
}

void TraceLine::unsignedValue(uint64_t value) { piece(std::to_string(value)); }

void TraceLine::signedValue(int64_t value) { piece(std::to_string(value)); }

void TraceLine::hex(uint64_t value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%" PRIx64, value);
    piece(buffer);
}

void TraceLine::text(const char* value) {
    if (!value) return null();
    piece(std::string("\"") + value + "\"");
}

void TraceLine::null() { piece("NULL"); }

void TraceLine::event(const VX_CTL_Event* event) {
    if (!event) return null();
    piece("{Event " + describeEvent(*event) + "}");
}

uint32_t nextCallNumber() { return callCounter.fetch_add(1, std::memory_order_relaxed) + 1; }

bool argumentsLogged() { return logArguments(); }

void writeCallText(uint32_t number, const char* name, const TraceLine* arguments) {
    std::string line = "call [" + std::to_string(number) + "] " + name;
    if (arguments) line += "(" + arguments->str() + ")";
    logLine(line, kTraceLevel);
}

void writeReturnText(uint32_t number, VX_CTL_Result result, const TraceLine* outputs) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%" PRIx32, result);
    std::string line = "return [" + std::to_string(number) + "] -> " + code + " (\"" + resultText(result) + "\")";
    if (outputs) line += " | " + outputs->str();
    logLine(line, kTraceLevel);
}

}  // namespace vxctl::api
