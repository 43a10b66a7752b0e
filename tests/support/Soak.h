#pragma once

// A randomised soak run: a seed that reproduces it, a bounded run time,
// a random stream per thread, a record of broken promises and counters of
// what was done. A run is reproduced by hand with
//   VX_SOAK_SEED=<seed> VX_SOAK_SECONDS=<seconds> <test program>
// The line's timing differs from run to run, so a seed reproduces the
// schedule of calls and faults, not every interleaving.

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/ProcessResources.h"

namespace vxtest::soak {

using Clock = std::chrono::steady_clock;

// VX_SOAK_SEED (decimal or 0x hex) or a fresh random seed.
inline uint64_t seedFromEnvironment() {
    if (const char* text = std::getenv("VX_SOAK_SEED"); text && *text) {
        char* end = nullptr;
        const unsigned long long seed = std::strtoull(text, &end, 0);
        if (end && *end == '\0') return seed;
        std::fprintf(stderr, "VX_SOAK_SEED=\"%s\" is not a number; a random seed is used\n", text);
    }
    std::random_device device;
    return (uint64_t{device()} << 32) ^ device();
}

// VX_SOAK_SECONDS or the default; the default keeps every soak of a build
// within about a minute together.
inline std::chrono::milliseconds durationFromEnvironment(std::chrono::milliseconds fallback) {
    if (const char* text = std::getenv("VX_SOAK_SECONDS"); text && *text) {
        char* end = nullptr;
        const double seconds = std::strtod(text, &end);
        if (end && *end == '\0' && seconds > 0)
            return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
        std::fprintf(stderr, "VX_SOAK_SECONDS=\"%s\" is not a positive number; the default is used\n", text);
    }
    return fallback;
}

// splitmix64: streams of one seed that do not overlap.
inline uint64_t mix(uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

// The random stream of one thread of a run; not shared between threads.
class Rng {
public:
    Rng(uint64_t seed, uint64_t stream) : engine_(mix(seed ^ mix(stream + 1))) {}

    uint64_t next() { return engine_(); }
    // An integer in [low, high].
    int64_t between(int64_t low, int64_t high) {
        return std::uniform_int_distribution<int64_t>(low, high)(engine_);
    }
    // A real number in [0, 1).
    double unit() { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }
    bool chance(double probability) { return unit() < probability; }
    template <typename T>
    const T& pick(const std::vector<T>& items) {
        return items[static_cast<size_t>(between(0, static_cast<int64_t>(items.size()) - 1))];
    }
    std::chrono::milliseconds millis(int64_t low, int64_t high) {
        return std::chrono::milliseconds(between(low, high));
    }

private:
    std::mt19937_64 engine_;
};

// Broken promises and counters of one run, shared by its threads. Each
// violation is printed when it happens (the first few) and kept for the
// summary; it names the seed, the invariant and the call.
class Recorder {
public:
    Recorder(std::string name, uint64_t seed) : name_(std::move(name)), seed_(seed), start_(Clock::now()) {}

    void violation(const std::string& invariant, const std::string& call, const std::string& detail) {
        const double at = std::chrono::duration<double>(Clock::now() - start_).count();
        std::string line = "soak " + name_ + " seed " + std::to_string(seed_) + ": invariant \"" + invariant +
                           "\" broken by " + call + " at " + std::to_string(at) + " s: " + detail;
        std::lock_guard<std::mutex> lock(mutex_);
        ++violationCount_;
        if (violations_.size() < kKept) {
            std::fprintf(stderr, "%s\n", line.c_str());
            violations_.push_back(std::move(line));
        }
    }

    // One call and the status it gave.
    void call(const std::string& name, int status) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++calls_[name][status];
    }
    // One fault put on the line (or anything else worth counting).
    void fault(const std::string& kind, uint64_t count = 1) {
        std::lock_guard<std::mutex> lock(mutex_);
        faults_[kind] += count;
    }

    uint64_t violationCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return violationCount_;
    }
    uint64_t callCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        uint64_t total = 0;
        for (const auto& [name, byStatus] : calls_)
            for (const auto& [status, count] : byStatus) total += count;
        return total;
    }
    uint64_t callCount(const std::string& name, int status) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto call = calls_.find(name);
        if (call == calls_.end()) return 0;
        const auto entry = call->second.find(status);
        return entry == call->second.end() ? 0 : entry->second;
    }
    uint64_t faultCount(const std::string& kind) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto entry = faults_.find(kind);
        return entry == faults_.end() ? 0 : entry->second;
    }

    // The counters and the kept violations, for the end of the run and
    // for a failed expectation's message.
    std::string summary() const {
        std::lock_guard<std::mutex> lock(mutex_);
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        std::string text = "soak " + name_ + " seed " + std::to_string(seed_) + " ran " + std::to_string(seconds) +
                           " s\n";
        uint64_t total = 0;
        for (const auto& [name, byStatus] : calls_) {
            text += "  calls " + name + ":";
            for (const auto& [status, count] : byStatus) {
                text += " " + std::to_string(count) + "x" + std::to_string(status);
                total += count;
            }
            text += "\n";
        }
        text += "  calls in all: " + std::to_string(total) + "\n";
        for (const auto& [kind, count] : faults_) text += "  faults " + kind + ": " + std::to_string(count) + "\n";
        text += "  violations: " + std::to_string(violationCount_) + "\n";
        for (const std::string& line : violations_) text += "  " + line + "\n";
        if (violationCount_ > violations_.size())
            text += "  (" + std::to_string(violationCount_ - violations_.size()) + " more not kept)\n";
        if (violationCount_)
            text += "  reproduce with VX_SOAK_SEED=" + std::to_string(seed_) + "\n";
        return text;
    }
    void printSummary() const {
        const std::string text = summary();
        std::fprintf(stdout, "%s", text.c_str());
        std::fflush(stdout);
    }

