// Several threads send second-generation frames through one VeltraxIO
// device to a simulated controller, over a line that a seeded schedule
// throttles, stalls, holds, delays, half-closes and drops (TCP), or stalls,
// holds, delays and cuts behind a paced pseudo-terminal (serial). Every
// write carries a value of its own; the controller's frame log counts them.
// Checked throughout, each break naming the seed, the promise and the call:
//   - a read reply handed to the receive callback carries its key's value;
//   - no frame reaches the controller twice, and on TCP none arrives cut;
//   - every send ends within its bound: the time-out, plus the longest
//     fault, plus the line time of every thread's bytes at the slowest rate
//     the schedule allows, plus 1500 ms;
//   - a send fails only when the line stopped taking bytes for the time-out
//     (a stall, hold or held output that long, a drop or a shut peer);
//   - every give-up and every dropped connection is reported to the error
//     callback (7), and the frames of sends that gave 0 reach the controller
//     unless a loss was reported (or, on serial, the line was cut);
//   - threads and descriptors come back to their starting counts.
// A device that lost its line is closed and opened again. The run is split
// into rounds of a drawn transport; VX_SOAK_TRANSPORT=tcp or serial keeps
// one, and VX_SOAK_BAUD a serial line's rate (38400 or 115200 are drawn,
// and 9600 in runs over a minute); VX_SOAK_DEBUG prints the proxy's recent faults at a give-up
// the line did not call for. CI runs it 15 s (VX_SOAK_SECONDS for longer, VX_SOAK_SEED to repeat,
// VX_SOAK_FAULTS=hold,stall to draw from those faults only).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "VeltraxIO.h"
#include "sim/Gen2Frame.h"
#include "sim/Gen2Simulator.h"
#include "sim/TcpServer.h"
#include "support/Soak.h"
#include "support/SoakLine.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using vxtest::soak::Clock;
namespace gen2 = vxsim::gen2;

constexpr int kThreads = 3;
constexpr uint32_t kKeyBase = 0x0F300000;
constexpr int kKeys = 8;
constexpr uint32_t kWriteKey = 0x0F3100FF;
constexpr int kLastReadId = 200;  // reads use IDs 1..200, each ID one key
constexpr uint8_t kWriteId = 201;
constexpr milliseconds kMargin{1500};
// Once the faults have ended, frames of sends that gave 0 may still be on
// their way (a pseudo-terminal holds tens of KiB): they are waited for
// while they keep arriving, and given up for lost after this long without one
// on top of the line time of the largest piece the line hands on at once.
constexpr milliseconds kArrivalStopped{3000};
// The simulator takes a pseudo-terminal's bytes in reads of up to 4 KiB and
// hands each on whole once the line has carried it: at 9600 baud 4.3 s apart.
constexpr size_t kLargestPiece = 4096;
constexpr milliseconds kArrivalAtMost{60000};
// The simulator takes frames at its own pace, far slower under the
// sanitizers (a few hundred a second): a sender waits while more than this
// many of the open's frames are on their way, so that what is still in
// flight when a round ends can arrive within the wait above. Without a
// sanitizer, more than the line's buffers hold, so a stalled line blocks the
// sends themselves.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kInFlightAtMost = 3000;
#else
constexpr size_t kInFlightAtMost = 20000;
#endif
constexpr milliseconds kInFlightWait{1000};
// How soon a give-up or a dropped connection must reach the error callback.
constexpr milliseconds kReport{1500};

uint32_t keyOfId(int id) { return kKeyBase + static_cast<uint32_t>(id % kKeys); }
int32_t valueOfKey(uint32_t key) { return 0x51000 + 7919 * static_cast<int32_t>(key - kKeyBase); }

std::string valueName(uint64_t value) {
    return "write of thread " + std::to_string(value >> 40) + " #" + std::to_string(value & 0xFFFFFFFFFFull);
}

// The line of one round and the numbers its bounds follow from.
struct LineShape {
    bool tcp = true;
    uint32_t baud = 0;        // serial
    milliseconds timeout{0};  // "connect-timeout" or "tx-timeout"
    uint32_t slowest = 0;     // bytes a second the line keeps at its slowest
    size_t maxBatch = 0;      // bytes of one send at most
    milliseconds longestFault{0};

