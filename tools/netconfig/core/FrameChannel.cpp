#include "FrameChannel.h"

#include <pcap/pcap.h>
#include <poll.h>

#include <cerrno>
#include <chrono>

namespace netconfig {

namespace {

constexpr int SnapLength = 65536;
constexpr std::chrono::milliseconds ReadTimeout{1000};
constexpr long long ReplyWindowSeconds = 3;

// Whole seconds of a clock that goes on while the process sleeps in a read;
// the process's CPU clock would not.
long long wholeSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

pcap_t* FrameChannel::openCapture(const char* name) {
    char errorBuffer[PCAP_ERRBUF_SIZE] = "";
    pcap_t* handle = pcap_create(name, errorBuffer);
    if (!handle) return nullptr;
    // Without immediate mode the kernel holds frames back for up to the
    // read time-out, which would delay every reply.
    if (pcap_set_snaplen(handle, SnapLength) != 0 || pcap_set_promisc(handle, 1) != 0 ||
        pcap_set_timeout(handle, static_cast<int>(ReadTimeout.count())) != 0 ||
        pcap_set_immediate_mode(handle, 1) != 0 || pcap_activate(handle) < 0 ||
        pcap_setnonblock(handle, 1, errorBuffer) != 0 || pcap_get_selectable_fd(handle) < 0) {
        pcap_close(handle);
        return nullptr;
    }
    return handle;
}

// The capture library on Linux lets a blocking read wait for ever when no
// frame comes, whatever its time-out; so the handle does not block, and the
// read time-out is waited for here.
int FrameChannel::readFrame(pcap_pkthdr** header, const u_char** data) {
    const auto deadline = std::chrono::steady_clock::now() + ReadTimeout;
    for (;;) {
        const int read = pcap_next_ex(handle_, header, data);
        if (read != 0) return read;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        pollfd ready{pcap_get_selectable_fd(handle_), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return PCAP_ERROR;
    }
}

void FrameChannel::close() {
    if (handle_) pcap_close(handle_);
    handle_ = nullptr;
}

int FrameChannel::sendRequest(uint16_t opcode, const MacAddress& destination) {
    ConfigFrame frame = makeRequest(opcode, destination);
    return sendFrame(frame);
}

int FrameChannel::sendFrame(ConfigFrame& frame) {
    frame.sourceMac = RequestSourceMac;
    FrameBytes buffer;
    encodeFrame(frame, buffer);
    if (pcap_sendpacket(handle_, buffer.data(), static_cast<int>(buffer.size())) != 0) {
        std::fprintf(err_, "\nError sending the packet: %s\n", pcap_geterr(handle_));
        return ResultSendFailed;
    }
    return ResultOk;
}

int FrameChannel::receiveReply(ConfigFrame& frame) {
    std::fflush(out_);
    const long long start = wholeSeconds();
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    bool accepted = false;
    int read = readFrame(&header, &data);
    while (read > 0) {
        // Frames that are no reply must not hold the wait open for ever.
        if (wholeSeconds() - start >= ReplyWindowSeconds) break;
        if (decodeFrame(frame, std::span<const uint8_t>(data, header->caplen), header->len) == ResultOk &&
            isReply(frame)) {
            accepted = true;
            break;
        }
        read = readFrame(&header, &data);
    }
    if (read == PCAP_ERROR) {
        std::fprintf(out_, "Receive packet: Error reading the packets: %s\n", pcap_geterr(handle_));
        return ResultReadError;
    }
    if (!accepted) return ResultNoReply;
    return replyResult(frame.code);
}

}  // namespace netconfig
