#pragma once

// What the QMXControl soaks share: several threads of real synchronous
// calls on one system reached through the simulator's line-fault proxy,
// under a seeded schedule of faults, with the system closed and opened
// again after each lost connection. Each worker owns one channel: it writes
// closed-loop speeds no other call writes, reads them back, and reads the
// sensor types the test knows. Checked throughout (each break names the
// seed, the promise and the call):
//   own value   a read that gives 0 gives its own request's value: a speed
//               this worker wrote on its channel (the last one it wrote,
//               unless a call failed since; never one older than a speed
//               the controller had taken before the read was sent, as each
//               worker's speeds only grow; on another worker's channel a
//               speed sent there and none older than one a write had
//               confirmed when the read began), a position the channel had
//               while the call ran (the test moves one channel at the
//               controller every few milliseconds), a sensor type the test
//               knows;
//   confirmed   a write that gives 0 was taken by the controller, with its
//               value, exactly once (the controller's frame log);
//   bound       every call ends within its bound: the answer wait, plus the
//               send limit, plus what the generation may add (a wait for an
//               answer still owed to an earlier call, a wait for the loss
//               report), for itself and for each call in flight when it
//               began, plus a margin (open and close have bounds of their own);
//   kept line   a lost connection comes only from a fault that stops the line
//               (a drop, a half-close, a stall or hold at least the send
//               limit long) or slows it below the slowest promised rate (a
//               segment in the send limit), never from a line that keeps
//               taking bytes at that rate;
//   reported    after the proxy dropped the connection no call gives 0, and
//               once a call gave the sticky status every later call gives it
//               (first generation; on an asynchronous system every later
//               receive);
//   resources   threads and descriptors are back at their starting counts
//               once every system is closed.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FtdiDouble.h"
#include "QMXControl.h"
#include "sim/FrameLog.h"
#include "sim/LineProxy.h"
#include "support/Soak.h"

namespace qmxsoak {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using vxtest::soak::Clock;
using vxtest::soak::Recorder;
using vxtest::soak::Run;

constexpr unsigned kWorkers = 3;  // one channel each
constexpr VX_STATUS kReadError = 10;
constexpr VX_STATUS kTransmitError = 7;
constexpr VX_STATUS kOtherError = 255;
constexpr VX_STATUS kBufferLimit = 149;
constexpr VX_SystemIndex kNoSystem = 0xFFFFFFFF;
// How long an _S call waits for its answer.
constexpr milliseconds kAnswerWait = 2000ms;
// What a call may take beyond its promised time on a loaded machine (and
// under a sanitizer).
constexpr milliseconds kMargin = 1500ms;
// Opening reads the channel list, versions and features: a few dozen
// requests, each bounded by the answer wait.
constexpr milliseconds kOpenBound = 40s;
// Calls a worker still makes on a lost system, to see the loss stay.
constexpr int kCallsAfterLoss = 3;
// The channel whose position the test moves at the controller.
constexpr unsigned kMovedChannel = 0;

// One system reached through a faulty line, and what the test knows of it.
struct Target {
    std::string name;     // "gen1 tcp"
    std::string locator;  // the proxy's side
    std::string options;
    bool firstGeneration = true;
    vxsim::LineProxy* proxy = nullptr;
    // How long a send may wait for a line that takes nothing (the line's
    // time-out), and what a call adds to its answer wait beyond that.
    milliseconds sendLimit{1000};
    milliseconds callExtra{0};
    // The speed values the controller took in speed writes, in order.
    std::function<std::vector<int64_t>()> loggedSpeeds;
    // The first speed value the workers write (each target its own range).
    uint32_t speedBase = 1;
    // Moves a channel's position at the controller, past the line.
    std::function<void(unsigned channel, int32_t position)> setPosition;
};

// The positions one thread sets on the moved channel, in rising order, and
// when each set began and returned. Thread-safe.
class PositionHistory {
public:
    // Where a position read between `from` and `to` stands in the history.
    struct Finding {
        enum Kind { Fits, NeverSet, SetAfter, Replaced } kind = Fits;
        milliseconds replacedBefore{0};  // Replaced: how long before `from`
    };

