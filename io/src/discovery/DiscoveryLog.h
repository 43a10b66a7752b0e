#pragma once

#include <string>

namespace veltraxnd {

// Receives each diagnostics line whose level the mask lets through.
using DiscoveryLogSink = void (*)(void* context, unsigned level, const char* text);

// The process-wide diagnostics hook of the discovery code. Nothing is
// formatted or written until a sink is installed; the mask starts at
// errors only.
class DiscoveryLog {
public:
    static constexpr unsigned Errors = 1;
    static constexpr unsigned Packets = 2;
    static constexpr unsigned RawPackets = 4;

    // Null removes the sink; once this returns, the old sink is not running.
    static void setSink(DiscoveryLogSink sink, void* context);
    static void setMask(unsigned mask);
    static unsigned mask();

    // Whether a line of this level would reach a sink: callers test it
    // before they format a line.
    static bool enabled(unsigned level);
    static void write(unsigned level, const std::string& text);
};

}  // namespace veltraxnd
