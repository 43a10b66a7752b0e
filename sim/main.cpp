// vxsim: serves a simulated first-generation controller system on loopback.
//
//   vxsim [--channels N] [--end-effectors N] [--port N] [--hcm] [--hcm-type T] [--bootloader]
//         [--text] [--pty [--com N] | --usb] [--paced] [--firmware-out DIR]
//   vxsim --gen2 [--channels N] [--port N]
//   either with [--frame-log FILE]
//
// With --text it speaks the textual command protocol instead of binary
// packets (and sends no greeting), on TCP and on a pseudo-terminal whose
// device path it prints on a second line. With --pty it serves only a
// pseudo-terminal and prints its "serial:" locator; --com N also makes the
// terminal's COM<N> lead there while the simulator runs (an existing COM<N>
// is left alone and the simulator does not start); --paced makes its line
// carry bytes at the rate the host set, ten bit times a byte each way.
// With --gen2 it is a second-generation controller instead, on TCP.
// --frame-log FILE appends a line for every frame the controller took or
// dropped (binary packets and second-generation frames).
// With --bootloader the system also has its modules' bootloader, which a
// firmware uploader can enter and send firmware files to, over TCP, or with
// --pty on a pseudo-terminal (the textual application), or with --usb behind
// a USB adapter of the FTDI driver double: it then prints the adapter's
// "usb:sn:" locator and, on a second line, the VXFTDI_DEVICES setting that
// makes the host's driver double bridge that adapter to the simulator's TCP
// port (--port N); --paced there makes the bridge pace at the adapter's
// rate. --firmware-out DIR (with --bootloader) also writes there an update
// configuration, update.xml, and newer firmware files for its modules, and
// prints its path on a last line.
// Prints the system's locator on stdout and runs until SIGINT or SIGTERM, or
// until a pipe or terminal on stdin closes (so a parent that goes away takes
// the simulator along).
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"
#include "sim/BootSimulator.h"
#include "sim/Gen1Simulator.h"
#include "sim/Gen2Simulator.h"
#include "sim/Gen2Layout.h"
#include "sim/PublishedComPort.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"
#include "sim/TextEndpoint.h"
#include "sim/StopSignals.h"
#include "sim/UpdateFolder.h"