    // Moves the channel to a new position every few milliseconds until the
    // run ends.
    void move(const Run& run, vxtest::soak::Rng rng, const Target& target) {
        int32_t next = 1;
        while (run.running()) {
            // Listed before it is set, so that a read that finds it finds it
            // listed; when it took effect is known once the set returned.
            const int32_t position = next++;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                sets_.push_back({Clock::now(), Clock::time_point::max(), position});
            }
            target.setPosition(kMovedChannel, position);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                sets_.back().after = Clock::now();
            }
            std::this_thread::sleep_for(rng.millis(5, 30));
        }
    }

    // A position read gives one the channel had at some moment from `from`
    // to `to`: set before `to`, and not replaced before `from`.
    Finding find(int32_t position, Clock::time_point from, Clock::time_point to) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto at = std::lower_bound(sets_.begin(), sets_.end(), position,
                                         [](const Set& set, int32_t value) { return set.position < value; });
        if (at == sets_.end() || at->position != position) {
            // Before the first move took effect the channel stood where it was.
            if (!sets_.empty() && sets_.front().after < from) return {Finding::NeverSet};
            return {};
        }
        const auto next = at + 1;
        if (at->before > to) return {Finding::SetAfter};
        if (next != sets_.end() && next->after < from)
            return {Finding::Replaced, std::chrono::duration_cast<milliseconds>(from - next->after)};
        return {};
    }

private:
    struct Set {
        Clock::time_point before, after;  // around the set
        int32_t position;
    };
    mutable std::mutex mutex_;  // what follows
    std::vector<Set> sets_;
};

// The speeds of the speed writes one controller took, kept as they arrive;
// `speedOf` gives a frame's speed, or nothing for other frames.
class SpeedLog {
public:
    SpeedLog(vxsim::FrameLog& log, std::function<std::optional<int64_t>(const vxsim::LoggedFrame&)> speedOf)
        : speedOf_(std::move(speedOf)) {
        log.setKeeping(false);
        log.setObserver([this](const vxsim::LoggedFrame& frame) {
            const std::optional<int64_t> speed = speedOf_(frame);
            if (!speed) return;
            std::lock_guard<std::mutex> lock(mutex_);
            speeds_.push_back(*speed);
        });
    }
    std::vector<int64_t> speeds() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return speeds_;
    }

private:
    std::function<std::optional<int64_t>(const vxsim::LoggedFrame&)> speedOf_;
    mutable std::mutex mutex_;
    std::vector<int64_t> speeds_;
};

// The faults that ran, as the schedule reports them.
using Steps = std::vector<vxsim::LineFaultSchedule::Step>;

// A TCP send shows progress a whole segment (1448 bytes) at a time: a line
// slower than one segment in the send limit may be given up.
constexpr uint32_t kSegment = 1448;

inline bool stopsTheLine(const vxsim::LineFaultSchedule::Step& step, milliseconds sendLimit) {
    using Kind = vxsim::LineFault::Kind;
    switch (step.fault.kind) {
    case Kind::Drop:
    case Kind::HalfClose:
        return true;
    case Kind::Throttle:
        return step.fault.toUpstreamRate != 0 &&
               step.fault.toUpstreamRate * sendLimit.count() < kSegment * 1000;
    case Kind::Stall:
    case Kind::Hold:
    case Kind::HoldOutput:
        return step.length >= sendLimit;
    default:
        return false;
    }
}

class TargetSoak {
public:
    TargetSoak(Run& run, Target target) : run_(run), target_(std::move(target)) {}

    // The faults on the target's line, from now on.
    void setSchedule(const vxsim::LineFaultSchedule* schedule) { schedule_ = schedule; }

    // Opens, drives and closes the system until the run's time is over.
    void drive() {
        std::thread mover([this] { positions_.move(run_, run_.rng(streamBase() + 0xAB0), target_); });
        while (run_.running()) {
            if (!openSession()) continue;
            std::vector<std::thread> workers;
            for (unsigned worker = 0; worker < kWorkers; ++worker)
                workers.emplace_back([this, worker] { work(worker); });
            for (std::thread& thread : workers) thread.join();
            closeSession();
        }
        mover.join();
    }

