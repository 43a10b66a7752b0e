#include "api/ExportFrame.h"

#include <cstdio>

#include "api/Registry.h"

namespace qmx {

namespace {
std::atomic<uint32_t> callCounter{0};
}  // namespace

uint32_t nextCallNumber() { return callCounter.fetch_add(1) + 1; }

void setCallCounter(uint32_t value) { callCounter.store(value); }

void LogValues::separate() {
    if (!empty_) text_ += ',';
    empty_ = false;
}

LogValues& LogValues::unsignedValue(uint32_t value) {
    separate();
    text_ += std::to_string(value);
    return *this;
}

LogValues& LogValues::signedValue(int32_t value) {
    separate();
    text_ += std::to_string(value);
    return *this;
}

namespace {
void appendHex(std::string& out, uint32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%x", value);
    out += digits;
}

// "{" the bytes separated by "," "}", each written by `appendByte`.
template <typename AppendByte>
void appendByteList(std::string& out, const uint8_t* bytes, std::size_t count, AppendByte appendByte) {
    out += '{';
    for (std::size_t i = 0; bytes && i < count; ++i) {
        if (i) out += ',';
        appendByte(out, bytes[i]);
    }
    out += '}';
}
}  // namespace

LogValues& LogValues::hex(uint32_t value) {
    separate();
    appendHex(text_, value);
    return *this;
}

LogValues& LogValues::text(const char* value) {
    separate();
    text_ += '"';
    if (value) text_ += value;
    text_ += '"';
    return *this;
}

LogValues& LogValues::character(uint8_t value) {
    separate();
    text_ += static_cast<char>(value);
    return *this;
}

LogValues& LogValues::bytesHex(const uint8_t* bytes, std::size_t count) {
    separate();
    appendByteList(text_, bytes, count, appendHex);
    return *this;
}

LogValues& LogValues::bytesAsCharacters(const uint8_t* bytes, std::size_t count) {
    separate();
    appendByteList(text_, bytes, count, [](std::string& out, uint8_t byte) { out += static_cast<char>(byte); });
    return *this;
}

void writeLogLine(const std::string& line) { logMessage(2, line); }

std::shared_ptr<SystemBase> lookupSystem(VX_SystemIndex index) {
    return systemRegistry().lookup(index);
}

}  // namespace qmx
