#include "Console.h"

#include <netinet/in.h>
#include <pcap/pcap.h>

#include "platform/Ipv4.h"

namespace netconfig {

namespace {

enum MenuEntry { MenuGet = 1, MenuSet, MenuReset, MenuRestart, MenuQuit };

constexpr const char* MenuText =
    "\n-------------------------------------------------"
    "\n[1] Get current configuration"
    "\n[2] Set new configuration"
    "\n[3] Reset to default configuration"
    "\n[4] Restart interface"
    "\n[5] Quit\n";

}  // namespace

int Console::run() {
    std::fprintf(out_, "QMX Network Interface Configuration %s\n", ProgramVersion);
    if (openAdapter() != ResultOk) return 1;
    const int count = discoverControllers();
    if (count == 0) {
        closeAdapter();
        std::fputs("\nDone.", out_);
        return 0;
    }

    int chosen = 1;
    if (count > 1) {
        std::fprintf(out_, "\nEnter number of QMX you wish to configure (1 - %d): ", count);
        // Text that is no number keeps the first controller and stays in
        // the input for the menu.
        int number = 0;
        if (in_.readNumber(number) == 1) {
            if (number < 1 || number > count) {
                std::fputs("Invalid QMX number!\nQuit.\n", out_);
                return 1;
            }
            chosen = number;
        }
    }
    const size_t index = static_cast<size_t>(chosen - 1);

    for (;;) {
        std::fputs(MenuText, out_);
        std::fputs("\nEnter command: ", out_);
        int command = 0;
        if (in_.readNumber(command) != 1 || command < MenuGet || command > MenuQuit) {
            std::fputs("Invalid command!\nQuit.\n", out_);
            return 1;
        }
        switch (command) {
        case MenuGet:
            getConfiguration(index);
            break;
        case MenuSet:
            if (setConfiguration(index) == ResultInputEnded) {
                std::fputs("Quit.\n", out_);
                closeAdapter();
                return 1;
            }
            break;
        case MenuReset:
            resetConfiguration(index);
            break;
        case MenuRestart:
            restartInterface(index);
            break;
        case MenuQuit:
            closeAdapter();
            std::fputs("\nDone.", out_);
            return 0;
        }
    }
}

int Console::openAdapter() {
    std::fputs("\nAvailable interfaces:\n", out_);
    pcap_if_t* all = nullptr;
    char errorBuffer[PCAP_ERRBUF_SIZE] = "";
    if (pcap_findalldevs(&all, errorBuffer) != 0) {
        std::fprintf(err_, "Error in pcap_findalldevs: %s\n Make sure WinPcap driver is installed.\n", errorBuffer);
        return ResultAdapterFailed;
    }
    std::vector<pcap_if_t*> interfaces;
    for (pcap_if_t* i = all; i; i = i->next) interfaces.push_back(i);
    const int count = static_cast<int>(interfaces.size());
    for (int n = 1; n <= count; ++n) {
        const pcap_if_t* i = interfaces[n - 1];
        // Most interfaces here have no description; their names tell them apart.
        const bool described = i->description && *i->description;
        std::fprintf(out_, "[%d] %s", n, described ? i->description : i->name);
        std::fputs("\t| IP: ", out_);
        for (const pcap_addr_t* a = i->addresses; a; a = a->next) {
            if (!a->addr || a->addr->sa_family != AF_INET) continue;
            const auto* address = reinterpret_cast<const sockaddr_in*>(a->addr);
            std::fprintf(out_, "(%s)", vxplatform::formatIpv4(address->sin_addr.s_addr).c_str());
        }
        std::fputs("\n", out_);
    }
    if (count == 0) {
        std::fputs("No interfaces found! Make sure WinPcap driver is installed.\n", out_);
        if (all) pcap_freealldevs(all);
        return ResultAdapterFailed;
    }

    int choice = 1;
    if (count > 1) {
        std::fprintf(out_, "\nEnter interface number where the QMX is connected to (1 - %d): ", count);
        if (in_.readNumber(choice) != 1 || choice < 1 || choice > count) {
            std::fputs("Invalid interface number!\nQuit.\n", out_);
            pcap_freealldevs(all);
            return ResultAdapterFailed;
        }
    }
    const char* name = interfaces[choice - 1]->name;
    pcap_t* handle = FrameChannel::openCapture(name);
    if (!handle) {
        std::fprintf(err_, "\nUnable to open the adapter. %s is not supported by WinPcap driver.\n", name);
        pcap_freealldevs(all);
        return ResultAdapterFailed;
    }
    pcap_freealldevs(all);
    channel_ = std::make_unique<FrameChannel>(handle, out_, err_);
    return ResultOk;
}

int Console::discoverControllers() {
    ConfigFrame frame = makeRequest(OpDiscover, BroadcastMac);
    // A failed send has said so; no reply will come either.
    channel_->sendFrame(frame);
    std::fputs("Get available QMX devices...\n", out_);
    // Each reply is a new entry, even from a controller that answered before.
    while (controllers_.size() < MaxControllers && channel_->receiveReply(frame) == ResultOk) {
        controllers_.push_back(frame.sourceMac);
        const MacAddress& m = frame.sourceMac;
        std::fprintf(out_, "[%zu] QMX (MAC: %02x:%02x:%02x:", controllers_.size(), m[0], m[1], m[2]);
        std::fprintf(out_, "%02x:%02x:%02x)\n", m[3], m[4], m[5]);
    }
    if (controllers_.empty()) std::fputs("No available QMX devices were found!\n", out_);
    return static_cast<int>(controllers_.size());
}

void Console::checkSource(const ConfigFrame& reply, size_t index) {
    // Reported, not refused: the reply is used all the same.
    if (reply.sourceMac != controllers_[index]) std::fputs("QMX acknowlege mac address mismatch!\n", out_);
}

void Console::showConfiguration(const ConfigFrame& frame) {
    const struct {
        const char* format;
        const Ipv4Bytes& bytes;
    } lines[] = {{"IP: %03d.%03d.%03d.%03d\n", frame.ip},
                 {"GW: %03d.%03d.%03d.%03d\n", frame.gateway},
                 {"SN: %03d.%03d.%03d.%03d\n", frame.mask}};
    for (const auto& line : lines)
        std::fprintf(out_, line.format, line.bytes[0], line.bytes[1], line.bytes[2], line.bytes[3]);
    std::fprintf(out_, "Port: %05d\n", frame.port);
}

void Console::reportNoAcknowledge(int result) {
    std::fprintf(out_, "Could not get acknowledge from QMX! Error: %d\n", result);
}

bool Console::confirmed(const char* question) {
    std::fputs(question, out_);
    int answer = 0;
    return in_.readNumber(answer) == 1 && answer == 1;
}

int Console::getConfiguration(size_t index) {
    return requestAndShow(OpGetConfiguration, index, "Get network configuration (QMX %zu)...\n");
}

int Console::requestAndShow(uint16_t opcode, size_t index, const char* announcement) {
    channel_->sendRequest(opcode, controllers_[index]);
    std::fprintf(out_, announcement, index + 1);
    ConfigFrame reply;
    const int result = channel_->receiveReply(reply);
    if (result != ResultOk) {
        reportNoAcknowledge(result);
        return result;
    }
    checkSource(reply, index);
    std::fputs("Current configuration:\n", out_);
    showConfiguration(reply);
    return ResultOk;
}

template <typename Accept>
auto Console::enter(const char* prompt, int wanted, Accept accept) -> decltype(accept(0, EnteredNumbers{})) {
    for (;;) {
        std::fputs(prompt, out_);
        EnteredNumbers numbers{};
        const int count = in_.readNumbers(numbers.data(), wanted);
        if (count == ConsoleInput::EndOfInput) return std::nullopt;
        // A refused line must not feed the next attempt.
        in_.discardLine();
        if (auto value = accept(count, numbers)) return value;
    }
}

std::optional<Ipv4Bytes> Console::enterAddress(const char* prompt) { return enter(prompt, 4, acceptAddress); }

std::optional<Ipv4Bytes> Console::enterMask() { return enter("Enter new subnet mask (SN):\n", 4, acceptMask); }

std::optional<uint16_t> Console::enterPort() {
    return enter("Enter new port:\n", 1, [](int count, const EnteredNumbers& n) { return acceptPort(count, n[0]); });
}

int Console::setConfiguration(size_t index) {
    std::fprintf(out_, "Set new network configuration (QMX %zu)...\n", index + 1);
    const auto ip = enterAddress("Enter new ip address (IP):\n");
    if (!ip) return ResultInputEnded;
    const auto gateway = enterAddress("Enter new gateway ip (GW):\n");
    if (!gateway) return ResultInputEnded;
    const auto mask = enterMask();
    if (!mask) return ResultInputEnded;
    const auto port = enterPort();
    if (!port) return ResultInputEnded;

    ConfigFrame frame = makeRequest(OpSetConfiguration, controllers_[index]);
    frame.ip = *ip;
    frame.gateway = *gateway;
    frame.mask = *mask;
    frame.port = *port;
    if (channel_->sendFrame(frame) != ResultOk) return ResultSendFailed;

    const int result = channel_->receiveReply(frame);
    if (result == ResultInvalidParameter) {
        std::fputs("Invalid parameter in config packet!\n", out_);
        return result;
    }
    if (result != ResultOk) {
        reportNoAcknowledge(result);
    } else {
        checkSource(frame, index);
        std::fputs("New configuration:\n", out_);
        showConfiguration(frame);
    }
    // Sent even when the acknowledgement was lost: the controller may have
    // taken the set all the same.
    std::fprintf(out_, "Saved new network configuration (QMX %zu).\n", index + 1);
    channel_->sendRequest(OpSaveConfiguration, controllers_[index]);
    return result;
}

int Console::resetConfiguration(size_t index) {
    if (!confirmed("\nAre you sure to continue resetting the QMX to default configuration?\n[1] yes [0] no\n"))
        return ResultOk;
    return requestAndShow(OpResetConfiguration, index, "Reset network configuration (QMX %zu)...\n");
}

int Console::restartInterface(size_t index) {
    if (!confirmed("\nAre you sure to restart the QMX interface?\n[1] yes [0] no\n")) return ResultOk;
    channel_->sendRequest(OpRestartInterface, controllers_[index]);
    std::fprintf(out_, "Restarted interface (QMX %zu).\n", index + 1);
    ConfigFrame reply;
    const int result = channel_->receiveReply(reply);
    if (result != ResultOk) {
        reportNoAcknowledge(result);
        return result;
    }
    checkSource(reply, index);
    return ResultOk;
}

}  // namespace netconfig
