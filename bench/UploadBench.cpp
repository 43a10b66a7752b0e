// upload_bench: how close the firmware uploader's updateAll comes to the
// time its link needs, for one module, over the simulator's paced
// pseudo-terminal (115200 baud) and paced FTDI driver double (the rate the
// I/O library sets, 500000 baud), with TCP, unpaced, for reference.
//
//   upload_bench
//
// For frames with length fields of 1024, 16384 and 32768 bytes it prints
// the firmware frame bytes per second, their ratio to the line's byte rate
// (baud / 10), and the elapsed time over the link-bound time: the wire time
// of every byte updateAll sent and received at the line rate, plus the
// 100 ms the bootloader protocol waits after each frame's last
// acknowledgement. Goal: at most 1.05 on both paced carriers.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FtdiDouble.h"
#include "UpdateSystem.h"
#include "sim/BootSimulator.h"
#include "sim/LinePace.h"
#include "sim/UpdateFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

constexpr milliseconds kAfterFrame{100};
// Bytes of firmware per run: enough frames for the waits to show.
constexpr size_t kImageBytes = 48 * 1024;
constexpr size_t kFrameLengths[] = {1024, 16384, 32768};
// The length field, the kind byte and sequence number, the CRC.
constexpr size_t kFrameOverhead = vxsim::bootimage::kLengthBytes + vxsim::bootimage::kFrameHead +
                                  vxsim::bootimage::kCrcBytes;

enum class Carrier { Pty, Usb, Tcp };
struct Way {
    const char* name;
    Carrier carrier;
};
constexpr Way kWays[] = {{"pty, paced", Carrier::Pty}, {"usb double, paced", Carrier::Usb}, {"tcp", Carrier::Tcp}};

struct Result {
    bool ok = false;
    std::string error;
    double elapsed = 0;    // seconds
    double linkBound = 0;  // seconds; 0 for an unpaced carrier
    uint32_t baud = 0;
    uint64_t frameBytes = 0;
    size_t frames = 0;
};

Result runOnce(const Way& way, size_t frameLength, const std::string& folder) {
    Result result;
    const std::vector<vxsim::BootModule> modules = {{0x2001, 3, true, 0x09, 3, 17}};
    const uint16_t dataFrames = static_cast<uint16_t>(std::max<size_t>(1, kImageBytes / frameLength));
    std::vector<vxsim::UpdateFile> files =
        vxsim::newerFirmware(modules, dataFrames, frameLength - vxsim::bootimage::kLengthBytes -
                                                      vxsim::bootimage::kFrameHead - vxsim::bootimage::kCrcBytes);
    const std::string problem = vxsim::writeUpdateFolder(folder, files);
    if (!problem.empty()) {
        result.error = problem;
        return result;
    }
    for (const vxsim::Bytes& frame : vxsim::bootImageFrames(files.front().recipe)) {
        result.frameBytes += frame.size();
        ++result.frames;
    }

    vxsim::BootSimulator sim(vxsim::SystemSetup::standard(1, false), modules,
                             vxsim::BootloaderSystem::State::Bootloader);
    std::string locator;
    switch (way.carrier) {
    case Carrier::Pty:
        locator = sim.servePty();
        sim.pty().setPaced(true);
        break;
    case Carrier::Usb:
        try {
            locator = sim.attachUsb({"VX009999", "Veltrax QMX-I", 9999});
        } catch (const std::exception& e) {
            result.error = e.what();
            return result;
        }
        sim.usb().setPaced(true);
        break;
    case Carrier::Tcp:
        locator = sim.serveTcp();
        break;
    }
    vxfw::UpdateSystem update;
    update.setLocator(locator);
    std::string error = update.connect();
    if (error.empty()) error = update.loadUpdateConfiguration(folder + "/update.xml");
    if (!error.empty()) {
        result.error = error;
        return result;
    }
    const auto counts = [&](uint64_t* from, uint64_t* to) {
        if (way.carrier == Carrier::Pty) {
            *from = sim.pty().bytesFromHost();
            *to = sim.pty().bytesToHost();
        } else if (way.carrier == Carrier::Usb) {
            *from = sim.usb().bytesFromHost();
            *to = sim.usb().bytesToHost();
        }
    };
    if (way.carrier == Carrier::Pty) sim.pty().clearByteCounts();
    if (way.carrier == Carrier::Usb) sim.usb().clearByteCounts();
    const auto start = Clock::now();
    error = update.updateAll();
    result.elapsed = duration<double>(Clock::now() - start).count();
    if (!error.empty()) {
        result.error = error;
        return result;
    }
    uint64_t from = 0, to = 0;
    counts(&from, &to);
    if (way.carrier == Carrier::Pty) result.baud = vxsim::baudOf(sim.pty().hostTermios());
    if (way.carrier == Carrier::Usb) {
        VxFtdiLineState line{};
        if (sim.usb().api().lineState(sim.usb().adapter(), &line) == 0) result.baud = line.baudRate;
    }
    if (result.baud != 0)
        result.linkBound = duration<double>(vxsim::LinePace::wireTime(from + to, result.baud)).count() +
                           duration<double>(kAfterFrame).count() * static_cast<double>(result.frames);
    result.ok = true;
    return result;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/upload-benchXXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string folder = pattern;
    bool allMet = true;
    std::printf("%-18s %6s %7s %6s %9s %12s %9s %11s %8s\n", "carrier", "frame", "baud", "frames",
                "elapsed", "frame B/s", "of line", "link-bound", "ratio");
    for (const Way& way : kWays) {
        for (const size_t length : kFrameLengths) {
            const Result r = runOnce(way, length, folder);
            if (!r.ok) {
                std::printf("%-18s %6zu failed: %s\n", way.name, length, r.error.c_str());
                allMet = false;
                continue;
            }
            const double rate = static_cast<double>(r.frameBytes) / r.elapsed;
            if (r.baud == 0) {
                std::printf("%-18s %6zu %7s %6zu %8.3fs %12.0f %9s %11s %8s\n", way.name, length, "-", r.frames,
                            r.elapsed, rate, "-", "-", "-");
                continue;
            }
            const double lineRate = r.baud / 10.0;
            const double ratio = r.elapsed / r.linkBound;
            allMet = allMet && ratio <= 1.05;
            std::printf("%-18s %6zu %7u %6zu %8.3fs %12.0f %8.1f%% %10.3fs %8.3f\n", way.name, length, r.baud,
                        r.frames, r.elapsed, rate, 100.0 * rate / lineRate, r.linkBound, ratio);
            std::printf("%-18s %6s link-bound rate %.1f%% of the line%s\n", "", "",
                        100.0 * static_cast<double>(r.frameBytes) / r.linkBound / lineRate,
                        r.linkBound > 0 && duration<double>(kAfterFrame).count() * static_cast<double>(r.frames) >
                                               r.linkBound / 2
                            ? ": bound by the 100 ms after each frame, not by the uploader"
                            : "");
        }
    }
    std::filesystem::remove_all(folder);
    std::printf("goal (elapsed at most 1.05 x link-bound on the paced carriers): %s\n", allMet ? "met" : "missed");
    return 0;
}
