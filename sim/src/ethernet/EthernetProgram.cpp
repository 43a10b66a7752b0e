#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "platform/Ipv4.h"
#include "sim/EthernetCarrier.h"
#include "sim/StopSignals.h"

namespace vxsim {

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vxsim-ethernet --iface NAME [--controllers N] [--controller MAC]...\n"
                 "                      [--ip A.B.C.D] [--gateway A.B.C.D] [--mask A.B.C.D] [--port N]\n"
                 "                      [--on REQUEST]... [--silent] [--status N] [--reply-from MAC]\n"
                 "                      [--copies N] [--delay MS] [--flood MS]\n"
                 "Faults apply to every controller, for the requests given with --on (all without).\n");
    return 2;
}

bool number(const char* text, unsigned long max, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 0);
    return errno == 0 && end != text && *end == '\0' && value <= max;
}

std::optional<MacAddress> parseMac(const std::string& text) {
    MacAddress mac;
    int consumed = 0;
    if (text.size() != 17 || std::sscanf(text.c_str(), "%2hhx:%2hhx:%2hhx:%2hhx:%2hhx:%2hhx%n", &mac[0], &mac[1],
                                         &mac[2], &mac[3], &mac[4], &mac[5], &consumed) != 6 ||
        consumed != 17)
        return std::nullopt;
    return mac;
}

bool parseAddress(const char* text, Ipv4Bytes& bytes) {
    const std::optional<uint32_t> address = vxplatform::parseIpv4(text);
    if (!address) return false;
    const auto* raw = reinterpret_cast<const uint8_t*>(&*address);  // network order in memory
    std::copy(raw, raw + 4, bytes.begin());
    return true;
}

}  // namespace

int runEthernetProgram(int argc, char** argv) {
    std::string iface;
    std::vector<MacAddress> macs;
    unsigned long numbered = 0;
    EthernetConfig config;
    EthernetFaults faults;

    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        unsigned long value = 0;
        if (option == "--silent") {
            faults.silent = true;
            continue;
        }
        if (i + 1 >= argc) return usage();
        const char* argument = argv[++i];
        if (option == "--iface") {
            iface = argument;
        } else if (option == "--controllers" && number(argument, 255, value)) {
            numbered = value;
        } else if (option == "--controller" && parseMac(argument)) {
            macs.push_back(*parseMac(argument));
        } else if (option == "--ip" && parseAddress(argument, config.ip)) {
        } else if (option == "--gateway" && parseAddress(argument, config.gateway)) {
        } else if (option == "--mask" && parseAddress(argument, config.mask)) {
        } else if (option == "--port" && number(argument, 0xFFFF, value)) {
            config.port = static_cast<uint16_t>(value);
        } else if (option == "--on" && number(argument, 0xFFFF, value)) {
            faults.requests.push_back(static_cast<uint16_t>(value));
        } else if (option == "--status" && number(argument, 0xFFFF, value)) {
            faults.status = static_cast<uint16_t>(value);
        } else if (option == "--reply-from" && parseMac(argument)) {
            faults.replyFrom = parseMac(argument);
        } else if (option == "--copies" && number(argument, 100, value)) {
            faults.copies = static_cast<unsigned>(value);
        } else if (option == "--delay" && number(argument, 600000, value)) {
            faults.delay = std::chrono::milliseconds(value);
        } else if (option == "--flood" && number(argument, 600000, value)) {
            faults.flood = std::chrono::milliseconds(value);
        } else {
            return usage();
        }
    }
    // Numbered controllers have locally administered addresses 0a:51:4d:00:00:NN.
    for (unsigned long n = 1; n <= numbered; ++n)
        macs.push_back(MacAddress{0x0a, 0x51, 0x4d, 0x00, 0x00, static_cast<uint8_t>(n)});
    if (iface.empty() || macs.empty()) return usage();

    // Blocked before the carrier's thread starts, so that only sigwait sees them.
    sigset_t stopSignals;
    blockStopSignals(&stopSignals);

    try {
        EthernetCarrier carrier(iface, [](const std::vector<uint8_t>& frame) {
            for (uint8_t byte : frame) std::printf("%02x", byte);
            std::printf("\n");
            std::fflush(stdout);
        });
        for (const MacAddress& mac : macs) carrier.addController(EthernetController(mac, config), faults);
        std::printf("ready\n");
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stopSignals, &signal);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vxsim-ethernet: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace vxsim