    std::string options() const { return vxtest::soak::lineOptions(tcp, baud, timeout); }
    milliseconds bound() const {
        const auto lineTime = milliseconds(2 * kThreads * maxBatch * 1000 / slowest);
        return timeout + longestFault + lineTime + kMargin;
    }
};

// One open of the device: its handle, what its callbacks saw, what its sends did.
struct Epoch {
    explicit Epoch(int number, bool tcp) : number(number), tcp(tcp) {}

    const int number;
    const bool tcp;
    VX_IO_Handle handle = 0;
    Clock::time_point opened = Clock::now();
    vxtest::soak::Recorder* recorder = nullptr;

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<int, Clock::time_point>> errors;
    std::optional<Clock::time_point> failedAt;     // the first send that failed
    std::optional<Clock::time_point> failedStart;  // ... and when it began
    std::vector<uint8_t> pending;                  // received, not yet a whole frame
    uint64_t replies = 0;

    bool lost() {
        std::lock_guard lock(mutex);
        return failedAt.has_value() ||
               std::any_of(errors.begin(), errors.end(), [](const auto& e) { return e.first == 7; });
    }

    static void onReceive(void* context, const void* data, size_t length) {
        static_cast<Epoch*>(context)->receive(static_cast<const uint8_t*>(data), length);
    }
    static void onError(void* context, int code) {
        auto* epoch = static_cast<Epoch*>(context);
        std::lock_guard lock(epoch->mutex);
        epoch->errors.emplace_back(code, Clock::now());
        epoch->changed.notify_all();
    }

    // Read replies name their request ID, and each ID reads one key.
    void receive(const uint8_t* data, size_t length) {
        std::lock_guard lock(mutex);
        pending.insert(pending.end(), data, data + length);
        size_t at = 0;
        while (at < pending.size()) {
            if (pending[at] != gen2::kCommandStart && pending[at] != gen2::kSystemStart) {
                ++at;
                continue;
            }
            if (pending.size() - at < 3) break;
            const size_t frameLength = pending[at + 1] | (pending[at + 2] << 8);
            if (frameLength < 5 || frameLength > gen2::kMaxLength) {
                ++at;
                continue;
            }
            if (pending.size() - at < 3 + frameLength) break;
            const uint8_t* frame = pending.data() + at;
            const size_t total = 3 + frameLength;
            uint32_t stored = 0;
            std::memcpy(&stored, frame + total - 4, 4);
            if (gen2::crc32(frame, total - 4) != stored) {
                // A TCP connection carries whole replies or ends.
                if (tcp && recorder)
                    recorder->violation("bytes received are the controller's, in order", "receive callback",
                                        "a frame with a bad CRC on open " + std::to_string(number));
                ++at;
                continue;
            }
            if (frame[0] == gen2::kCommandStart && frame[3] == gen2::command::kPropertyValue) {
                ++replies;
                const int id = frame[4];
                int32_t value = 0;
                std::memcpy(&value, frame + 6, 4);
                if (recorder && id >= 1 && id <= kLastReadId && value != valueOfKey(keyOfId(id)))
                    recorder->violation("a reply carries its own request's value", "receive callback",
                                        "reply to ID " + std::to_string(id) + " carried " + std::to_string(value) +
                                            ", its key holds " + std::to_string(valueOfKey(keyOfId(id))));
            }
            at += total;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(at));
    }
};

class IoSoak {
public:
    explicit IoSoak(vxtest::soak::Run& run) : run_(run), recorder_(run.recorder()) {}

    void round(int number, const LineShape& shape, Clock::time_point end);

private:
    void observe(const vxsim::LoggedFrame& frame);
    void send(int thread, vxtest::soak::Rng rng, Clock::time_point end);
    std::vector<uint8_t> batch(int thread, vxtest::soak::Rng& rng, std::vector<uint64_t>* values);
    bool open();
    void close();
    void judge(Epoch& epoch, bool final);
    void printFaults();

    vxtest::soak::Run& run_;
    vxtest::soak::Recorder& recorder_;
    LineShape shape_;
    std::unique_ptr<vxsim::Gen2Simulator> sim_;
    std::unique_ptr<vxtest::soak::FaultyLine> line_;

