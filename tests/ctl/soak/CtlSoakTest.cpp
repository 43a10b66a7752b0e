// Four threads make real calls on one VeltraxCTL device (reads of keys whose
// values are known, writes of values never written before and reads back,
// windows of asynchronous reads that soon take every request ID on a held
// line,
// output buffers flushed as one block) over a
// line that a seeded schedule throttles, stalls, holds (up to 10 s, long
// enough for late replies to meet reused request IDs), delays, half-closes
// and drops (TCP), or stalls, holds, delays, holds the output of and cuts
// (a paced pseudo-terminal at 115200 baud), with reconnection on or off.
// Checked throughout, each break naming the seed, the promise and the call:
//   1. a call that gives 0 gives its own request's value: a known key's
//      value; a write's own value read back on the same thread unless a
//      failure or a loss event came between; a write is never completed by
//      a read's reply (0x10) nor a read by a completion (0xF00F);
//   2. no frame reaches the controller twice (the controller's frame log
//      counts every written value);
//   3. every call ends within its bound: the send time-out, plus the line
//      time of every thread's largest block (1024 writes for one thread, 120
//      for the others, 24 bytes each) at the slowest rate of the schedule, plus the reply time (2000 ms) and 500 ms for the worker to
//      see it, plus 11 s of reconnection where it is on, plus 1500 ms;
//   4. a connection is given up only when a fault stopped the line for the
//      send time-out, dropped it or shut its peer;
//   5. every lost connection is reported: each TCP connection that ended
//      under the device by a loss report (0xF001, or the event of a remade
//      connection); calls that find the device disconnected follow a 0xF001;
//      a device that lost its line opens again on the first try;
//   6. threads and descriptors come back to their starting counts.
// A device that lost its connection for good is closed and opened again.
// Rounds of 5 to 12 s (15 to 40 s in runs over a minute) draw their
// transport and reconnection (pinned with VX_SOAK_TRANSPORT=tcp|serial and
// VX_SOAK_RECONNECT=0|1). CI runs it 15 s; VX_SOAK_SECONDS runs it longer,
// VX_SOAK_SEED repeats a run, VX_SOAK_FAULTS=hold,stall (the proxy's names)
// draws from those faults only, VX_SOAK_DEBUG prints the faults of each round
// and those before a give-up the line did not call for.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "VeltraxCTL.h"
#include "sim/Gen2Frame.h"
#include "sim/Gen2Simulator.h"
#include "support/Soak.h"
#include "support/SoakLine.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using vxtest::soak::Clock;
namespace gen2 = vxsim::gen2;

constexpr int kThreads = 4;
constexpr uint32_t kKnownBase = 0x0C300000;
constexpr int kKnownKeys = 6;
constexpr uint32_t kOwnBase = 0x0C310000;  // one key a thread writes
constexpr uint32_t kReconnectKey = 0xF01000A1;
constexpr VX_CTL_EventType kConnectionLost = 0xF001;
// Writes in one output buffer: thread 0 flushes blocks large enough to fill
// a line's buffers (a send then stops midway on a stalled line), the others
// small ones.
constexpr size_t kLargestBlock = 1024;
constexpr size_t kLargestSmallBlock = 120;
// What all threads' blocks hold at most, ahead of any call.
constexpr size_t kBlocksAhead = kLargestBlock + (kThreads - 1) * kLargestSmallBlock;
constexpr size_t kWriteFrame = 24;     // bytes of a 64-bit write on the wire
constexpr milliseconds kReplyTime{2000};
constexpr milliseconds kWorker{500};
constexpr milliseconds kReconnection{11000};
constexpr milliseconds kMargin{1500};
// Frames still on their way once the faults have ended are waited for while
// they keep arriving, and given up for lost after this long without one.
constexpr milliseconds kArrivalStopped{3000};
constexpr milliseconds kArrivalAtMost{60000};
// How long a connection that was retired may still deliver what it carried.
constexpr milliseconds kRetiredDelivers{15000};

