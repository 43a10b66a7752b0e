// vxsim-proxy: a misbehaving line in front of a simulator's endpoint.
//
//   vxsim-proxy --upstream LOCATOR [--serial [--paced] [--baud N]] [--port N]
//               [--schedule SEED] [--log FILE]
//
// LOCATOR is what the simulator printed: "network:127.0.0.1:PORT", or with
// --serial also "serial:/dev/pts/N". It prints the locator the client
// opens ("network:127.0.0.1:PORT2", or with --serial "serial:/dev/pts/M",
// a pseudo-terminal relayed to the simulator that outlives the client's
// closes; --paced carries its bytes at the rate the client set, --baud is
// the rate of a serial upstream). Each line on stdin sets a fault: "pass",
// "throttle UP DOWN" (bytes a second each way), "stall", "hold",
// "delay MS", "half-close RATE", "drop AFTER [reset]", "hold-output";
// "counters" prints what passed. --schedule SEED runs a seeded random
// schedule of faults instead. --log FILE appends what passes and each
// fault. Runs until SIGINT or SIGTERM, or until stdin ends.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "platform/UniqueFd.h"
#include "sim/LineProxy.h"
#include "sim/StopSignals.h"

namespace {

struct Arguments {
    vxsim::LineProxy::Options proxy;
    bool scheduled = false;
    uint64_t seed = 0;
    std::string log;
};

void usage() {
    std::fprintf(stderr,
                 "usage: vxsim-proxy --upstream LOCATOR [--serial [--paced] [--baud N]] [--port N] "
                 "[--schedule SEED] [--log FILE]\n");
}

bool number(const char* text, unsigned long long max, unsigned long long* value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed > max) return false;
    *value = parsed;
    return true;
}

bool parse(int argc, char** argv, Arguments* args) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        unsigned long long value = 0;
        const bool hasValue = i + 1 < argc;
        if (option == "--serial") {
            args->proxy.serial = true;
        } else if (option == "--paced") {
            args->proxy.paced = true;
        } else if (hasValue && option == "--upstream") {
            args->proxy.upstream = argv[++i];
        } else if (hasValue && option == "--log") {
            args->log = argv[++i];
        } else if (hasValue && option == "--port" && number(argv[i + 1], 65535, &value)) {
            args->proxy.port = static_cast<uint16_t>(value);
            ++i;
        } else if (hasValue && option == "--baud" && number(argv[i + 1], 4000000, &value) && value != 0) {
            args->proxy.upstreamBaud = static_cast<uint32_t>(value);
            ++i;
        } else if (hasValue && option == "--schedule" && number(argv[i + 1], UINT64_MAX, &value)) {
            args->scheduled = true;
            args->seed = value;
            ++i;
        } else {
            return false;
        }
    }
    return !args->proxy.upstream.empty() && (args->proxy.serial || !args->proxy.paced);
}

void printCounters(const vxsim::LineProxy& proxy) {
    const vxsim::LineProxyCounters c = proxy.counters();
    std::printf("to-upstream %" PRIu64 " to-client %" PRIu64 " lost %" PRIu64 " connections %" PRIu64
                " drops %" PRIu64 " faults %" PRIu64 "\n",
                c.toUpstream, c.toClient, c.lost, c.connections, c.drops, c.faults);
    std::fflush(stdout);
}

// Takes faults from stdin until it ends or a signal comes.
void serve(vxsim::LineProxy& proxy, int signalFd, bool readCommands) {
    std::string line;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, readCommands ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents & POLLIN) return;
        if (!readCommands || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) continue;
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
        if (n < 0) continue;
        line.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = line.find('\n')) != std::string::npos; line.erase(0, end + 1)) {
            const std::string command = line.substr(0, end);
            vxsim::LineFault fault;
            if (command == "counters")
                printCounters(proxy);
            else if (vxsim::parseLineFault(command, &fault))
                proxy.setFault(fault);
            else if (!command.empty())
                std::fprintf(stderr, "vxsim-proxy: not a fault: %s\n", command.c_str());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!parse(argc, argv, &args)) {
        usage();
        return 2;
    }
    vxplatform::UniqueFd signalFd = vxsim::stopSignalFd();
    if (!signalFd.valid()) {
        std::perror("signalfd");
        return 1;
    }
    try {
        vxsim::LineProxy proxy(args.proxy);
        if (!args.log.empty() && !proxy.writeLogTo(args.log)) {
            std::fprintf(stderr, "vxsim-proxy: cannot write %s\n", args.log.c_str());
            return 1;
        }
        std::printf("%s\n", proxy.locator().c_str());
        std::fflush(stdout);
        std::unique_ptr<vxsim::LineFaultSchedule> schedule;
        if (args.scheduled) {
            vxsim::LineFaultSchedule::Options options;
            options.seed = args.seed;
            schedule = std::make_unique<vxsim::LineFaultSchedule>(proxy, options);
        }
        // A background job's /dev/null is at its end from the start: only a
        // pipe, socket or terminal brings faults, and its end ends the proxy.
        struct stat info {};
        const bool commands = ::fstat(STDIN_FILENO, &info) == 0 &&
                              (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || ::isatty(STDIN_FILENO));
        serve(proxy, signalFd.get(), commands);
        if (schedule) schedule->stop();
        printCounters(proxy);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vxsim-proxy: %s\n", e.what());
        return 1;
    }
    return 0;
}