    // The frames the controller took, by write value, and what was dropped.
    std::mutex framesMutex_;
    std::map<uint64_t, int> arrived_;
    uint64_t rejected_ = 0;
    std::condition_variable arrivedMore_;
    size_t arrivedAtOpen_ = 0;
    std::atomic<size_t> sentInOpen_{0};

    // Sends hold it shared; a close and open hold it alone.
    std::shared_mutex epochMutex_;
    std::condition_variable_any epochChanged_;
    std::shared_ptr<Epoch> epoch_;
    std::vector<std::shared_ptr<Epoch>> closed_;
    int epochs_ = 0;
    uint64_t dropsAtOpen_ = 0;
    bool previousLost_ = false;

    std::mutex sentMutex_;
    std::map<int, std::vector<uint64_t>> sent_;  // values of sends that gave 0, by open
    std::atomic<uint64_t> nextSeq_[kThreads] = {};
    std::atomic<bool> stopping_{false};
};

// With VX_SOAK_DEBUG set, what the proxy did lately besides passing bytes.
void IoSoak::printFaults() {
    if (!std::getenv("VX_SOAK_DEBUG")) return;
    for (const auto& event : line_->proxy().events())
        if (event.text[0] != '>' && event.text[0] != '<') std::printf("  proxy: %s\n", event.text.c_str());
}

void IoSoak::observe(const vxsim::LoggedFrame& frame) {
    std::lock_guard lock(framesMutex_);
    if (!frame.accepted) {
        ++rejected_;
        if (shape_.tcp)
            recorder_.violation("a connection that goes on never carries half a frame", "VX_IO_Send",
                                "the controller dropped " + std::to_string(frame.bytes.size()) + " bytes (" +
                                    frame.reason + ")");
        return;
    }
    if (frame.command != gen2::command::kWriteProperty || frame.key != kWriteKey || frame.values.empty()) return;
    const uint64_t value = static_cast<uint64_t>(frame.values.front());
    arrivedMore_.notify_all();
    if (++arrived_[value] == 2)
        recorder_.violation("no frame reaches the controller twice", "VX_IO_Send",
                            valueName(value) + " reached the controller twice");
}

std::vector<uint8_t> IoSoak::batch(int thread, vxtest::soak::Rng& rng, std::vector<uint64_t>* values) {
    std::vector<uint8_t> bytes;
    const size_t writeSize = gen2::encodeFrame(gen2::kCommandStart, gen2::command::kWriteProperty,
                                               gen2::Fields().u8(0).u8(0).u8(0).u32(0).u8(0).u64(0).bytes())
                                 .size();
    const size_t frames = static_cast<size_t>(rng.between(1, static_cast<int64_t>(shape_.maxBatch / writeSize)));
    for (size_t i = 0; i < frames; ++i) {
        gen2::Fields fields;
        if (rng.chance(0.7)) {
            const uint64_t value = (static_cast<uint64_t>(thread + 1) << 40) | nextSeq_[thread]++;
            values->push_back(value);
            fields.u8(kWriteId).u8(0).u8(0).u32(kWriteKey).u8(gen2::datatype::kInt64).u64(value);
            const auto frame = gen2::encodeFrame(gen2::kCommandStart, gen2::command::kWriteProperty, fields.bytes());
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        } else {
            const int id = static_cast<int>(rng.between(1, kLastReadId));
            fields.u8(static_cast<uint8_t>(id)).u8(0).u8(0).u32(keyOfId(id));
            const auto frame = gen2::encodeFrame(gen2::kCommandStart, gen2::command::kReadProperty, fields.bytes());
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        }
    }
    return bytes;
}