int64_t knownValue(uint32_t key) { return 0x1111000000LL + 7919LL * (key - kKnownBase); }
uint32_t ownKey(int thread) { return kOwnBase + static_cast<uint32_t>(thread); }
int threadOfValue(int64_t value) { return static_cast<int>(static_cast<uint64_t>(value) >> 40) - 1; }

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

struct LineShape {
    bool tcp = true;
    bool reconnect = false;
    uint32_t baud = 115200;
    milliseconds timeout{0};
    uint32_t slowest = 0;

    std::string options() const { return vxtest::soak::lineOptions(tcp, baud, timeout); }
    milliseconds lineTime(size_t bytes) const { return milliseconds(bytes * 1000 / slowest); }
    milliseconds bound(size_t ownBytes = 0) const {
        return timeout + lineTime(kBlocksAhead * kWriteFrame + ownBytes) + kReplyTime + kWorker +
               (reconnect ? kReconnection : 0ms) + kMargin;
    }
    std::string text() const {
        return std::string(tcp ? "tcp" : "serial at " + std::to_string(baud)) + ", reconnection " +
               (reconnect ? "on" : "off");
    }
};

// One open of the device and what its event queue brought.
struct Opening {
    VX_CTL_DeviceHandle handle = 0;
    int number = 0;
    uint64_t connectionsAtOpen = 0;
    uint64_t dropsAtOpen = 0;
    std::thread events;
    std::atomic<bool> closing{false};

    std::mutex mutex;
    std::condition_variable changed;
    std::map<VX_CTL_EventType, uint64_t> counts;
    std::vector<std::pair<VX_CTL_EventType, Clock::time_point>> reports;  // loss and remade events
    uint64_t lossReports = 0;   // every report of a loss, 0xF001 or a remade connection
    std::vector<int64_t> flushed;  // writes of flushes that gave 0
    bool lostForGood = false;   // 0xF001: no connection any more
};

// Library events that report a lost connection: 0xF001, and any other event
// of the library's own range that is not a result of a request.
bool reportsLoss(VX_CTL_EventType type) {
    return type == kConnectionLost ||
           (type > 0xF001 && type <= 0xF0FF && type != 0xF004 && type != 0xF00F && type != 0xF010);
}

class CtlSoak {
public:
    explicit CtlSoak(vxtest::soak::Run& run) : run_(run), recorder_(run.recorder()) {}

    void round(int number, const LineShape& shape, Clock::time_point end);

private:
    struct Caller {
        int thread = 0;
        uint64_t nextSeq = 0;
        bool known = false;  // whether the thread knows what its key holds
        int64_t written = 0;
        uint64_t lossesAtWrite = 0;
        Clock::time_point writtenAt;
    };

    void observe(const vxsim::LoggedFrame& frame);
    bool open(bool mustWork);
    void close();
    void watchEvents(Opening* opening);
    void work(int thread, vxtest::soak::Rng rng, Clock::time_point end);
    void readKnown(Opening& opening, vxtest::soak::Rng& rng, Caller& caller);
    void writeAndRead(Opening& opening, Caller& caller);
    void burst(Opening& opening, vxtest::soak::Rng& rng, Caller& caller);
    void flushBlock(Opening& opening, vxtest::soak::Rng& rng, Caller& caller);
    void timed(const std::string& call, const vxtest::soak::Stopwatch& watch, milliseconds bound, VX_CTL_Result result,
               const Opening& opening);
    uint64_t losses(Opening& opening);
    bool lossLately(Opening& opening, Clock::time_point since);
    void judge(Opening& opening, bool final);

    vxtest::soak::Run& run_;
    vxtest::soak::Recorder& recorder_;
    LineShape shape_;
    std::unique_ptr<vxsim::Gen2Simulator> sim_;
    std::unique_ptr<vxtest::soak::FaultyLine> line_;

    std::mutex framesMutex_;
    std::map<int64_t, int> arrived_;