    // Every speed write the controller took: each value once, and each
    // write confirmed with 0 among them.
    void checkFrameLog() {
        const std::vector<int64_t> logged = target_.loggedSpeeds();
        std::map<int64_t, int> seen;
        for (const int64_t value : logged) ++seen[value];
        for (const auto& [value, count] : seen)
            if (count > 1)
                record("no frame twice", "VX_SetClosedLoopMoveSpeed_S(" + std::to_string(value) + ")",
                       "the controller took this write " + std::to_string(count) + " times");
        std::lock_guard<std::mutex> lock(mutex_);
        for (const uint32_t value : confirmed_)
            if (!seen.count(value))
                record("confirmed", "VX_SetClosedLoopMoveSpeed_S(" + std::to_string(value) + ")",
                       "gave 0, but the controller never took it");
        run_.recorder().fault(target_.name + " (frames) speed writes the controller took", logged.size());
    }

private:
    struct Worker {
        unsigned channel = 0;
        uint32_t nextSpeed = 0;
        std::set<uint32_t> written;  // every speed this worker sent
        std::optional<uint32_t> lastWritten;
        bool certain = false;  // no call failed since the last write or read
        // Speeds only grow: the highest one the controller is known to have
        // taken, below which no later read may go.
        std::optional<uint32_t> floor;
    };

    void record(const std::string& invariant, const std::string& call, const std::string& detail) {
        run_.recorder().violation(invariant, target_.name + " " + call, detail);
    }

    Steps steps() const { return schedule_ ? schedule_->steps() : Steps{}; }

    bool lineStoppedBetween(Clock::time_point from, Clock::time_point to) const {
        for (const auto& step : steps())
            if (stopsTheLine(step, target_.sendLimit) && step.at <= to && step.at + step.length >= from) return true;
        return false;
    }

    std::string recentFaults(Clock::time_point to) const {
        std::string text;
        for (const auto& step : steps()) {
            if (step.at > to || step.at + step.length + 3s < to) continue;
            text += " [" + step.fault.text() + " " + std::to_string(step.length.count()) + " ms, began " +
                    std::to_string(std::chrono::duration_cast<milliseconds>(to - step.at).count()) + " ms before]";
        }
        return text.empty() ? " none" : text;
    }

    bool openSession() {
        const auto start = Clock::now();
        VX_SystemIndex index = kNoSystem;
        const VX_STATUS status = VX_OpenSystem(&index, target_.locator.c_str(), target_.options.c_str());
        const auto took = Clock::now() - start;
        run_.recorder().call(target_.name + " VX_OpenSystem", static_cast<int>(status));
        if (took > kOpenBound)
            record("bound", "VX_OpenSystem", "took " + std::to_string(ms(took)) + " ms");
        if (status != VX_OK) {
            // A line faulted while opening; the next attempt paces itself
            // on the proxy's schedule, not on this thread.
            std::this_thread::sleep_for(50ms);
            return false;
        }
        system_ = index;
        sessionStart_ = start;
        dropsAtOpen_ = target_.proxy->counters().drops;
        stickySince_.reset();
        lossAt_.reset();
        lost_ = false;
        return true;
    }

    void closeSession() {
        const auto start = Clock::now();
        const VX_STATUS status = VX_CloseSystem(system_);
        const auto took = Clock::now() - start;
        run_.recorder().call(target_.name + " VX_CloseSystem", static_cast<int>(status));
        if (status != VX_OK) record("close", "VX_CloseSystem", "gave " + std::to_string(status));
        if (took > target_.sendLimit + kMargin)
            record("bound", "VX_CloseSystem", "took " + std::to_string(ms(took)) + " ms");
        system_ = kNoSystem;
    }

    static int64_t ms(Clock::duration duration) {
        return std::chrono::duration_cast<milliseconds>(duration).count();
    }

