#include <sstream>

#include "sim/LineProxy.h"

namespace vxsim {

namespace {

constexpr const char* kNames[kLineFaultKinds] = {"pass",       "throttle", "stall", "hold",
                                                 "delay",      "half-close", "drop", "hold-output"};

}  // namespace

LineFault LineFault::throttle(uint32_t toUpstream, uint32_t toClient) {
    LineFault fault;
    fault.kind = Kind::Throttle;
    fault.toUpstreamRate = toUpstream;
    fault.toClientRate = toClient;
    return fault;
}

LineFault LineFault::stall() {
    LineFault fault;
    fault.kind = Kind::Stall;
    return fault;
}

LineFault LineFault::hold() {
    LineFault fault;
    fault.kind = Kind::Hold;
    return fault;
}

LineFault LineFault::delayEach(std::chrono::milliseconds delay) {
    LineFault fault;
    fault.kind = Kind::Delay;
    fault.delay = delay;
    return fault;
}

LineFault LineFault::halfClose(uint32_t readRate) {
    LineFault fault;
    fault.kind = Kind::HalfClose;
    fault.toUpstreamRate = readRate;
    return fault;
}

LineFault LineFault::drop(size_t after, bool reset) {
    LineFault fault;
    fault.kind = Kind::Drop;
    fault.after = after;
    fault.reset = reset;
    return fault;
}

LineFault LineFault::holdOutput() {
    LineFault fault;
    fault.kind = Kind::HoldOutput;
    return fault;
}

const char* lineFaultName(LineFault::Kind kind) { return kNames[static_cast<size_t>(kind)]; }

std::string LineFault::text() const {
    std::ostringstream out;
    out << lineFaultName(kind);
    switch (kind) {
    case Kind::Throttle:
        out << ' ' << toUpstreamRate << ' ' << toClientRate;
        break;
    case Kind::Delay:
        out << ' ' << delay.count();
        break;
    case Kind::HalfClose:
        out << ' ' << toUpstreamRate;
        break;
    case Kind::Drop:
        out << ' ' << after << (reset ? " reset" : "");
        break;
    default:
        break;
    }
    return out.str();
}

bool parseLineFault(const std::string& text, LineFault* fault) {
    std::istringstream in(text);
    std::string name;
    if (!(in >> name)) return false;
    size_t kind = 0;
    while (kind < kLineFaultKinds && name != kNames[kind]) ++kind;
    if (kind == kLineFaultKinds) return false;
    LineFault parsed;
    parsed.kind = static_cast<LineFault::Kind>(kind);
    bool ok = true;
    switch (parsed.kind) {
    case LineFault::Kind::Throttle:
        ok = static_cast<bool>(in >> parsed.toUpstreamRate >> parsed.toClientRate);
        break;
    case LineFault::Kind::Delay: {
        unsigned long ms = 0;
        ok = static_cast<bool>(in >> ms);
        parsed.delay = std::chrono::milliseconds(ms);
        break;
    }
    case LineFault::Kind::HalfClose:
        ok = static_cast<bool>(in >> parsed.toUpstreamRate);
        break;
    case LineFault::Kind::Drop: {
        ok = static_cast<bool>(in >> parsed.after);
        std::string reset;
        if (ok && in >> reset) {
            ok = reset == "reset";
            parsed.reset = ok;
        }
        break;
    }
    default:
        break;
    }
    std::string rest;
    if (!ok || in >> rest) return false;
    *fault = parsed;
    return true;
}

}  // namespace vxsim