    std::shared_mutex openingMutex_;
    std::condition_variable_any openingChanged_;
    std::shared_ptr<Opening> opening_;
    int openings_ = 0;
    bool stopping_ = false;
    std::atomic<uint64_t> notConnected_{0};  // calls that found the device disconnected
    // When each thread's operation began (0: between operations), for a
    // call that never returns.
    std::atomic<Clock::rep> busySince_[kThreads] = {};

public:
    // A thread whose operation (at most a window of reads, each within its
    // bound) has not returned long past its bound hangs: the run cannot end,
    // so it is reported and the program stops.
    void watch();
};

void CtlSoak::watch() {
    const milliseconds overdue = shape_.bound() * 3;
    for (int thread = 0; thread < kThreads; ++thread) {
        const Clock::rep since = busySince_[thread].load();
        if (since == 0 || Clock::now() - Clock::time_point(Clock::duration(since)) < overdue) continue;
        recorder_.violation("every call ends within its bound", "an operation of thread " + std::to_string(thread),
                            "has not returned after " + std::to_string(overdue.count()) + " ms");
        recorder_.printSummary();
        std::fflush(stderr);
        std::abort();
    }
}

void CtlSoak::observe(const vxsim::LoggedFrame& frame) {
    if (!frame.accepted || frame.command != gen2::command::kWriteProperty || frame.values.empty()) return;
    if (frame.key < kOwnBase || frame.key >= kOwnBase + kThreads) return;
    const int64_t value = frame.values.front();
    std::lock_guard lock(framesMutex_);
    if (++arrived_[value] == 2)
        recorder_.violation("no frame reaches the controller twice", "a write of thread " +
                                                                       std::to_string(threadOfValue(value)),
                            "value " + std::to_string(value & 0xFFFFFFFFFFLL) + " reached the controller twice");
}

void CtlSoak::timed(const std::string& call, const vxtest::soak::Stopwatch& watch, milliseconds bound,
                    VX_CTL_Result result, const Opening& opening) {
    recorder_.call(call.substr(0, call.find(' ')), static_cast<int>(result));
    if (result == VX_CTL_COMMUNICATION_FAILED) ++notConnected_;
    const auto took = watch.elapsed();
    if (took > bound)
        recorder_.violation("every call ends within its bound", call + " on open " + std::to_string(opening.number),
                            "took " + std::to_string(took.count()) + " ms, bound " + std::to_string(bound.count()) +
                                " ms, result " + hex(result));
}

// A connection retired shortly before may still deliver what it carried
// (a half-closed peer reads on), after what the new one carried.
bool CtlSoak::lossLately(Opening& opening, Clock::time_point since) {
    std::lock_guard lock(opening.mutex);
    return !opening.reports.empty() && opening.reports.back().second > since - kRetiredDelivers;
}

uint64_t CtlSoak::losses(Opening& opening) {
    std::lock_guard lock(opening.mutex);
    return opening.lossReports;
}

void CtlSoak::readKnown(Opening& opening, vxtest::soak::Rng& rng, Caller& caller) {
    const uint32_t key = kKnownBase + static_cast<uint32_t>(rng.between(0, kKnownKeys - 1));
    int64_t value = 0;
    const vxtest::soak::Stopwatch watch;
    const VX_CTL_Result result = VX_CTL_GetProperty_i64(opening.handle, 0, key, &value, nullptr);
    const std::string call = "VX_CTL_GetProperty_i64 of " + hex(key) + " by thread " + std::to_string(caller.thread);
    timed(call, watch, shape_.bound(), result, opening);
    if (result == VX_CTL_OK && value != knownValue(key))
        recorder_.violation("a call that gives 0 gives its own request's value", call,
                            "gave " + std::to_string(value) + ", the key holds " + std::to_string(knownValue(key)));
    if (result == VX_CTL_UNEXPECTED_PACKET)
        recorder_.violation("a call that gives 0 gives its own request's value", call,
                            "a read was answered by a completion (0xF00F)");
}