void IoSoak::send(int thread, vxtest::soak::Rng rng, Clock::time_point end) {
    while (Clock::now() < end && !stopping_) {
        {
            // Bounded, since a lost open's frames never arrive.
            std::unique_lock framesLock(framesMutex_);
            arrivedMore_.wait_until(framesLock, std::min(end, Clock::now() + kInFlightWait), [&] {
                return stopping_ || sentInOpen_ < kInFlightAtMost + (arrived_.size() - arrivedAtOpen_);
            });
        }
        std::shared_lock lock(epochMutex_);
        // A line given up waits for the manager to open the device again.
        epochChanged_.wait(lock, [&] { return stopping_ || (epoch_ && !epoch_->lost()); });
        if (stopping_) return;
        const std::shared_ptr<Epoch> epoch = epoch_;
        std::vector<uint64_t> values;
        const std::vector<uint8_t> bytes = batch(thread, rng, &values);
        const vxtest::soak::Stopwatch watch;
        const VX_IO_Result result = VX_IO_Send(epoch->handle, bytes.data(), bytes.size());
        const auto took = watch.elapsed();
        recorder_.call("VX_IO_Send", result);
        const std::string call = "VX_IO_Send of " + std::to_string(bytes.size()) + " bytes by thread " +
                                 std::to_string(thread) + " on open " + std::to_string(epoch->number);
        if (took > shape_.bound())
            recorder_.violation("every call ends within its bound", call,
                                "took " + std::to_string(took.count()) + " ms, bound " +
                                    std::to_string(shape_.bound().count()) + " ms");
        if (result == VX_IO_OK) {
            std::lock_guard sentLock(sentMutex_);
            auto& list = sent_[epoch->number];
            list.insert(list.end(), values.begin(), values.end());
            sentInOpen_ += values.size();
        } else {
            std::lock_guard epochLock(epoch->mutex);
            if (!epoch->failedAt) {
                epoch->failedAt = Clock::now();
                epoch->failedStart = watch.start();
                epoch->changed.notify_all();
            }
        }
        // A pause between sends now and then, as an application's own work
        // would make, lets the manager in and keeps the logs of a long run small.
        lock.unlock();
        if (rng.chance(0.5)) std::this_thread::sleep_for(rng.millis(0, 10));
    }
}

bool IoSoak::open() {
    auto epoch = std::make_shared<Epoch>(++epochs_, shape_.tcp);
    epoch->recorder = &recorder_;
    const std::string options = shape_.options();
    const VX_IO_Result result = VX_IO_Open(&epoch->handle, line_->locator().c_str(), options.c_str(), epoch.get(),
                                           &Epoch::onReceive, &Epoch::onError);
    recorder_.call("VX_IO_Open", result);
    if (result != VX_IO_OK) {
        // A proxy that is holding or stalling may let a connect time out.
        epoch_.reset();
        return false;
    }
    dropsAtOpen_ = line_->proxy().counters().drops;
    {
        std::lock_guard framesLock(framesMutex_);
        arrivedAtOpen_ = arrived_.size();
    }
    sentInOpen_ = 0;
    epoch_ = epoch;
    epochChanged_.notify_all();
    return true;
}

void IoSoak::close() {
    if (!epoch_) return;
    const std::shared_ptr<Epoch> epoch = epoch_;
    EXPECT_EQ(VX_IO_Close(epoch->handle, 1), VX_IO_OK);
    epoch_.reset();
    closed_.push_back(epoch);
}

// What one open's life must show, judged once it is closed.
void IoSoak::judge(Epoch& epoch, bool final) {
    std::unique_lock lock(epoch.mutex);
    const std::string name = "open " + std::to_string(epoch.number);
    const bool reported = std::any_of(epoch.errors.begin(), epoch.errors.end(), [](auto& e) { return e.first == 7; });
    if (epoch.failedAt) {
        if (!line_->lineStoppedBetween(*epoch.failedStart - shape_.timeout, *epoch.failedAt, shape_.timeout)) {
            printFaults();
            recorder_.violation("a line that keeps taking bytes is never given up", "VX_IO_Send on " + name,
                                "a send failed after " +
                                    std::to_string(std::chrono::duration_cast<milliseconds>(*epoch.failedAt -
                                                                                            *epoch.failedStart)
                                                       .count()) +
                                    " ms while no fault stopped the line for " +
                                    std::to_string(shape_.timeout.count()) + " ms");
        }
        if (!reported)
            recorder_.violation("every lost connection is reported", "VX_IO_Send on " + name,
                                "a send gave the line up and the error callback never got 7");
    }
    const bool lost = epoch.failedAt.has_value() || reported;
    lock.unlock();

    const uint64_t drops = line_->proxy().counters().drops;
    if (shape_.tcp && drops > dropsAtOpen_ && !reported)
        recorder_.violation("every lost connection is reported", "error callback on " + name,
                            "the proxy dropped the connection and the error callback never got 7");

    // Frames of sends that gave 0 reach the controller unless a loss was
    // reported; on serial a cut line, or a give-up just before (the
    // controller keeps the head of the cut frame), may take them too.
    if (!final) return;
    const bool excused = lost || (!shape_.tcp && (drops > dropsAtOpen_ || previousLost_));
    std::vector<uint64_t> sent;
    {
        std::lock_guard sentLock(sentMutex_);
        sent = sent_[epoch.number];
    }
    const milliseconds stopped = kArrivalStopped + milliseconds(kLargestPiece * 1000 / shape_.slowest);
    std::vector<uint64_t> missing;
    size_t arrivedBefore = 0;
    auto lastArrival = Clock::now();
    const auto giveUp = Clock::now() + kArrivalAtMost;
    vxtest::waitUntil(
        [&] {
            missing.clear();
            std::lock_guard framesLock(framesMutex_);
            for (uint64_t value : sent)
                if (!arrived_.count(value)) missing.push_back(value);
            if (arrived_.size() != arrivedBefore) {
                arrivedBefore = arrived_.size();
                lastArrival = Clock::now();
            }
            return missing.empty() || Clock::now() - lastArrival > stopped || Clock::now() > giveUp;
        },
        kArrivalAtMost + 1s);
    if (!missing.empty() && !excused)
        recorder_.violation("a send that gave 0 reached the controller", "VX_IO_Send on " + name,
                            std::to_string(missing.size()) + " of " + std::to_string(sent.size()) +
                                " frames never arrived (first: " + valueName(missing.front()) +
                                ") and no loss was reported");
}