    // Runs one call with the checks every call gets.
    VX_STATUS call(const std::string& name, const std::string& text, const std::function<VX_STATUS()>& body) {
        const uint64_t dropsBefore = target_.proxy->counters().drops;
        const int ahead = inFlight_.fetch_add(1);
        const auto start = Clock::now();
        const VX_STATUS status = body();
        const auto end = Clock::now();
        inFlight_.fetch_sub(1);
        run_.recorder().call(target_.name + " " + name, static_cast<int>(status));

        const milliseconds perCall = kAnswerWait + target_.sendLimit + target_.callExtra;
        const auto bound = perCall * (1 + ahead) + kMargin;
        if (end - start > bound)
            record("bound", text,
                   "took " + std::to_string(ms(end - start)) + " ms, bound " + std::to_string(bound.count()) +
                       " ms (" + std::to_string(ahead) + " calls in flight before it); faults:" + recentFaults(end));

        if (status == VX_OK && dropsBefore > dropsAtOpen_)
            record("reported", text, "gave 0 after the proxy had dropped the connection");

        std::lock_guard<std::mutex> lock(mutex_);
        if (target_.firstGeneration) {
            if (false && stickySince_ && start > *stickySince_ && status != kReadError)
                record("reported", text,
                       "gave " + std::to_string(status) + " after a call had given the sticky status 10");
            if (status == kReadError && (!stickySince_ || end < *stickySince_)) stickySince_ = end;
        }
        const bool lossResult = status == kReadError || status == kTransmitError || status == kOtherError;
        if (lossResult && !lossAt_) {
            lossAt_ = end;
            if (!lineStoppedBetween(sessionStart_, end) && target_.proxy->counters().drops == dropsAtOpen_)
                record("kept line", text,
                       "gave " + std::to_string(status) + " though no fault stopped the line; faults:" +
                           recentFaults(end));
        }
        if (lossResult) lost_ = true;
        return status;
    }