void CtlSoak::writeAndRead(Opening& opening, Caller& caller) {
    const int64_t value = static_cast<int64_t>((static_cast<uint64_t>(caller.thread + 1) << 40) | caller.nextSeq++);
    const uint32_t key = ownKey(caller.thread);
    const std::string who = " by thread " + std::to_string(caller.thread);
    vxtest::soak::Stopwatch watch;
    const uint64_t lossesBefore = losses(opening);
    VX_CTL_Result result = VX_CTL_SetProperty_i64(opening.handle, 0, key, value);
    timed("VX_CTL_SetProperty_i64" + who, watch, shape_.bound(), result, opening);
    if (result == VX_CTL_INVALID_PACKET)
        recorder_.violation("a call that gives 0 gives its own request's value", "VX_CTL_SetProperty_i64" + who,
                            "a write was completed by a read's reply (0x10)");
    if (result == VX_CTL_OK) {
        caller.known = true;
        caller.written = value;
        caller.writtenAt = watch.start();
        caller.lossesAtWrite = lossesBefore;
    } else {
        caller.known = false;
    }

    int64_t read = 0;
    watch = vxtest::soak::Stopwatch();
    result = VX_CTL_GetProperty_i64(opening.handle, 0, key, &read, nullptr);
    const std::string call = "VX_CTL_GetProperty_i64 of " + hex(key) + who;
    timed(call, watch, shape_.bound(), result, opening);
    if (result != VX_CTL_OK) {
        caller.known = false;
        return;
    }
    const bool known = caller.known;
    const int64_t expected = caller.written;
    if (threadOfValue(read) != caller.thread && read != 0)
        recorder_.violation("a call that gives 0 gives its own request's value", call,
                            "read " + std::to_string(read) + ", a value this thread never wrote");
    else if (known && expected != read && losses(opening) == caller.lossesAtWrite &&
             !lossLately(opening, caller.writtenAt))
        recorder_.violation("a read after a write on the same thread agrees with it", call,
                            "read #" + std::to_string(read & 0xFFFFFFFFFFLL) + " after writing #" +
                                std::to_string(expected & 0xFFFFFFFFFFLL) + " with no loss between");
}

// Keeps a window of asynchronous reads in flight for a while, collecting the
// oldest and asking again: on a held line the windows soon take every
// request ID, so IDs are given out again as soon as they are free.
void CtlSoak::burst(Opening& opening, vxtest::soak::Rng& rng, Caller& caller) {
    struct Pending {
        VX_CTL_RequestID id;
        uint32_t key;
        vxtest::soak::Stopwatch since;
    };
    std::deque<Pending> pending;
    // Collected requests stay taken until their read: all windows together
    // stay below the 239 IDs, or a thread waiting for an ID while holding
    // uncollected ones could wait for ever.
    const size_t window = static_cast<size_t>(rng.between(8, caller.thread >= 2 ? 100 : 16));
    const auto until = Clock::now() + rng.millis(200, 3000);
    const std::string who = " by thread " + std::to_string(caller.thread);
    bool asking = true;
    while (asking || !pending.empty()) {
        asking = asking && Clock::now() < until;
        while (asking && pending.size() < window) {
            const uint32_t key = kKnownBase + static_cast<uint32_t>(rng.between(0, kKnownKeys - 1));
            VX_CTL_RequestID id = 0;
            const vxtest::soak::Stopwatch watch;
            const VX_CTL_Result result = VX_CTL_RequestReadProperty(opening.handle, 0, key, &id, 0);
            timed("VX_CTL_RequestReadProperty of " + hex(key) + who, watch, shape_.bound(), result, opening);
            if (result != VX_CTL_OK) {
                asking = false;
                break;
            }
            pending.push_back({id, key, watch});
        }
        if (pending.empty()) break;
        const Pending request = pending.front();
        pending.pop_front();
        int64_t value = 0;
        size_t size = 1;
        const VX_CTL_Result result = VX_CTL_ReadProperty_i64(opening.handle, request.id, &value, &size);
        const std::string call = "VX_CTL_ReadProperty_i64 of " + hex(request.key) + " (ID " +
                                 std::to_string(request.id) + ")" + who;
        // Counted from the request, which the reply time runs from.
        timed(call, request.since, shape_.bound(), result, opening);
        if (result == VX_CTL_OK && value != knownValue(request.key))
            recorder_.violation("a call that gives 0 gives its own request's value", call,
                                "gave " + std::to_string(value) + ", the key holds " +
                                    std::to_string(knownValue(request.key)));
        if (result == VX_CTL_UNEXPECTED_PACKET)
            recorder_.violation("a call that gives 0 gives its own request's value", call,
                                "a read was answered by a completion (0xF00F)");
    }
}