private:
    static constexpr size_t kKept = 20;

    const std::string name_;
    const uint64_t seed_;
    const Clock::time_point start_;
    mutable std::mutex mutex_;
    uint64_t violationCount_ = 0;
    std::vector<std::string> violations_;
    std::map<std::string, std::map<int, uint64_t>> calls_;
    std::map<std::string, uint64_t> faults_;
};

// One soak run: its seed and length (printed at its start), its recorder,
// and the random stream of each thread.
class Run {
public:
    explicit Run(std::string name, std::chrono::milliseconds ciLength = std::chrono::seconds(15))
        : name_(std::move(name)),
          seed_(seedFromEnvironment()),
          length_(durationFromEnvironment(ciLength)),
          recorder_(name_, seed_),
          start_(Clock::now()) {
        std::fprintf(stdout, "soak %s seed %" PRIu64 " for %g s (VX_SOAK_SEED=%" PRIu64 " VX_SOAK_SECONDS=%g)\n",
                     name_.c_str(), seed_, length_.count() / 1000.0, seed_, length_.count() / 1000.0);
        std::fflush(stdout);
    }

    const std::string& name() const { return name_; }
    uint64_t seed() const { return seed_; }
    std::chrono::milliseconds length() const { return length_; }
    Clock::time_point end() const { return start_ + length_; }
    // True until the run's time is over or stop() was called.
    bool running() const { return !stopped_.load() && Clock::now() < end(); }
    void stop() { stopped_ = true; }
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
    }

    // The stream of thread (or schedule) `stream`; the same seed and stream
    // give the same numbers.
    Rng rng(uint64_t stream) const { return Rng(seed_, stream); }
    Recorder& recorder() { return recorder_; }
    const Recorder& recorder() const { return recorder_; }

private:
    const std::string name_;
    const uint64_t seed_;
    const std::chrono::milliseconds length_;
    Recorder recorder_;
    const Clock::time_point start_;
    std::atomic<bool> stopped_{false};
};

// How long a call took.
class Stopwatch {
public:
    Stopwatch() : start_(Clock::now()) {}
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
    }
    Clock::time_point start() const { return start_; }

private:
    Clock::time_point start_;
};

using vxtest::entriesIn;

// The process's threads (those not exiting) and open descriptors.
struct Resources {
    size_t threads = 0;
    size_t descriptors = 0;

    static Resources now() { return {vxtest::liveThreadCount(), vxtest::descriptorCount()}; }
    bool operator==(const Resources&) const = default;
    std::string text() const {
        return std::to_string(threads) + " threads, " + std::to_string(descriptors) + " descriptors";
    }
};

// Waits until the threads and descriptors are back at exactly `start`
// (a thread may end a moment after what ends it returns); gives the last
// count seen.
inline Resources waitForResources(const Resources& start,
                                  std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    const auto end = Clock::now() + deadline;
    Resources seen = Resources::now();
    while (!(seen == start) && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        seen = Resources::now();
    }
    return seen;
}

// Runs rounds until the run ends; after each, the threads and descriptors
// must be back where they were before the first (`closeCall` names what
// should have let them go).
inline void runRounds(Run& run, const std::string& closeCall, const std::function<void(int number)>& round) {
    const auto before = Resources::now();
    for (int number = 1; run.running(); ++number) {
        round(number);
        const auto after = waitForResources(before);
        if (!(after == before))
            run.recorder().violation("descriptors and threads return to their starting counts",
                                     closeCall + " of round " + std::to_string(number),
                                     "before " + before.text() + ", after " + after.text());
    }
    run.recorder().printSummary();
}

}  // namespace vxtest::soak