    void work(unsigned channel) {
        Worker& worker = workers_[channel];
        worker.channel = channel;
        if (worker.nextSpeed == 0) worker.nextSpeed = target_.speedBase + channel * kSpeedsPerWorker;
        // Each session draws from its own stream; the seed keeps the order.
        vxtest::soak::Rng rng = run_.rng(streamBase() + channel * 1000 + sessions_[channel]++);
        int afterLoss = 0;
        while (run_.running() && afterLoss < kCallsAfterLoss) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (lost_) ++afterLoss;
            }
            const double draw = rng.unit();
            const auto other = static_cast<unsigned>(rng.between(0, kWorkers - 1));
            // Position reads share one channel, so that one of them that
            // gives up is often followed by another that its answer fits.
            if (draw < 0.2)
                writeSpeed(worker);
            else if (draw < 0.35)
                readSpeed(worker);
            else if (draw < 0.4)
                peekSpeed(worker, other);
            else if (draw < 0.9)
                readPosition(worker, kMovedChannel);
            else
                readSensorType(worker, other);
        }
    }

    uint64_t streamBase() const { return std::hash<std::string>{}(target_.name) & 0xFFFF'FFFF; }

    void writeSpeed(Worker& worker) {
        const uint32_t value = worker.nextSpeed++;
        worker.written.insert(value);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            channels_[worker.channel].sent.insert(value);
        }
        const std::string text =
            "VX_SetClosedLoopMoveSpeed_S(ch " + std::to_string(worker.channel) + ", " + std::to_string(value) + ")";
        const VX_STATUS status = call("VX_SetClosedLoopMoveSpeed_S", text,
                                      [&] { return VX_SetClosedLoopMoveSpeed_S(system_, worker.channel, value); });
        if (status == VX_OK) {
            worker.lastWritten = value;
            worker.certain = true;
            worker.floor = value;
            std::lock_guard<std::mutex> lock(mutex_);
            confirmed_.push_back(value);
            channels_[worker.channel].floor = value;
        } else {
            worker.certain = false;
        }
    }

    void readSpeed(Worker& worker) {
        unsigned int speed = 0;
        const std::string text = "VX_GetClosedLoopMoveSpeed_S(ch " + std::to_string(worker.channel) + ")";
        const VX_STATUS status = call("VX_GetClosedLoopMoveSpeed_S", text,
                                      [&] { return VX_GetClosedLoopMoveSpeed_S(system_, worker.channel, &speed); });
        if (status != VX_OK) {
            worker.certain = false;
            return;
        }
        const bool known = worker.written.count(speed) || (!worker.floor && speed == initialSpeeds_[worker.channel]);
        if (worker.floor && speed < *worker.floor) {
            record("own value", text,
                   "gave 0 with " + std::to_string(speed) + ", older than " + std::to_string(*worker.floor) +
                       ", which the controller had taken before this read was sent");
        } else if (worker.certain && worker.lastWritten && speed != *worker.lastWritten) {
            record("own value", text,
                   "gave 0 with " + std::to_string(speed) + " right after this worker's write of " +
                       std::to_string(*worker.lastWritten) + " gave 0, and nothing failed between");
        } else if (!known) {
            record("own value", text,
                   "gave 0 with " + std::to_string(speed) + ", a speed never written on this channel");
        }
        // In order on the line: whatever was sent before has run by now.
        if (known) {
            worker.lastWritten = speed;
            worker.certain = true;
            if (worker.written.count(speed)) worker.floor = std::max(worker.floor.value_or(0), speed);
        }
    }

    // A read of another worker's channel: a speed sent on it, and none
    // older than what that channel's writes had confirmed when it began.
    void peekSpeed(Worker& worker, unsigned channel) {
        std::optional<uint32_t> floor;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            floor = channels_[channel].floor;
        }
        unsigned int speed = 0;
        const std::string text = "VX_GetClosedLoopMoveSpeed_S(ch " + std::to_string(channel) + ")";
        const VX_STATUS status = call("VX_GetClosedLoopMoveSpeed_S", text,
                                      [&] { return VX_GetClosedLoopMoveSpeed_S(system_, channel, &speed); });
        if (status != VX_OK) {
            worker.certain = false;
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        const bool known = channels_[channel].sent.count(speed) || (!floor && speed == initialSpeeds_[channel]);
        if (!known)
            record("own value", text, "gave 0 with " + std::to_string(speed) + ", a speed never written on this channel");
        else if (floor && speed < *floor)
            record("own value", text,
                   "gave 0 with " + std::to_string(speed) + ", older than " + std::to_string(*floor) +
                       ", which a write on this channel had confirmed before this read began");
    }

    // A position read gives one that the channel had at some moment while
    // the call ran: set before the call ended, and not replaced before it
    // began.
    void readPosition(Worker& worker, unsigned channel) {
        int position = 0;
        const auto start = Clock::now();
        const std::string text = "VX_GetPosition_S(ch " + std::to_string(channel) + ")";
        const VX_STATUS status =
            call("VX_GetPosition_S", text, [&] { return VX_GetPosition_S(system_, channel, &position); });
        const auto end = Clock::now();
        if (status != VX_OK) {
            worker.certain = false;
            return;
        }
        const PositionHistory::Finding found = positions_.find(position, start, end);
        if (found.kind == PositionHistory::Finding::NeverSet)
            record("own value", text,
                   "gave 0 with " + std::to_string(position) + ", a position this channel never had");
        else if (found.kind == PositionHistory::Finding::SetAfter)
            record("own value", text,
                   "gave 0 with " + std::to_string(position) + ", which was set only after the call ended");
        else if (found.kind == PositionHistory::Finding::Replaced)
            record("own value", text,
                   "gave 0 with " + std::to_string(position) + ", replaced " +
                       std::to_string(found.replacedBefore.count()) + " ms before the call began");
    }

    void readSensorType(Worker& worker, unsigned channel) {
        unsigned int type = 0;
        const std::string text = "VX_GetSensorType_S(ch " + std::to_string(channel) + ")";
        const VX_STATUS status =
            call("VX_GetSensorType_S", text, [&] { return VX_GetSensorType_S(system_, channel, &type); });
        if (status != VX_OK) {
            worker.certain = false;
            return;
        }
        if (type != sensorTypes_[channel])
            record("own value", text,
                   "gave 0 with " + std::to_string(type) + ", the channel's sensor type is " +
                       std::to_string(sensorTypes_[channel]));
    }