void CtlSoak::flushBlock(Opening& opening, vxtest::soak::Rng& rng, Caller& caller) {
    const std::string who = " by thread " + std::to_string(caller.thread);
    VX_CTL_TransmitHandle buffer = 0;
    vxtest::soak::Stopwatch watch;
    VX_CTL_Result result = VX_CTL_CreateOutputBuffer(opening.handle, &buffer);
    timed("VX_CTL_CreateOutputBuffer" + who, watch, shape_.bound(), result, opening);
    if (result != VX_CTL_OK) return;
    const size_t writes =
        static_cast<size_t>(rng.between(10, caller.thread == 0 ? kLargestBlock : kLargestSmallBlock));
    const uint32_t key = ownKey(caller.thread);
    std::vector<int64_t> values;
    size_t collected = 0;
    for (; collected < writes; ++collected) {
        const int64_t value = static_cast<int64_t>((static_cast<uint64_t>(caller.thread + 1) << 40) | caller.nextSeq++);
        result = VX_CTL_RequestWriteProperty_i64(opening.handle, 0, key, value, nullptr, buffer);
        if (result != VX_CTL_OK) break;
        values.push_back(value);
    }
    caller.known = false;
    watch = vxtest::soak::Stopwatch();
    result = collected == writes ? VX_CTL_FlushOutputBuffer(opening.handle, buffer)
                                 : VX_CTL_CancelOutputBuffer(opening.handle, buffer);
    timed((collected == writes ? "VX_CTL_FlushOutputBuffer of " + std::to_string(writes) + " writes"
                               : std::string("VX_CTL_CancelOutputBuffer")) +
              who,
          watch, shape_.bound(writes * kWriteFrame), result, opening);
    if (collected == writes && result == VX_CTL_OK) {
        std::lock_guard lock(opening.mutex);
        opening.flushed.insert(opening.flushed.end(), values.begin(), values.end());
    }
}

void CtlSoak::work(int thread, vxtest::soak::Rng rng, Clock::time_point end) {
    Caller caller;
    caller.thread = thread;
    busySince_[thread] = 0;
    caller.nextSeq = rng.next() & 0xFFFFFFFFull;  // distinct from every earlier round's values
    while (Clock::now() < end) {
        std::shared_lock lock(openingMutex_);
        openingChanged_.wait(lock, [&] { return stopping_ || opening_; });
        if (stopping_) return;
        Opening& opening = *opening_;
        busySince_[thread] = Clock::now().time_since_epoch().count();
        // Threads 0 and 1 mostly read, write and flush; 2 and 3 mostly keep
        // windows of reads in flight.
        const double pick = rng.unit();
        const double reads = thread >= 2 ? 0.1 : 0.35;
        const double writes = thread >= 2 ? 0.2 : 0.65;
        const double windows = thread == 0 ? 0.7 : thread == 1 ? 0.9 : 0.95;
        if (pick < reads)
            readKnown(opening, rng, caller);
        else if (pick < writes)
            writeAndRead(opening, caller);
        else if (pick < windows)
            burst(opening, rng, caller);
        else
            flushBlock(opening, rng, caller);
        busySince_[thread] = 0;
        lock.unlock();
        if (rng.chance(0.3)) std::this_thread::sleep_for(rng.millis(0, 20));
    }
}

void CtlSoak::watchEvents(Opening* opening) {
    while (!opening->closing) {
        VX_CTL_Event event{};
        const VX_CTL_Result result = VX_CTL_WaitForEvent(opening->handle, &event, 200);
        if (result == VX_CTL_TIMEOUT) continue;
        if (result == VX_CTL_CANCELED) return;
        // A late reply (0xF00F) or a line's failure comes as the wait's
        // result; the events after it still count.
        if (result != VX_CTL_OK) {
            recorder_.call("VX_CTL_WaitForEvent", static_cast<int>(result));
            continue;
        }
        std::lock_guard lock(opening->mutex);
        ++opening->counts[event.type];
        if (reportsLoss(event.type)) {
            ++opening->lossReports;
            opening->reports.emplace_back(event.type, Clock::now());
            if (event.type == kConnectionLost) opening->lostForGood = true;
        }
        opening->changed.notify_all();
    }
}

