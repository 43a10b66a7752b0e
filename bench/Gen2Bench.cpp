// qmx_gen2_bench: what the second-generation library costs compared with a
// plain TCP client that sends the same frames to the same simulated
// controller.
//
//   qmx_gen2_bench [benchmark options]
//
// Starts `vxsim --gen2` (found beside this program) as a child process.
// Measures, each figure the median of its repetitions:
//   - the round trip of VX_CTL_GetProperty_i64 against the raw client
//     sending the same read frame and waiting for its reply;
//   - the rate of asynchronous reads collected (VX_CTL_RequestReadProperty,
//     then VX_CTL_ReadProperty_i64, in batches) against the raw client
//     pipelining the same frames;
//   - for information, VX_GetPosition_S of QMXControl on the same system,
//     and the CPU time of ten open, idle devices over five seconds.
// After the benchmark table it prints each figure with its ratio to the raw
// client.

#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
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
#include "VeltraxCTL.h"
#include "sim/Gen2Frame.h"

namespace {

using vxbench::printRatio;
using vxbench::secondsPerIteration;
using vxbench::SummaryReporter;

namespace gen2 = vxsim::gen2;

// Channel 0's position, a 64-bit property.
constexpr int8_t kChannel = 0;
constexpr VX_CTL_PropertyKey kPositionKey = 0x0305001D;

// Reads in flight per round of the rate benchmarks; the library numbers
// them with 8-bit request IDs and keeps some back.
constexpr int kBatch = 200;
constexpr int kIdleDevices = 10;
constexpr auto kIdleTime = std::chrono::seconds(5);
constexpr int kRepetitions = 5;

vxbench::SimulatorProcess* simulator = nullptr;

// A read of the position with request ID `id`, as the library frames it.
vxsim::Bytes readFrame(uint8_t id) {
    return gen2::encodeFrame(gen2::kCommandStart, gen2::command::kReadProperty,
                             gen2::Fields().u8(id).u8(0).u8(kChannel).u32(kPositionKey).bytes());
}

// A plain TCP connection to the simulated controller that frames its
// requests itself: the version check and handshake first, as the library's.
class RawClient {
public:
    RawClient() : socket_(simulator->port()) {
        if (!exchange(gen2::encodeFrame(gen2::kCommandStart, gen2::command::kVersionRequest, {}),
                      gen2::kCommandStart, gen2::command::kVersionReply))
            throw std::runtime_error("no version reply");
        const vxsim::Bytes handshake = gen2::encodeFrame(
            gen2::kSystemStart, gen2::sysframe::kHandshake,
            gen2::Fields().u32(gen2::kHandshakeMagic).u16(1).u16(1).u32(1).bytes());
        if (!exchange(handshake, gen2::kSystemStart, gen2::sysframe::kHandshakeReply))
            throw std::runtime_error("no handshake reply");
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool send(const uint8_t* data, size_t length) { return socket_.send(data, length); }
    bool send(const vxsim::Bytes& frame) { return send(frame.data(), frame.size()); }

    // Waits for the next frame of `type`, skipping any other.
    bool receive(uint8_t start, uint8_t type) {
        for (;;) {
            uint8_t header[4];  // start, 16-bit length, type
            if (!fill(header, sizeof header)) return false;
            const size_t length = static_cast<size_t>(header[1]) | static_cast<size_t>(header[2]) << 8;
            if (length < 1) return false;
            rest_.resize(length - 1);
            if (!fill(rest_.data(), rest_.size())) return false;
            if (header[0] == start && header[3] == type) return true;
        }
    }

    bool exchange(const vxsim::Bytes& frame, uint8_t start, uint8_t type) {
        return send(frame) && receive(start, type);
    }

private:
    // Fills `data` from a receive buffer, so that pipelined replies cost
    // few system calls, as the library's reader.
    bool fill(uint8_t* data, size_t length) {
        while (length > 0) {
            if (begin_ == end_) {
                const ssize_t n = socket_.receiveSome(buffer_, sizeof buffer_);
                if (n <= 0) return false;
                begin_ = 0;
                end_ = static_cast<size_t>(n);
            }
            const size_t take = std::min(length, end_ - begin_);
            std::copy(buffer_ + begin_, buffer_ + begin_ + take, data);
            begin_ += take;
            data += take;
            length -= take;
        }
        return true;
    }

    vxbench::RawSocket socket_;
    uint8_t buffer_[65536];
    size_t begin_ = 0;
    size_t end_ = 0;
    vxsim::Bytes rest_;
};

// A device of the second-generation library for one benchmark run.
class Device {
public:
    Device() { result_ = VX_CTL_Open(&handle_, simulator->locator().c_str(), nullptr); }
    ~Device() {
        if (result_ == VX_CTL_OK) VX_CTL_Close(handle_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    bool ok() const { return result_ == VX_CTL_OK; }
    VX_CTL_Result result() const { return result_; }
    VX_CTL_DeviceHandle handle() const { return handle_; }

private:
    VX_CTL_DeviceHandle handle_ = 0;
    VX_CTL_Result result_ = VX_CTL_OK;
};

void skipWith(benchmark::State& state, const std::string& what, unsigned status) {
    state.SkipWithError((what + " gave " + std::to_string(status)).c_str());
}

void GetProperty_Library(benchmark::State& state) {
    Device device;
    if (!device.ok()) return skipWith(state, "VX_CTL_Open", device.result());
    int64_t position = 0;
    for (auto _ : state) {
        const VX_CTL_Result result =
            VX_CTL_GetProperty_i64(device.handle(), kChannel, kPositionKey, &position, nullptr);
        if (result != VX_CTL_OK) return skipWith(state, "VX_CTL_GetProperty_i64", result);
    }
    benchmark::DoNotOptimize(position);
}

void GetProperty_RawClient(benchmark::State& state) {
    RawClient client;
    const vxsim::Bytes frame = readFrame(1);
    for (auto _ : state) {
        if (!client.exchange(frame, gen2::kCommandStart, gen2::command::kPropertyValue)) {
            state.SkipWithError("raw exchange failed");
            return;
        }
    }
}

void AsyncReads_Library(benchmark::State& state) {
    Device device;
    if (!device.ok()) return skipWith(state, "VX_CTL_Open", device.result());
    std::vector<VX_CTL_RequestID> ids(kBatch);
    int64_t position = 0;
    for (auto _ : state) {
        for (VX_CTL_RequestID& id : ids) {
            const VX_CTL_Result result =
                VX_CTL_RequestReadProperty(device.handle(), kChannel, kPositionKey, &id, 0);
            if (result != VX_CTL_OK) return skipWith(state, "VX_CTL_RequestReadProperty", result);
        }
        for (VX_CTL_RequestID id : ids) {
            const VX_CTL_Result result = VX_CTL_ReadProperty_i64(device.handle(), id, &position, nullptr);
            if (result != VX_CTL_OK) return skipWith(state, "VX_CTL_ReadProperty_i64", result);
        }
    }
    benchmark::DoNotOptimize(position);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void AsyncReads_RawClient(benchmark::State& state) {
    RawClient client;
    std::vector<vxsim::Bytes> frames;
    for (int i = 0; i < kBatch; ++i) frames.push_back(readFrame(static_cast<uint8_t>(i + 1)));
    for (auto _ : state) {
        // One write per request, as the library sends them.
        for (const vxsim::Bytes& frame : frames) {
            if (!client.send(frame)) {
                state.SkipWithError("raw send failed");
                return;
            }
        }
        for (int i = 0; i < kBatch; ++i) {
            if (!client.receive(gen2::kCommandStart, gen2::command::kPropertyValue)) {
                state.SkipWithError("raw receive failed");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// Through QMXControl, which loads the library at run time. A "network:"
// locator is first tried as a first-generation system, so the open takes
// a little over two seconds, once.
void GetPosition_QMXControl(benchmark::State& state) {
    VX_SystemIndex system = 0;
    const VX_STATUS opened = VX_OpenSystem(&system, simulator->locator().c_str(), nullptr);
    if (opened != 0) return skipWith(state, "VX_OpenSystem", opened);
    int position = 0;
    for (auto _ : state) {
        const VX_STATUS status = VX_GetPosition_S(system, 0, &position);
        if (status != 0) {
            VX_CloseSystem(system);
            return skipWith(state, "VX_GetPosition_S", status);
        }
    }
    VX_CloseSystem(system);
    benchmark::DoNotOptimize(position);
}

// The measurement window: nothing is waited for, the devices idle.
void IdleCpu_Library(benchmark::State& state) {
    std::vector<std::unique_ptr<Device>> devices;
    for (int i = 0; i < kIdleDevices; ++i) {
        devices.push_back(std::make_unique<Device>());
        if (!devices.back()->ok()) return skipWith(state, "VX_CTL_Open", devices.back()->result());
    }
    for (auto _ : state) {
        const double before = vxbench::processCpuSeconds();
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + kIdleTime);
        state.SetIterationTime(std::chrono::duration<double>(kIdleTime).count());
        state.counters["cpu_ms"] = (vxbench::processCpuSeconds() - before) * 1000.0;
    }
}

BENCHMARK(GetProperty_Library)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(kRepetitions);
BENCHMARK(GetProperty_RawClient)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(kRepetitions);
BENCHMARK(AsyncReads_Library)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(kRepetitions);
BENCHMARK(AsyncReads_RawClient)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(kRepetitions);
BENCHMARK(GetPosition_QMXControl)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(kRepetitions);
BENCHMARK(IdleCpu_Library)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void printSummary(const SummaryReporter& reporter) {
    std::printf("\nSummary (medians of %d repetitions; simulator in a child process, TCP loopback)\n",
                kRepetitions);
    const auto* libRoundTrip = reporter.find("GetProperty_Library");
    const auto* rawRoundTrip = reporter.find("GetProperty_RawClient");
    if (libRoundTrip && rawRoundTrip)
        printRatio("VX_CTL_GetProperty_i64 round trip", secondsPerIteration(*libRoundTrip) * 1e6,
                   secondsPerIteration(*rawRoundTrip) * 1e6, "us");
    const auto* libRate = reporter.find("AsyncReads_Library");
    const auto* rawRate = reporter.find("AsyncReads_RawClient");
    if (libRate && rawRate)
        printRatio("asynchronous reads collected", kBatch / secondsPerIteration(*libRate),
                   kBatch / secondsPerIteration(*rawRate), "reads/s");
    if (const auto* position = reporter.find("GetPosition_QMXControl"))
        std::printf("%-34s %10.2f us\n", "VX_GetPosition_S (QMXControl)", secondsPerIteration(*position) * 1e6);
    if (const auto* idle = reporter.find("IdleCpu_Library")) {
        const double ms = idle->counters.at("cpu_ms").value;
        std::printf("%-34s %10.2f ms, %.3f %% of one core\n", "CPU of ten idle devices over 5 s", ms,
                    ms / 1000.0 / std::chrono::duration<double>(kIdleTime).count() * 100.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return vxbench::runBenchmarks(argc, argv, "qmx_gen2_bench", {"--gen2", "--channels", "3"}, simulator, printSummary);
}