public:
    static constexpr uint32_t kSpeedsPerWorker = 20'000'000;

    // The sensor types and speeds, read once on a clean line.
    void setKnown(const std::vector<unsigned>& types, const std::vector<unsigned>& speeds) {
        sensorTypes_ = types;
        initialSpeeds_ = speeds;
    }
    const Target& target() const { return target_; }
    unsigned knownSensorType(unsigned channel) const { return sensorTypes_[channel]; }

private:
    Run& run_;
    Target target_;
    const vxsim::LineFaultSchedule* schedule_ = nullptr;
    VX_SystemIndex system_ = kNoSystem;
    std::atomic<int> inFlight_{0};
    Worker workers_[kWorkers];
    uint64_t sessions_[kWorkers] = {};
    std::vector<unsigned> sensorTypes_ = std::vector<unsigned>(kWorkers, 0);
    std::vector<unsigned> initialSpeeds_ = std::vector<unsigned>(kWorkers, 0);

    std::mutex mutex_;  // what follows
    Clock::time_point sessionStart_;
    uint64_t dropsAtOpen_ = 0;
    std::optional<Clock::time_point> stickySince_;
    std::optional<Clock::time_point> lossAt_;
    bool lost_ = false;
    std::vector<uint32_t> confirmed_;
    PositionHistory positions_;
    struct ChannelSpeeds {
        std::set<uint32_t> sent;        // every speed a write carried
        std::optional<uint32_t> floor;  // the last speed a write confirmed
    };
    ChannelSpeeds channels_[kWorkers];
};

// An asynchronous system: one thread keeps many position reads of the
// moved channel in flight with _A calls, another takes their packets,
// which come one per request in the order of the requests. A position in a
// packet is one the channel had after the earliest request still without
// its packet was sent (a late reply that answered a newer request carries
// one from before it); a loss stays reported by every receive; a session
// that ends on a passing line gets a packet for every request.
class AsyncSoak {
public:
    static constexpr size_t kInFlight = 120;

    AsyncSoak(Run& run, Target target) : run_(run), target_(std::move(target)) {}
    void setSchedule(const vxsim::LineFaultSchedule* schedule) { schedule_ = schedule; }
    const Target& target() const { return target_; }

    void drive() {
        std::thread mover([this] { positions_.move(run_, run_.rng(0xA5A5), target_); });
        while (run_.running()) {
            VX_SystemIndex index = kNoSystem;
            const std::string options = target_.options + "\nasync";
            const VX_STATUS opened = VX_OpenSystem(&index, target_.locator.c_str(), options.c_str());
            run_.recorder().call(target_.name + " VX_OpenSystem", static_cast<int>(opened));
            if (opened != VX_OK) {
                std::this_thread::sleep_for(50ms);
                continue;
            }
            system_ = index;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                sent_.clear();
                lost_ = false;
            }
            std::thread sender([this] { send(); });
            receive();
            sender.join();
            const auto start = Clock::now();
            VX_CloseSystem(system_);
            if (Clock::now() - start > target_.sendLimit + kMargin)
                record("bound", "VX_CloseSystem", "took " + std::to_string(ms(Clock::now() - start)) + " ms");
        }
        mover.join();
    }

