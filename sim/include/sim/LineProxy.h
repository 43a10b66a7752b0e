#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vxsim {

// What a line does to the bytes it carries, in both directions unless said.
struct LineFault {
    enum class Kind {
        Pass,        // everything through as it comes
        Throttle,    // at most toUpstreamRate / toClientRate bytes a second (0: no limit)
        Stall,       // the client's bytes are no longer taken, so its sends block
        Hold,        // nothing through either way; what was taken meanwhile follows
                     // when the fault ends, as TCP delivers after a cut
        Delay,       // each chunk passed `delay` after it came
        HalfClose,   // nothing more to the client (on TCP its receiving side is shut
                     // for the rest of the connection), its bytes taken at toUpstreamRate;
                     // connections made later are whole
        Drop,        // once `after` more of the client's bytes have passed, the
                     // connections open are closed (or reset), later ones pass; on
                     // serial the line is cut until the next fault: bytes either
                     // way are lost
        HoldOutput,  // the client's output is held as XOFF or a dropped CTS would
                     // (serial); on TCP it is a stall
    };

    Kind kind = Kind::Pass;
    uint32_t toUpstreamRate = 0;
    uint32_t toClientRate = 0;
    std::chrono::milliseconds delay{0};
    size_t after = 0;
    bool reset = false;

    static LineFault pass() { return {}; }
    static LineFault throttle(uint32_t toUpstream, uint32_t toClient);
    static LineFault stall();
    static LineFault hold();
    static LineFault delayEach(std::chrono::milliseconds delay);
    static LineFault halfClose(uint32_t readRate);
    static LineFault drop(size_t after, bool reset = false);
    static LineFault holdOutput();

    // "throttle 2000 5000", "drop 17 reset", ... as parseLineFault() reads it.
    std::string text() const;
};

const char* lineFaultName(LineFault::Kind kind);
inline constexpr size_t kLineFaultKinds = 8;

// Reads a fault as text() writes it: "pass", "throttle UP DOWN", "stall",
// "hold", "delay MS", "half-close RATE", "drop AFTER [reset]",
// "hold-output". False for anything else.
bool parseLineFault(const std::string& text, LineFault* fault);

struct LineProxyCounters {
    uint64_t toUpstream = 0;  // bytes passed from the client
    uint64_t toClient = 0;    // bytes passed to the client
    uint64_t lost = 0;        // bytes taken and not passed (drops, half-close, a cut line)
    uint64_t connections = 0; // client connections taken (serial: 1)
    uint64_t drops = 0;       // connections dropped or lines cut by a fault
    uint64_t faults = 0;      // faults set, other than pass
    uint64_t byKind[kLineFaultKinds] = {};
};

// One thing the proxy did, for the log.
struct LineProxyEvent {
    std::chrono::steady_clock::time_point at;
    std::string text;  // "> 37 a0 25 00 ...", "< 12 ...", "fault hold", "connection 2 dropped"
};

// A misbehaving line between a host program (the client) and a simulated
// controller's endpoint (upstream), for tests in-process and from the
// command line (vxsim-proxy).
//
// TCP: it listens on 127.0.0.1 and opens a connection upstream for each
// client connection; the client's segments are Ethernet-sized and the
// proxy's buffers small, so a slowed line shows as steady progress. Serial:
// the client opens a pseudo-terminal; the upstream connection is made once
// and outlives the client's closes and opens, as a serial line does, so a
// controller keeps whatever half frame it had.
//
// Upstream is "network:HOST:PORT" (a TCP endpoint) or "serial:PATH" (a
// pseudo-terminal a simulator serves). Faults apply at once to every
// connection; Pass ends the one before. Thread-safe; every thread is owned
// and joined, every descriptor closed by the destructor.
class LineProxy {
public:
    struct Options {
        std::string upstream;
        bool serial = false;     // a pseudo-terminal for the client instead of TCP
        uint16_t port = 0;       // TCP: the port to listen on; 0 takes an ephemeral one
        bool paced = false;      // serial: the line carries bytes at the rate the client set
        uint32_t upstreamBaud = 115200;  // a "serial:" upstream's rate
        size_t logEntries = 4096;        // events kept in memory (the oldest go first)
    };

    // Throws std::system_error or std::invalid_argument when it cannot start.
    explicit LineProxy(const Options& options);
    ~LineProxy();
    LineProxy(const LineProxy&) = delete;
    LineProxy& operator=(const LineProxy&) = delete;

    // Where the client goes: "network:127.0.0.1:PORT" or "serial:/dev/pts/N".
    const std::string& locator() const;
    // The client's pseudo-terminal (serial), such as "/dev/pts/7"; empty on TCP.
    std::string devicePath() const;

    void setFault(const LineFault& fault);
    LineFault fault() const;

    LineProxyCounters counters() const;
    // TCP: connections open now (serial: 1).
    size_t openConnections() const;
    bool waitConnections(uint64_t accepted, std::chrono::milliseconds timeout) const;

    std::vector<LineProxyEvent> events() const;
    // Appends each event as a line to `path` from now on; false when it
    // cannot be opened.
    bool writeLogTo(const std::string& path);

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

// Runs faults on a proxy from a seed: a pass, then a fault drawn from the
// kinds allowed, each for a drawn time, until stopped; the same seed gives
// the same faults in the same order. Its thread is owned and joined; the
// proxy is left passing.
class LineFaultSchedule {
public:
    struct Options {
        uint64_t seed = 1;
        std::vector<LineFault::Kind> kinds;  // drawn from evenly; none: every kind
        std::chrono::milliseconds passMin{200}, passMax{1500};
        std::chrono::milliseconds faultMin{100}, faultMax{2000};
        // Throttle and half-close rates, bytes a second.
        uint32_t rateMin = 4000, rateMax = 200000;
        std::chrono::milliseconds delayMax{300};
        size_t dropAfterMax = 300;
    };

    struct Step {
        std::chrono::steady_clock::time_point at;
        LineFault fault;
        std::chrono::milliseconds length;
    };

    LineFaultSchedule(LineProxy& proxy, Options options);
    ~LineFaultSchedule();
    LineFaultSchedule(const LineFaultSchedule&) = delete;
    LineFaultSchedule& operator=(const LineFaultSchedule&) = delete;

    // Ends the schedule and sets the proxy passing.
    void stop();
    // Every step run so far.
    std::vector<Step> steps() const;

private:
    class Runner;
    std::unique_ptr<Runner> runner_;
};

}  // namespace vxsim