void IoSoak::round(int number, const LineShape& shape, Clock::time_point end) {
    shape_ = shape;
    stopping_ = false;
    sim_ = std::make_unique<vxsim::Gen2Simulator>();
    for (int k = 0; k < kKeys; ++k)
        sim_->model().define({0, kKeyBase + static_cast<uint32_t>(k)}, valueOfKey(kKeyBase + static_cast<uint32_t>(k)),
                             true);
    sim_->model().define({0, kWriteKey}, int64_t{0});
    sim_->endpoint().frameLog().setKeeping(false);
    sim_->endpoint().frameLog().setObserver([this](const vxsim::LoggedFrame& frame) { observe(frame); });
    sim_->serveTcp();

    const auto proxy = vxtest::soak::proxyOptions(sim_->tcpLocator(), shape.tcp, 200);
    vxsim::LineFaultSchedule::Options faults;
    faults.seed = run_.rng(1000 + number).next();
    using Kind = vxsim::LineFault::Kind;
    const std::vector<Kind> tcpFaults = {Kind::Throttle, Kind::Stall, Kind::Hold, Kind::Delay, Kind::HalfClose, Kind::Drop};
    const std::vector<Kind> serialFaults = {Kind::Stall, Kind::Hold, Kind::Delay, Kind::HoldOutput, Kind::Drop};
    faults.kinds = vxtest::soak::faultsFromEnvironment(shape.tcp ? tcpFaults : serialFaults);
    faults.passMin = 1000ms;
    faults.passMax = 2500ms;
    faults.faultMin = 100ms;
    faults.faultMax = shape.longestFault;
    faults.rateMin = shape.slowest;
    faults.rateMax = std::max<uint32_t>(shape.slowest, 200000);
    faults.delayMax = 300ms;
    faults.dropAfterMax = shape.maxBatch;
    line_ = std::make_unique<vxtest::soak::FaultyLine>(proxy, faults);
    std::printf("round %d: %s%s, time-out %lld ms, sends of up to %zu bytes, bound %lld ms\n", number,
                shape.tcp ? "tcp" : "serial at ", shape.tcp ? "" : std::to_string(shape.baud).c_str(),
                static_cast<long long>(shape.timeout.count()), shape.maxBatch,
                static_cast<long long>(shape.bound().count()));
    std::fflush(stdout);

    while (!open() && Clock::now() < end) std::this_thread::sleep_for(50ms);
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t)
        senders.emplace_back([this, t, number, end] { send(t, run_.rng(100 * number + t), end); });

    // Opens the device again whenever it lost its line.
    while (Clock::now() < end) {
        std::shared_ptr<Epoch> epoch;
        {
            std::shared_lock lock(epochMutex_);
            epoch = epoch_;
        }
        if (!epoch) {
            std::unique_lock lock(epochMutex_);
            // A refused open is tried again after a pause, not in a spin.
            if (!open()) std::this_thread::sleep_for(50ms);
            continue;
        }
        // The controller's own list of requests is not needed here.
        sim_->endpoint().clearRequests();
        {
            std::unique_lock lock(epoch->mutex);
            epoch->changed.wait_until(lock, std::min(end, Clock::now() + 1s), [&] {
                return epoch->failedAt.has_value() ||
                       std::any_of(epoch->errors.begin(), epoch->errors.end(), [](auto& e) { return e.first == 7; });
            });
            if (epoch->failedAt)
                epoch->changed.wait_for(lock, kReport, [&] {
                    return std::any_of(epoch->errors.begin(), epoch->errors.end(),
                                       [](auto& e) { return e.first == 7; });
                });
        }
        if (!epoch->lost()) continue;
        std::unique_lock lock(epochMutex_);
        close();
        judge(*epoch, false);
        previousLost_ = true;
        open();
    }
    {
        std::unique_lock lock(epochMutex_);
        stopping_ = true;
        epochChanged_.notify_all();
    }
    for (auto& sender : senders) sender.join();
    line_->stop();
    {
        std::unique_lock lock(epochMutex_);
        if (epoch_) {
            const std::shared_ptr<Epoch> last = epoch_;
            judge(*last, true);
            close();
        }
    }
    line_->record(recorder_);
    {
        std::lock_guard lock(framesMutex_);
        recorder_.fault("frames rejected by the controller", rejected_);
        recorder_.fault("writes taken by the controller", arrived_.size());
    }
    line_.reset();
    sim_.reset();
    closed_.clear();
    previousLost_ = false;
    std::lock_guard framesLock(framesMutex_);
    std::lock_guard sentLock(sentMutex_);
    arrived_.clear();
    rejected_ = 0;
    sent_.clear();
}