namespace {

struct Arguments {
    size_t channels = 3;
    size_t endEffectors = 0;
    uint16_t port = 0;
    bool handControl = false;
    uint16_t hcmType = 0;  // 0: the setup's own
    bool bootloader = false;
    bool text = false;
    bool pty = false;
    bool usb = false;
    unsigned com = 0;  // 0: not published
    bool gen2 = false;
    bool paced = false;
    std::string firmwareOut;  // empty: no update configuration written
    std::string frameLog;     // empty: frames are not written down
};

void usage() {
    std::fprintf(stderr,
                 "usage: vxsim [--channels N] [--end-effectors N] [--port N] [--hcm] "
                 "[--hcm-type T] [--bootloader] [--text] [--pty [--com N] | --usb] [--paced] "
                 "[--firmware-out DIR] [--frame-log FILE]\n"
                 "       vxsim --gen2 [--channels N] [--port N] [--frame-log FILE]\n");
}

bool number(const char* text, unsigned long max, unsigned long* value, int base = 10) {
    char* end = nullptr;
    errno = 0;
    unsigned long parsed = std::strtoul(text, &end, base);
    if (errno != 0 || end == text || *end != '\0' || parsed > max) return false;
    *value = parsed;
    return true;
}

bool parse(int argc, char** argv, Arguments* args) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        unsigned long value = 0;
        if (option == "--hcm") {
            args->handControl = true;
        } else if (option == "--bootloader") {
            args->bootloader = true;
        } else if (option == "--text") {
            args->text = true;
        } else if (option == "--pty") {
            args->pty = true;
        } else if (option == "--usb") {
            args->usb = true;
        } else if (option == "--gen2") {
            args->gen2 = true;
        } else if (option == "--paced") {
            args->paced = true;
        } else if (i + 1 < argc && option == "--frame-log" && *argv[i + 1] != '\0') {
            args->frameLog = argv[++i];
        } else if (i + 1 < argc && option == "--firmware-out" && *argv[i + 1] != '\0') {
            args->firmwareOut = argv[++i];
        } else if (i + 1 < argc && option == "--com" && number(argv[i + 1], 255, &value) &&
                   value != 0) {
            args->com = static_cast<unsigned>(value);
            ++i;
        } else if (i + 1 < argc && option == "--hcm-type" && number(argv[i + 1], 0xFFFF, &value, 0) &&
                   value != 0) {
            // A module whose EEPROM holds a known configuration (0x3D01, 0xFD01).
            args->handControl = true;
            args->hcmType = static_cast<uint16_t>(value);
            ++i;
        } else if (i + 1 < argc && option == "--channels" && number(argv[i + 1], 63, &value)) {
            args->channels = value;
            ++i;
        } else if (i + 1 < argc && option == "--end-effectors" && number(argv[i + 1], 63, &value)) {
            args->endEffectors = value;
            ++i;
        } else if (i + 1 < argc && option == "--port" && number(argv[i + 1], 65535, &value)) {
            args->port = static_cast<uint16_t>(value);
            ++i;
        } else {
            return false;
        }
    }
    // The textual personality has no bootloader (the bootloader's system
    // speaks it on its pseudo-terminal), a COM name needs a pseudo-terminal,
    // the USB adapter and firmware files are for a bootloader, and pacing for
    // a line. The second generation has none of the first's personalities.
    if (args->gen2)
        return !args->handControl && args->endEffectors == 0 && !args->bootloader && !args->text &&
               !args->pty && !args->usb && !args->paced && args->firmwareOut.empty();
    // Frames are logged by the binary packet codecs.
    if (!args->frameLog.empty() && (args->bootloader || args->text)) return false;
    return args->endEffectors <= args->channels && !(args->bootloader && args->text) &&
           (args->com == 0 || args->pty) && !(args->pty && args->usb) &&
           (!args->usb || args->bootloader) && (!args->paced || args->pty || args->usb) &&
           (args->firmwareOut.empty() || args->bootloader);
}

// Only a pipe, socket or terminal on stdin ties the simulator's life to its
// parent; a background job's /dev/null is at its end from the start.
bool watchStdin() {
    struct stat info {};
    if (::fstat(STDIN_FILENO, &info) != 0) return false;
    return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || ::isatty(STDIN_FILENO);
}

// One module of `channels` linear positioners, all at 0.
void defineGen2System(vxsim::Gen2Model& model, size_t channels) {
    vxsim::Gen2Layout layout;
    layout.interfaceVersion = {1, {0, 1, 0, 0}};
    vxsim::Gen2Module module;
    module.channels.assign(channels, vxsim::Gen2ChannelSettings{});
    module.version1 = {2, {0, 1, 0, 0}};
    module.version2 = {3, {0, 1, 0, 0}};
    module.catalogue = {{300, "SL-0601", 2, 1}};
    layout.modules = {module};
    vxsim::defineLayout(model, layout);
}

// Writes every frame `endpoint` takes to `path` and keeps none in memory;
// throws std::runtime_error when the file cannot be opened.
template <typename Endpoint>
void logFrames(Endpoint& endpoint, const std::string& path) {
    if (path.empty()) return;
    if (!endpoint.frameLog().writeTo(path)) throw std::runtime_error("cannot write " + path);
    endpoint.frameLog().setKeeping(false);
}

