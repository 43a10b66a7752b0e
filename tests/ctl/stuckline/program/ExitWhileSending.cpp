// Opens a second-generation controller through the library, keeps one
// thread sending to it, and leaves the process by exit() with the device
// still open when its standard input says "exit".
//
// Prints "open" once the device is open, then "stuck" once a send has
// been under way for 200 ms, so that the caller knows the line took
// nothing more.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "VeltraxCTL.h"
#include "support/Wait.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// When the send under way began; 0 while none is.
std::atomic<Clock::rep> sendingSince{0};

void keepSending(VX_CTL_DeviceHandle device) {
    for (;;) {
        sendingSince = Clock::now().time_since_epoch().count();
        VX_CTL_Stop(device, 0, 0);
        sendingSince = 0;
    }
}

bool sendStuck() {
    const Clock::rep since = sendingSince.load();
    return since != 0 && Clock::now() - Clock::time_point(Clock::duration(since)) > 200ms;
}

}  // namespace

// The thread sanitizer otherwise waits a second before the process ends,
// which the caller would count against the exit.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options() { return "atexit_sleep_ms=0"; }

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    VX_CTL_DeviceHandle device = 0;
    if (VX_CTL_Open(&device, argv[1], argv[2]) != VX_CTL_OK) return 3;
    std::cout << "open" << std::endl;
    // Still sending when the process ends.
    std::thread(keepSending, device).detach();
    if (!vxtest::waitUntil(sendStuck, 10000ms)) return 4;
    std::cout << "stuck" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    std::exit(0);
}
