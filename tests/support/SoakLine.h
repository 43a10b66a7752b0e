#pragma once

// The faulty line of a soak run: the line-fault proxy of the simulator, a
// seeded schedule of faults on it, and the questions a soak asks of the
// faults that ran ("did the line stop taking bytes for the time-out?").

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/LineProxy.h"
#include "support/Soak.h"

namespace vxtest::soak {

// A fault of the schedule that takes nothing from the client for its
// whole length, or ends the connection: one that may legitimately give a
// line up when it lasts `timeout`.
inline bool stopsTheLine(const vxsim::LineFaultSchedule::Step& step, std::chrono::milliseconds timeout,
                         bool tcp) {
    using Kind = vxsim::LineFault::Kind;
    switch (step.fault.kind) {
    case Kind::Drop:
        return true;
    case Kind::HalfClose:
        // A TCP peer that shut its side has closed the connection for the reader.
        return tcp;
    case Kind::Stall:
    case Kind::Hold:
    case Kind::HoldOutput:
        return step.length >= timeout;
    default:
        return false;
    }
}

// VX_SOAK_FAULTS ("hold,stall", names as vxsim::lineFaultName gives them)
// or the soak's own list, to run a soak by hand against some faults only.
inline std::vector<vxsim::LineFault::Kind> faultsFromEnvironment(std::vector<vxsim::LineFault::Kind> fallback) {
    const char* text = std::getenv("VX_SOAK_FAULTS");
    if (!text || !*text) return fallback;
    std::vector<vxsim::LineFault::Kind> kinds;
    std::string names = text;
    for (size_t at = 0; at <= names.size();) {
        const size_t end = std::min(names.find(',', at), names.size());
        const std::string name = names.substr(at, end - at);
        for (size_t kind = 1; kind < vxsim::kLineFaultKinds; ++kind)
            if (name == vxsim::lineFaultName(static_cast<vxsim::LineFault::Kind>(kind)))
                kinds.push_back(static_cast<vxsim::LineFault::Kind>(kind));
        at = end + 1;
    }
    if (kinds.empty()) std::fprintf(stderr, "VX_SOAK_FAULTS=\"%s\" names no fault; the soak's own are used\n", text);
    return kinds.empty() ? fallback : kinds;
}

// The options a library opens a soak's line with: the time-out after which
// a line that takes no bytes is given up, and a serial line's rate.
inline std::string lineOptions(bool tcp, uint32_t baud, std::chrono::milliseconds timeout) {
    if (tcp) return "connect-timeout " + std::to_string(timeout.count());
    return "baudrate " + std::to_string(baud) + "\ntx-timeout " + std::to_string(timeout.count());
}

// VX_SOAK_TRANSPORT=tcp|serial or a draw of either.
inline bool tcpFromEnvironment(Rng& rng) {
    const char* transport = std::getenv("VX_SOAK_TRANSPORT");
    return transport && *transport ? std::string(transport) != "serial" : rng.chance(0.5);
}

// A proxy in front of `upstream` (a simulator's TCP locator) that offers
// the client a TCP port or a paced pseudo-terminal, keeping its last
// `debugEntries` log entries when VX_SOAK_DEBUG is set.
inline vxsim::LineProxy::Options proxyOptions(const std::string& upstream, bool tcp, size_t debugEntries) {
    vxsim::LineProxy::Options proxy;
    proxy.upstream = upstream;
    proxy.serial = !tcp;
    proxy.paced = !tcp;
    proxy.logEntries = std::getenv("VX_SOAK_DEBUG") ? debugEntries : 0;
    return proxy;
}

// The proxy, its schedule and the faults that ran.
class FaultyLine {
public:
    explicit FaultyLine(const vxsim::LineProxy::Options& options) : tcp_(!options.serial), proxy_(options) {}
    FaultyLine(const vxsim::LineProxy::Options& options, const vxsim::LineFaultSchedule::Options& schedule)
        : FaultyLine(options) {
        start(schedule);
    }
    ~FaultyLine() { stop(); }

    // Starts the faults (a line made without them passes everything until
    // then), or starts them again after stop() with another schedule.
    void start(const vxsim::LineFaultSchedule::Options& schedule) {
        stop();
        schedule_ = std::make_unique<vxsim::LineFaultSchedule>(proxy_, schedule);
    }

    vxsim::LineProxy& proxy() { return proxy_; }
    const std::string& locator() const { return proxy_.locator(); }
    bool tcp() const { return tcp_; }

    // Ends the faults; the line passes everything from now on. Not
    // thread-safe with start() or steps(): one thread runs the faults.
    void stop() {
        if (!schedule_) return;
        schedule_->stop();
        const auto steps = schedule_->steps();
        past_.insert(past_.end(), steps.begin(), steps.end());
        // The last step ended with the stop.
        if (!past_.empty())
            past_.back().length = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - past_.back().at);
        schedule_.reset();
    }

    // Every step run so far, of this schedule and those before it.
    std::vector<vxsim::LineFaultSchedule::Step> steps() const {
        std::vector<vxsim::LineFaultSchedule::Step> all = past_;
        if (schedule_) {
            const auto steps = schedule_->steps();
            all.insert(all.end(), steps.begin(), steps.end());
        }
        return all;
    }

    // Whether a fault that stops the line for `timeout` overlapped
    // [from, to]: a step overlaps from its start to its start plus length
    // (the next step begins then).
    bool lineStoppedBetween(Clock::time_point from, Clock::time_point to, std::chrono::milliseconds timeout) const {
        for (const auto& step : steps()) {
            if (!stopsTheLine(step, timeout, tcp_)) continue;
            if (step.at <= to && step.at + step.length >= from) return true;
        }
        return false;
    }

    // Whether any fault of `kind` began in [from, to].
    bool faultBegan(vxsim::LineFault::Kind kind, Clock::time_point from, Clock::time_point to) const {
        const auto all = steps();
        return std::any_of(all.begin(), all.end(), [&](const auto& step) {
            return step.fault.kind == kind && step.at >= from && step.at <= to;
        });
    }

    // Counts each fault that ran, by kind, and the connections the proxy
    // dropped into the run's record.
    void record(Recorder& recorder) const {
        for (const auto& step : steps())
            if (step.fault.kind != vxsim::LineFault::Kind::Pass)
                recorder.fault(std::string(tcp_ ? "tcp " : "serial ") + vxsim::lineFaultName(step.fault.kind));
        recorder.fault("proxy drops", proxy_.counters().drops);
    }

private:
    bool tcp_;
    vxsim::LineProxy proxy_;
    std::unique_ptr<vxsim::LineFaultSchedule> schedule_;
    std::vector<vxsim::LineFaultSchedule::Step> past_;
};

}  // namespace vxtest::soak