// Waits for SIGINT, SIGTERM or the end of stdin.
void waitForEnd(int signalFd) {
    const nfds_t count = watchStdin() ? 2 : 1;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents & POLLIN) return;
        if (count > 1 && fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
            char buffer[256];
            ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
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

    // Blocked before any thread starts, so only the signal fd sees them.
    vxplatform::UniqueFd signalFd = vxsim::stopSignalFd();
    if (!signalFd.valid()) {
        std::perror("signalfd");
        return 1;
    }

    try {
        if (args.gen2) {
            vxsim::Gen2Simulator simulator;
            defineGen2System(simulator.model(), args.channels);
            logFrames(simulator.endpoint(), args.frameLog);
            simulator.serveTcp("127.0.0.1", args.port);
            std::printf("%s\n", simulator.tcpLocator().c_str());
            std::fflush(stdout);
            waitForEnd(signalFd.get());
            return 0;
        }
        vxsim::SystemSetup setup =
            vxsim::SystemSetup::standard(args.channels, args.handControl, args.endEffectors);
        if (args.hcmType != 0) setup.hcmEepromType = args.hcmType;
        if (args.bootloader) {
            const std::vector<vxsim::BootModule> modules = vxsim::BootSimulator::modulesOf(setup);
            if (!args.firmwareOut.empty()) {
                const std::string problem =
                    vxsim::writeUpdateFolder(args.firmwareOut, vxsim::newerFirmware(modules));
                if (!problem.empty()) {
                    std::fprintf(stderr, "vxsim: %s\n", problem.c_str());
                    return 1;
                }
            }
            vxsim::BootSimulator simulator(setup, modules);
            std::vector<std::string> lines;
            std::unique_ptr<vxsim::PublishedComPort> com;
            if (args.pty) {
                lines.push_back(simulator.servePty());
                simulator.pty().setPaced(args.paced);
                if (args.com != 0) {
                    com = std::make_unique<vxsim::PublishedComPort>(args.com, simulator.pty().devicePath());
                    lines.push_back(com->name());
                }
            } else if (args.usb) {
                const vxsim::FtdiAdapter adapter;
                simulator.serveUsbBridge("127.0.0.1", args.port);
                const vxsim::TcpServer& bridge = simulator.usbBridge();
                lines.push_back("usb:sn:" + adapter.serial);
                lines.push_back("VXFTDI_DEVICES=" + vxsim::bridgeAdapterText(adapter, bridge.address(),
                                                                           bridge.port(), args.paced));
            } else {
                lines.push_back(simulator.serveTcp("127.0.0.1", args.port));
            }
            if (!args.firmwareOut.empty()) lines.push_back(args.firmwareOut + "/update.xml");
            for (const std::string& line : lines) std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            waitForEnd(signalFd.get());
            return 0;
        }
        if (args.pty) {
            vxsim::ControllerModel model(setup);
            vxsim::Gen1Endpoint binary(model);
            vxsim::TextEndpoint text(model);
            logFrames(binary, args.frameLog);
            vxsim::Pty pty;
            pty.setPaced(args.paced);
            if (args.text)
                pty.serve(text);
            else
                pty.serve(binary);
            std::unique_ptr<vxsim::PublishedComPort> com;
            if (args.com != 0) com = std::make_unique<vxsim::PublishedComPort>(args.com, pty.devicePath());
            std::printf("serial:%s\n", pty.devicePath().c_str());
            if (com) std::printf("%s\n", com->name().c_str());
            std::fflush(stdout);
            waitForEnd(signalFd.get());
            return 0;
        }
        if (args.text) {
            vxsim::ControllerModel model(setup);
            vxsim::TextEndpoint endpoint(model);
            vxsim::TcpServer server(endpoint, "127.0.0.1", args.port);
            vxsim::Pty pty;
            pty.serve(endpoint);
            std::printf("%s\n%s\n", server.locator().c_str(), pty.devicePath().c_str());
            std::fflush(stdout);
            waitForEnd(signalFd.get());
            return 0;
        }
        vxsim::Gen1Simulator simulator(setup);
        logFrames(simulator.endpoint(), args.frameLog);
        simulator.serveTcp("127.0.0.1", args.port);
        std::printf("%s\n", simulator.tcpLocator().c_str());
        std::fflush(stdout);
        waitForEnd(signalFd.get());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vxsim: %s\n", e.what());
        return 1;
    }
    return 0;
}