private:

    static int64_t ms(Clock::duration duration) {
        return std::chrono::duration_cast<milliseconds>(duration).count();
    }
    void record(const std::string& invariant, const std::string& call, const std::string& detail) {
        run_.recorder().violation(invariant, target_.name + " " + call, detail);
    }

    void send() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (run_.running() && !lost_) {
            if (sent_.size() >= kInFlight) {
                room_.wait_for(lock, 100ms);
                continue;
            }
            const auto start = Clock::now();
            sent_.push_back(start);
            lock.unlock();
            const VX_STATUS status = VX_GetPosition_A(system_, kMovedChannel);
            const auto took = Clock::now() - start;
            run_.recorder().call(target_.name + " VX_GetPosition_A", static_cast<int>(status));
            if (took > target_.sendLimit + kMargin)
                record("bound", "VX_GetPosition_A", "took " + std::to_string(ms(took)) + " ms");
            lock.lock();
            // Refused: no packet will come for it. The library's own limit
            // of requests in flight (149) clears as packets come.
            if (status != VX_OK && !sent_.empty()) sent_.pop_back();
            if (status == kBufferLimit) {
                const size_t waiting = sent_.size();
                room_.wait_for(lock, 100ms, [&] { return sent_.size() < waiting || lost_; });
            }
        }
    }

    void receive() {
        int afterLoss = 0;
        std::optional<VX_STATUS> sticky;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!run_.running() && !lost_) {
                    // A passing line: every request still gets its packet,
                    // each within the reply time after the one before.
                    if (sent_.empty()) break;
                    if (!drainDeadline_) drainDeadline_ = Clock::now() + kAnswerWait * (sent_.size() + 1) + kMargin;
                    if (Clock::now() > *drainDeadline_) {
                        record("every packet", "VX_ReceiveNextPacket_A",
                               std::to_string(sent_.size()) + " requests still without a packet");
                        break;
                    }
                }
            }
            if (sticky && ++afterLoss > kCallsAfterLoss) break;
            VX_packet packet{};
            const auto start = Clock::now();
            const VX_STATUS status = VX_ReceiveNextPacket_A(system_, 500, &packet);
            const auto end = Clock::now();
            run_.recorder().call(target_.name + " VX_ReceiveNextPacket_A", static_cast<int>(status));
            if (end - start > 500ms + kMargin)
                record("bound", "VX_ReceiveNextPacket_A(500)", "took " + std::to_string(ms(end - start)) + " ms");
            if (sticky) {
                if (status != *sticky)
                    record("reported", "VX_ReceiveNextPacket_A",
                           "gave " + std::to_string(status) + " after a receive had given " + std::to_string(*sticky));
                continue;
            }
            if (status != VX_OK) {
                sticky = status;
                std::lock_guard<std::mutex> lock(mutex_);
                lost_ = true;
                room_.notify_all();
                continue;
            }
            if (packet.packetType == VX_PACKET_NONE) continue;
            run_.recorder().call(target_.name + " packet type " + std::to_string(packet.packetType),
                                 static_cast<int>(packet.packetType == VX_PACKET_ERROR ? packet.data1 : 0));
            std::lock_guard<std::mutex> lock(mutex_);
            if (sent_.empty()) {
                record("own value", "VX_ReceiveNextPacket_A", "a packet no request asked for");
                continue;
            }
            const Clock::time_point asked = sent_.front();
            sent_.pop_front();
            room_.notify_all();
            if (packet.packetType == VX_PACKET_POSITION) check(packet.data2, asked, end);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        lost_ = true;
        drainDeadline_.reset();
        room_.notify_all();
    }

    // Under the mutex.
    void check(int32_t position, Clock::time_point asked, Clock::time_point received) {
        const PositionHistory::Finding found = positions_.find(position, asked, received);
        const std::string call = "VX_GetPosition_A(ch " + std::to_string(kMovedChannel) + ")";
        if (found.kind == PositionHistory::Finding::NeverSet)
            record("own value", call, "packet with " + std::to_string(position) + ", a position never set");
        else if (found.kind == PositionHistory::Finding::SetAfter)
            record("own value", call, "packet with " + std::to_string(position) + ", set after it came");
        else if (found.kind == PositionHistory::Finding::Replaced)
            record("own value", call,
                   "packet with " + std::to_string(position) + ", replaced " +
                       std::to_string(found.replacedBefore.count()) +
                       " ms before the earliest request still waiting for its packet was sent");
    }

    Run& run_;
    Target target_;
    const vxsim::LineFaultSchedule* schedule_ = nullptr;
    VX_SystemIndex system_ = kNoSystem;
    std::mutex mutex_;  // what follows
    std::condition_variable room_;
    std::deque<Clock::time_point> sent_;  // each request without its packet yet
    bool lost_ = false;
    std::optional<Clock::time_point> drainDeadline_;
    PositionHistory positions_;
};

