// qmx_bench: what the controller API costs compared with a plain TCP client
// that sends the same requests to the same simulated controller.
//
//   qmx_bench [benchmark options]
//
// Starts `vxsim` (found beside this program) as a child process, so that the
// CPU time this process uses is the client side's alone. Measures:
//   - the round trip of VX_GetPosition_S against one position query sent and
//     answered over a raw socket;
//   - the rate of asynchronous answers collected with VX_ReceiveNextPacket_A
//     against the raw client reading the same answers, once after its
//     requests and once by a reader thread of its own while they go out;
//   - the CPU time that ten open, idle systems use in five seconds against
//     ten idle raw connections, each read by a thread of its own.
// After the benchmark table it prints each figure with its ratio to the raw
// client.

#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchSummary.h"
#include "RawSocket.h"
#include "QMXControl.h"
#include "SimulatorProcess.h"

namespace {

using vxbench::printRatio;
using vxbench::secondsPerIteration;
using vxbench::SummaryReporter;

// The simulated system: two positioners and a hand control module. Channel
// 0's module word, and its position query and answer.
constexpr uint8_t kPositionQuery[] = {0x00, 0x21, 0x90};
constexpr size_t kPositionAnswerSize = 7;
constexpr uint8_t kPositionAnswerOpcode = 0xA4;
constexpr size_t kHelloSize = 3;

// Requests in flight per round of the rate benchmarks; below the library's
// queue of 256 answers.
constexpr int kBatch = 200;
constexpr int kIdleSystems = 10;
constexpr auto kIdleTime = std::chrono::seconds(5);

vxbench::SimulatorProcess* simulator = nullptr;

// A plain TCP connection to the simulator that speaks the binary packets
// itself, once the greeting is read.
class RawClient : public vxbench::RawSocket {
public:
    RawClient() : RawSocket(simulator->port()) {
        uint8_t hello[kHelloSize];
        if (!receive(hello, sizeof hello)) throw std::runtime_error("no hello");
    }
};

// Opens a system for the length of one benchmark run.
class Session {
public:
    explicit Session(const char* options) {
        status_ = VX_OpenSystem(&index_, simulator->locator().c_str(), options);
    }
    ~Session() {
        if (status_ == 0) VX_CloseSystem(index_);
    }
    bool ok() const { return status_ == 0; }
    VX_STATUS status() const { return status_; }
    VX_SystemIndex index() const { return index_; }

private:
    VX_SystemIndex index_ = 0xFFFFFFFF;
    VX_STATUS status_ = 0;
};

// Where a batch's time goes: sending the requests, then collecting what of
// the answers has not come yet. Reported in microseconds per batch.
class BatchPhases {
public:
    void sendsStart() { start_ = Clock::now(); }
    void sendsDone() {
        const auto now = Clock::now();
        sending_ += now - start_;
        start_ = now;
    }
    void collected() { collecting_ += Clock::now() - start_; }
    void report(benchmark::State& state) const {
        using Micro = std::chrono::duration<double, std::micro>;
        state.counters["send_us"] =
            benchmark::Counter(Micro(sending_).count(), benchmark::Counter::kAvgIterations);
        state.counters["collect_us"] =
            benchmark::Counter(Micro(collecting_).count(), benchmark::Counter::kAvgIterations);
    }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_;
    Clock::duration sending_{};
    Clock::duration collecting_{};
};

void skipWith(benchmark::State& state, const std::string& what, VX_STATUS status) {
    state.SkipWithError((what + " gave status " + std::to_string(status)).c_str());
}

void GetPosition_Library(benchmark::State& state) {
    Session session(nullptr);
    if (!session.ok()) return skipWith(state, "VX_OpenSystem", session.status());
    int position = 0;
    for (auto _ : state) {
        const VX_STATUS status = VX_GetPosition_S(session.index(), 0, &position);
        if (status != 0) return skipWith(state, "VX_GetPosition_S", status);
    }
    benchmark::DoNotOptimize(position);
}

void GetPosition_RawClient(benchmark::State& state) {
    RawClient client;
    std::array<uint8_t, kPositionAnswerSize> answer{};
    for (auto _ : state) {
        if (!client.send(kPositionQuery, sizeof kPositionQuery) ||
            !client.receive(answer.data(), answer.size()) || answer[2] != kPositionAnswerOpcode) {
            state.SkipWithError("raw exchange failed");
            return;
        }
    }
}

void AsyncAnswers_Library(benchmark::State& state) {
    Session session("async");
    if (!session.ok()) return skipWith(state, "VX_OpenSystem", session.status());
    VX_packet packet{};
    BatchPhases phases;
    for (auto _ : state) {
        phases.sendsStart();
        for (int i = 0; i < kBatch; ++i) {
            const VX_STATUS status = VX_GetPosition_A(session.index(), 0);
            if (status != 0) return skipWith(state, "VX_GetPosition_A", status);
        }
        phases.sendsDone();
        for (int i = 0; i < kBatch; ++i) {
            const VX_STATUS status = VX_ReceiveNextPacket_A(session.index(), 2000, &packet);
            if (status != 0) return skipWith(state, "VX_ReceiveNextPacket_A", status);
            if (packet.packetType != VX_PACKET_POSITION) {
                state.SkipWithError("an answer did not come");
                return;
            }
        }
        phases.collected();
    }
    phases.report(state);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void AsyncAnswers_RawClient(benchmark::State& state) {
    RawClient client;
    std::vector<uint8_t> answers(kPositionAnswerSize * kBatch);
    BatchPhases phases;
    for (auto _ : state) {
        phases.sendsStart();
        // One write per request, as the library sends them.
        for (int i = 0; i < kBatch; ++i) {
            if (!client.send(kPositionQuery, sizeof kPositionQuery)) {
                state.SkipWithError("raw send failed");
                return;
            }
        }
        phases.sendsDone();
        if (!client.receive(answers.data(), answers.size())) {
            state.SkipWithError("raw receive failed");
            return;
        }
        phases.collected();
    }
    phases.report(state);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// The raw client again, but read by a thread of its own while the requests
// go out, as the library's receive thread reads: what that design costs by
// itself, with nothing of the library's in it.
void AsyncAnswers_RawClientWithReader(benchmark::State& state) {
    RawClient client;
    std::atomic<size_t> received{0};
    std::thread reader([&] {
        uint8_t buffer[1024];
        for (;;) {
            const ssize_t n = client.receiveSome(buffer, sizeof buffer);
            if (n <= 0) return;
            received.fetch_add(static_cast<size_t>(n), std::memory_order_release);
        }
    });
    size_t expected = 0;
    BatchPhases phases;
    for (auto _ : state) {
        phases.sendsStart();
        for (int i = 0; i < kBatch; ++i) {
            if (!client.send(kPositionQuery, sizeof kPositionQuery)) {
                state.SkipWithError("raw send failed");
                break;
            }
        }
        phases.sendsDone();
        expected += kPositionAnswerSize * kBatch;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (received.load(std::memory_order_acquire) < expected) {
            if (std::chrono::steady_clock::now() > deadline) {
                state.SkipWithError("the answers did not come");
                break;
            }
        }
        if (state.error_occurred()) break;
        phases.collected();
    }
    phases.report(state);
    client.shutdown();
    reader.join();
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// The measurement window of the idle benchmarks: nothing is waited for.
void idleFor(std::chrono::steady_clock::duration length) {
    std::this_thread::sleep_until(std::chrono::steady_clock::now() + length);
}

void IdleCpu_Library(benchmark::State& state) {
    std::vector<std::unique_ptr<Session>> sessions;
    for (int i = 0; i < kIdleSystems; ++i) {
        sessions.push_back(std::make_unique<Session>(nullptr));
        if (!sessions.back()->ok())
            return skipWith(state, "VX_OpenSystem", sessions.back()->status());
    }
    for (auto _ : state) {
        const double before = vxbench::processCpuSeconds();
        idleFor(kIdleTime);
        const double used = vxbench::processCpuSeconds() - before;
        state.SetIterationTime(std::chrono::duration<double>(kIdleTime).count());
        state.counters["cpu_ms"] = used * 1000.0;
    }
}

void IdleCpu_RawClient(benchmark::State& state) {
    std::vector<std::unique_ptr<RawClient>> clients;
    std::vector<std::thread> readers;
    for (int i = 0; i < kIdleSystems; ++i) clients.push_back(std::make_unique<RawClient>());
    for (auto& client : clients) {
        RawClient* raw = client.get();
        readers.emplace_back([raw] {
            uint8_t byte = 0;
            while (raw->receive(&byte, 1)) {
            }
        });
    }
    for (auto _ : state) {
        const double before = vxbench::processCpuSeconds();
        idleFor(kIdleTime);
        const double used = vxbench::processCpuSeconds() - before;
        state.SetIterationTime(std::chrono::duration<double>(kIdleTime).count());
        state.counters["cpu_ms"] = used * 1000.0;
    }
    for (auto& client : clients) client->shutdown();
    for (auto& reader : readers) reader.join();
}

BENCHMARK(GetPosition_Library)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(GetPosition_RawClient)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(AsyncAnswers_Library)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AsyncAnswers_RawClient)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AsyncAnswers_RawClientWithReader)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(IdleCpu_Library)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(IdleCpu_RawClient)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void printSummary(const SummaryReporter& reporter) {
    std::printf("\nSummary: medians (simulator in a child process, TCP loopback)\n");
    const auto* libRoundTrip = reporter.find("GetPosition_Library");
    const auto* rawRoundTrip = reporter.find("GetPosition_RawClient");
    if (libRoundTrip && rawRoundTrip)
        printRatio("VX_GetPosition_S round trip", secondsPerIteration(*libRoundTrip) * 1e6,
                   secondsPerIteration(*rawRoundTrip) * 1e6, "us");
    const auto* libRate = reporter.find("AsyncAnswers_Library");
    const auto* rawRate = reporter.find("AsyncAnswers_RawClient");
    if (libRate && rawRate)
        printRatio("asynchronous answers collected", kBatch / secondsPerIteration(*libRate),
                   kBatch / secondsPerIteration(*rawRate), "answers/s");
    const auto* readerRate = reporter.find("AsyncAnswers_RawClientWithReader");
    if (libRate && readerRate)
        printRatio("  against a raw client with a reader", kBatch / secondsPerIteration(*libRate),
                   kBatch / secondsPerIteration(*readerRate), "answers/s");
    const auto* libIdle = reporter.find("IdleCpu_Library");
    const auto* rawIdle = reporter.find("IdleCpu_RawClient");
    if (libIdle && rawIdle) {
        const double lib = libIdle->counters.at("cpu_ms").value;
        const double raw = rawIdle->counters.at("cpu_ms").value;
        printRatio("CPU of ten idle systems over 5 s", lib, raw, "ms");
        std::printf("%-34s library %10.3f %% of one core\n", "",
                    lib / 1000.0 / std::chrono::duration<double>(kIdleTime).count() * 100.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return vxbench::runBenchmarks(argc, argv, "qmx_bench", {"--channels", "2", "--hcm"}, simulator, printSummary);
}