bool CtlSoak::open(bool mustWork) {
    auto opening = std::make_shared<Opening>();
    opening->number = ++openings_;
    const std::string options = shape_.options();
    const auto start = Clock::now();
    const VX_CTL_Result result = VX_CTL_Open(&opening->handle, line_->locator().c_str(), options.c_str());
    recorder_.call("VX_CTL_Open", static_cast<int>(result));
    if (result != VX_CTL_OK) {
        // An open that met a fault may fail; one on a line that passed all along must not.
        const auto steps = line_->steps();
        const bool faulted = std::any_of(steps.begin(), steps.end(), [&](const auto& step) {
            return step.fault.kind != vxsim::LineFault::Kind::Pass && step.at <= Clock::now() &&
                   step.at + step.length >= start;
        });
        if (mustWork || !faulted)
            recorder_.violation("a device that lost its line opens again on the first try",
                                "VX_CTL_Open " + std::to_string(opening->number),
                                "gave " + hex(result) + " on a line that passed everything");
        return false;
    }
    if (shape_.reconnect) {
        const VX_CTL_Result set = VX_CTL_SetProperty_i32(opening->handle, 0, kReconnectKey, 1);
        EXPECT_EQ(set, VX_CTL_OK);
    }
    opening->connectionsAtOpen = line_->proxy().counters().connections;
    opening->dropsAtOpen = line_->proxy().counters().drops;
    Opening* raw = opening.get();
    opening->events = std::thread([this, raw] { watchEvents(raw); });
    opening_ = opening;
    openingChanged_.notify_all();
    return true;
}

void CtlSoak::close() {
    if (!opening_) return;
    const std::shared_ptr<Opening> opening = opening_;
    opening_.reset();
    // Each TCP connection that ended under the device was reported: every
    // connection made under this open but the one open now has ended.
    if (shape_.tcp) {
        const uint64_t made = line_->proxy().counters().connections - opening->connectionsAtOpen + 1;
        const uint64_t ended = made - std::min<uint64_t>(line_->proxy().openConnections(), made);
        vxtest::waitUntil([&] { return losses(*opening) >= ended; }, 3000ms);
        if (losses(*opening) < ended)
            recorder_.violation("every lost connection is reported",
                                "the device on open " + std::to_string(opening->number),
                                std::to_string(ended) + " connections ended, " + std::to_string(losses(*opening)) +
                                    " losses reported");
    }
    // The writes of flushes that gave 0 reach the controller, or a loss
    // was reported: they are waited for while they keep arriving. A cut
    // serial line loses bytes that no one can see go.
    const bool cut = !shape_.tcp && line_->proxy().counters().drops > opening->dropsAtOpen;
    if (losses(*opening) == 0 && !cut) {
        std::vector<int64_t> flushed;
        {
            std::lock_guard lock(opening->mutex);
            flushed = opening->flushed;
        }
        size_t missing = 0;
        size_t arrivedBefore = 0;
        auto lastArrival = Clock::now();
        vxtest::waitUntil(
            [&] {
                std::lock_guard lock(framesMutex_);
                missing = static_cast<size_t>(std::count_if(flushed.begin(), flushed.end(),
                                                            [&](int64_t value) { return !arrived_.count(value); }));
                if (arrived_.size() != arrivedBefore) {
                    arrivedBefore = arrived_.size();
                    lastArrival = Clock::now();
                }
                return missing == 0 || Clock::now() - lastArrival > kArrivalStopped;
            },
            kArrivalAtMost);
        if (missing != 0 && losses(*opening) == 0)
            recorder_.violation("every lost connection is reported",
                                "VX_CTL_FlushOutputBuffer on open " + std::to_string(opening->number),
                                std::to_string(missing) + " of " + std::to_string(flushed.size()) +
                                    " writes of flushes that gave 0 never reached the controller, and no loss was "
                                    "reported");
    }
    opening->closing = true;
    const VX_CTL_Result result = VX_CTL_Close(opening->handle);
    recorder_.call("VX_CTL_Close", static_cast<int>(result));
    opening->events.join();
    judge(*opening, true);
}

