#pragma once

// The faulty line of a soak run: the line-fault proxy of the simulator, a
// seeded schedule of faults on it, and the questions a soak asks of the
// faults that ran ("did the line stop taking bytes for the time-out?").

#include <algorithm>
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

// The proxy, its schedule and the faults that ran.
class FaultyLine {
public:
    FaultyLine(const vxsim::LineProxy::Options& options, const vxsim::LineFaultSchedule::Options& schedule)
        : tcp_(!options.serial), proxy_(options) {
        if (!schedule.kinds.empty()) schedule_ = std::make_unique<vxsim::LineFaultSchedule>(proxy_, schedule);
    }
    ~FaultyLine() { stop(); }

    vxsim::LineProxy& proxy() { return proxy_; }
    const std::string& locator() const { return proxy_.locator(); }
    bool tcp() const { return tcp_; }

    // Ends the faults; the line passes everything from now on.
    void stop() {
        if (schedule_) schedule_->stop();
    }

    std::vector<vxsim::LineFaultSchedule::Step> steps() const {
        return schedule_ ? schedule_->steps() : std::vector<vxsim::LineFaultSchedule::Step>{};
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

    // Counts each fault that ran, by kind, into the run's record.
    void record(Recorder& recorder) const {
        for (const auto& step : steps())
            if (step.fault.kind != vxsim::LineFault::Kind::Pass)
                recorder.fault(std::string(tcp_ ? "tcp " : "serial ") + vxsim::lineFaultName(step.fault.kind));
    }

private:
    bool tcp_;
    vxsim::LineProxy proxy_;
    std::unique_ptr<vxsim::LineFaultSchedule> schedule_;
};

}  // namespace vxtest::soak