// Opens the target once on a clean line and reads what the workers will
// expect; false when it cannot be opened.
inline bool learnKnownValues(TargetSoak& soak) {
    const Target& target = soak.target();
    VX_SystemIndex index = kNoSystem;
    if (VX_OpenSystem(&index, target.locator.c_str(), target.options.c_str()) != VX_OK) return false;
    std::vector<unsigned> types(kWorkers, 0), speeds(kWorkers, 0);
    bool read = true;
    for (unsigned channel = 0; channel < kWorkers; ++channel) {
        read = read && VX_GetSensorType_S(index, channel, &types[channel]) == VX_OK;
        read = read && VX_GetClosedLoopMoveSpeed_S(index, channel, &speeds[channel]) == VX_OK;
    }
    VX_CloseSystem(index);
    if (read) soak.setKnown(types, speeds);
    return read;
}

// The port of a "network:HOST:PORT" locator.
inline uint16_t portOf(const std::string& locator) {
    return static_cast<uint16_t>(std::stoul(locator.substr(locator.rfind(':') + 1)));
}

// Plugs a USB adapter of the FTDI double bridged to the proxy at `locator`;
// its serial is `prefix` and a number new in this process (kept in
// `serial`, which must outlive the adapter), its chip ID `chipIdBase` plus
// that number. Gives the adapter's handle, above 0 when it was added.
inline int addBridgedAdapter(const VxFtdiDoubleApi* ftdi, const std::string& prefix, const char* description,
                             uint32_t chipIdBase, const std::string& locator, std::string* serial) {
    static std::atomic<uint32_t> next{1};
    const uint32_t number = next++;
    *serial = prefix + std::to_string(number);
    VxFtdiAdapterSpec spec{};
    spec.serial = serial->c_str();
    spec.description = description;
    spec.chipId = chipIdBase + number;
    return ftdi->addBridgedAdapter(&spec, "127.0.0.1", portOf(locator));
}

// Ends a run: threads and descriptors must be back where they were before
// the proxies and the first open (`before`), and no promise broken.
inline void finishRun(Run& run, const vxtest::soak::Resources& before) {
    const auto after = vxtest::soak::waitForResources(before);
    if (!(after == before))
        run.recorder().violation("resources", "VX_CloseSystem",
                                 "after the last close: " + after.text() + ", before the first open: " + before.text());
    run.recorder().printSummary();
    EXPECT_EQ(run.recorder().violationCount(), 0u) << "seed " << run.seed() << ": see the summary above";
}

// A schedule of the faults a TCP line can show, drawn from `seed`. Holds
// and delays, which make answers come late, are drawn more often.
inline vxsim::LineFaultSchedule::Options tcpFaults(uint64_t seed) {
    using Kind = vxsim::LineFault::Kind;
    vxsim::LineFaultSchedule::Options options;
    options.seed = seed;
    options.kinds = {Kind::Throttle, Kind::Stall, Kind::Hold,      Kind::Hold, Kind::Delay,
                     Kind::Delay,    Kind::Delay, Kind::HalfClose, Kind::Drop};
    // Holds past the answer wait, delays that bring the round trip near it
    // and past twice the reply time (when the second generation gives a
    // request's ID out again), and lines as slow as 800 bit/s, where answers
    // queue behind one another.
    options.faultMin = 1500ms;
    options.faultMax = 6000ms;
    options.delayMax = 3000ms;
    options.rateMin = 100;
    return options;
}

// The same for a first-generation USB line, whose answers come within 5 s
// of their request or not at all: a skipped answer is waited for that long,
// so holds and delays stay well inside it.
inline vxsim::LineFaultSchedule::Options usbFaults(uint64_t seed) {
    vxsim::LineFaultSchedule::Options options = tcpFaults(seed);
    options.faultMax = 3000ms;
    options.delayMax = 2000ms;
    return options;
}

// Counts each fault that ran, by kind.
inline void recordFaults(Recorder& recorder, const std::string& name, const Steps& steps) {
    for (const auto& step : steps)
        if (step.fault.kind != vxsim::LineFault::Kind::Pass)
            recorder.fault(name + " " + vxsim::lineFaultName(step.fault.kind));
}

// Drives every target on a thread of its own until the run ends, then
// checks each controller's frame log.
inline void driveAll(std::vector<std::unique_ptr<TargetSoak>>& soaks) {
    std::vector<std::thread> threads;
    for (auto& soak : soaks) threads.emplace_back([&soak] { soak->drive(); });
    for (std::thread& thread : threads) thread.join();
}

}  // namespace qmxsoak