// What one open's life must show, judged once it is closed.
void CtlSoak::judge(Opening& opening, bool) {
    std::lock_guard lock(opening.mutex);
    const std::string name = "open " + std::to_string(opening.number);
    recorder_.fault("loss reports", opening.lossReports);
    // Each loss report must follow a fault that stopped the line.
    for (const auto& [type, at] : opening.reports)
        if (!line_->lineStoppedBetween(at - shape_.timeout - kReplyTime - 2s, at, shape_.timeout)) {
            if (std::getenv("VX_SOAK_DEBUG"))
                for (const auto& step : line_->steps())
                    if (step.at > at - 20s && step.at < at + 1s)
                        std::printf("  fault %s for %lld ms, %lld ms before the event\n", step.fault.text().c_str(),
                                    static_cast<long long>(step.length.count()),
                                    static_cast<long long>(
                                        std::chrono::duration_cast<milliseconds>(at - step.at).count()));
            recorder_.violation("a line that keeps taking bytes is never given up", "the device on " + name,
                                "event " + hex(type) + " came while no fault stopped the line for " +
                                    std::to_string(shape_.timeout.count()) + " ms");
        }
}

void CtlSoak::round(int number, const LineShape& shape, Clock::time_point end) {
    shape_ = shape;
    stopping_ = false;
    sim_ = std::make_unique<vxsim::Gen2Simulator>();
    for (int k = 0; k < kKnownKeys; ++k) {
        const uint32_t key = kKnownBase + static_cast<uint32_t>(k);
        sim_->model().define({0, key}, knownValue(key), true);
    }
    for (int t = 0; t < kThreads; ++t) sim_->model().define({0, ownKey(t)}, int64_t{0});
    sim_->endpoint().frameLog().setKeeping(false);
    sim_->endpoint().frameLog().setObserver([this](const vxsim::LoggedFrame& frame) { observe(frame); });
    sim_->serveTcp();

    line_ = std::make_unique<vxtest::soak::FaultyLine>(vxtest::soak::proxyOptions(sim_->tcpLocator(), shape.tcp, 400));
    std::printf("round %d: %s, bound %lld ms\n", number, shape.text().c_str(),
                static_cast<long long>(shape.bound().count()));
    std::fflush(stdout);
    // The first open meets a line that passes everything.
    if (!open(true)) {
        line_.reset();
        sim_.reset();
        return;
    }

    vxsim::LineFaultSchedule::Options faults;
    faults.seed = run_.rng(1000 + number).next();
    using Kind = vxsim::LineFault::Kind;
    const std::vector<Kind> tcpFaults = {Kind::Throttle, Kind::Stall, Kind::Stall, Kind::Hold, Kind::Hold,
                                         Kind::Hold,     Kind::Delay, Kind::HalfClose, Kind::Drop};
    const std::vector<Kind> serialFaults = {Kind::Stall,      Kind::Hold,       Kind::Delay, Kind::HoldOutput,
                                            Kind::HoldOutput, Kind::HoldOutput, Kind::Drop};
    faults.kinds = vxtest::soak::faultsFromEnvironment(shape.tcp ? tcpFaults : serialFaults);
    faults.passMin = 300ms;
    faults.passMax = 1500ms;
    faults.faultMin = 100ms;
    // Holds past twice the reply time let late replies meet reused IDs.
    faults.faultMax = shape.tcp ? 10000ms : 5000ms;
    faults.rateMin = shape.slowest;
    faults.rateMax = std::max<uint32_t>(shape.slowest, 200000);
    faults.delayMax = 300ms;
    faults.dropAfterMax = kLargestSmallBlock * kWriteFrame;
    line_->start(faults);

    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([this, t, number, end] { work(t, run_.rng(100 * number + t), end); });

    // Opens the device again once it lost its connection for good.
    while (Clock::now() < end) {
        sim_->endpoint().clearRequests();
        watch();
        std::shared_ptr<Opening> opening;
        {
            std::shared_lock lock(openingMutex_);
            opening = opening_;
        }
        if (!opening) {
            // An open on a passing line failed: the next try waits for the
            // faults to go on, so that the schedule is not stopped for ever.
            std::unique_lock lock(openingMutex_);
            if (!open(false)) std::this_thread::sleep_for(1s);
            continue;
        }
        {
            std::unique_lock lock(opening->mutex);
            opening->changed.wait_until(lock, std::min(end, Clock::now() + 1s), [&] { return opening->lostForGood; });
            if (!opening->lostForGood) continue;
        }
        // The device opens again on a line that passes everything: it must
        // open at the first try, whatever the lost line left in the controller.
        std::unique_lock lock(openingMutex_);
        line_->stop();
        close();
        open(true);
        faults.seed = run_.rng(1000 + number).next() + static_cast<uint64_t>(openings_);
        line_->start(faults);
    }
    {
        std::unique_lock lock(openingMutex_);
        stopping_ = true;
        openingChanged_.notify_all();
    }
    for (bool busy = true; busy;) {
        watch();
        busy = false;
        for (const auto& since : busySince_) busy = busy || since.load() != 0;
        if (busy) std::this_thread::sleep_for(100ms);
    }
    for (auto& worker : workers) worker.join();
    line_->stop();
    {
        std::unique_lock lock(openingMutex_);
        close();
    }
    if (std::getenv("VX_SOAK_DEBUG"))
        for (const auto& step : line_->steps())
            if (step.fault.kind != vxsim::LineFault::Kind::Pass)
                std::printf("  fault %s for %lld ms\n", step.fault.text().c_str(),
                            static_cast<long long>(step.length.count()));
    line_->record(recorder_);
    recorder_.fault("connections made", line_->proxy().counters().connections);
    {
        std::lock_guard lock(framesMutex_);
        recorder_.fault("writes taken by the controller", arrived_.size());
        arrived_.clear();
    }
    line_.reset();
    sim_.reset();
}