LineShape drawShape(vxtest::soak::Rng& rng, bool longRun) {
    LineShape shape;
    shape.tcp = vxtest::soak::tcpFromEnvironment(rng);
    if (shape.tcp) {
        shape.timeout = 2000ms;
        // Far above the slowest TCP link the header promises for this
        // time-out (a 1448-byte segment in 2 s).
        shape.slowest = 8000;
        shape.maxBatch = 2048;
    } else {
        // A line of 9600 baud takes its fill of a pseudo-terminal (tens of
        // KiB) half a minute to carry at the end of a round: only runs
        // longer than a minute draw it.
        static const std::vector<uint32_t> kBauds = {38400, 115200};
        static const std::vector<uint32_t> kLongRunBauds = {9600, 38400, 115200};
        shape.baud = rng.pick(longRun ? kLongRunBauds : kBauds);
        if (const char* baud = std::getenv("VX_SOAK_BAUD"); baud && std::atoi(baud) > 0)
            shape.baud = static_cast<uint32_t>(std::atoi(baud));
        shape.timeout = 1000ms;
        shape.slowest = shape.baud / 10;
        // A quarter of a second of line time each.
        shape.maxBatch = std::max<size_t>(48, shape.slowest / 4);
    }
    shape.longestFault = shape.timeout * 5 / 2;
    return shape;
}

void ignoreBytes(void*, const void*, size_t) {}

TEST(IoSoak, SendsKeepTheirPromisesOnAFaultyLine) {
    vxtest::soak::Run run("VeltraxIO");
    auto rng = run.rng(0);
    IoSoak soak(run);
    {
        // Whatever the library starts once per process is running before the count.
        vxsim::EchoHandler echo;
        vxsim::TcpServer server(echo);
        VX_IO_Handle handle = 0;
        ASSERT_EQ(VX_IO_Open(&handle, server.locator().c_str(), nullptr, nullptr, &ignoreBytes, nullptr), VX_IO_OK);
        VX_IO_Close(handle, 1);
    }
    vxtest::soak::runRounds(run, "VX_IO_Close", [&](int number) {
        const LineShape shape = drawShape(rng, run.length() > 60s);
        const auto end = std::min(run.end(), Clock::now() + rng.millis(5000, 12000));
        soak.round(number, shape, end);
    });
    EXPECT_EQ(run.recorder().violationCount(), 0u) << run.recorder().summary();
}

}  // namespace