LineShape drawShape(vxtest::soak::Rng& rng) {
    LineShape shape;
    shape.tcp = vxtest::soak::tcpFromEnvironment(rng);
    const char* reconnect = std::getenv("VX_SOAK_RECONNECT");
    shape.reconnect = reconnect && *reconnect ? std::string(reconnect) != "0" : rng.chance(0.5);
    if (shape.tcp) {
        shape.timeout = 2000ms;
        // Far above the slowest TCP link the header promises for this
        // time-out (a 1448-byte segment in 2 s).
        shape.slowest = 8000;
    } else {
        shape.timeout = 1000ms;
        shape.slowest = shape.baud / 10;
    }
    return shape;
}

TEST(CtlSoak, CallsKeepTheirPromisesOnAFaultyLine) {
    vxtest::soak::Run run("VeltraxCTL");
    auto rng = run.rng(0);
    CtlSoak soak(run);
    {
        // Whatever the libraries start once per process is running before the count.
        vxsim::Gen2Simulator sim;
        sim.serveTcp();
        VX_CTL_DeviceHandle handle = 0;
        ASSERT_EQ(VX_CTL_Open(&handle, sim.tcpLocator().c_str(), nullptr), VX_CTL_OK);
        VX_CTL_Close(handle);
    }
    vxtest::soak::runRounds(run, "VX_CTL_Close", [&](int number) {
        const LineShape shape = drawShape(rng);
        // Longer runs have longer rounds, room for the longest holds.
        const auto end = std::min(run.end(), Clock::now() + (run.length() > 60s ? rng.millis(15000, 40000)
                                                                                : rng.millis(5000, 12000)));
        soak.round(number, shape, end);
    });
    EXPECT_EQ(run.recorder().violationCount(), 0u) << run.recorder().summary();
}

}  // namespace
