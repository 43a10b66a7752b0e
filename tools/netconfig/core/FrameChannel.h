#pragma once

#include <cstdio>

#include "ConfigFrame.h"

typedef struct pcap pcap_t;
struct pcap_pkthdr;

namespace netconfig {

// The one open capture adapter through which every frame is sent and every
// reply awaited. Closes the adapter when it goes.
class FrameChannel {
public:
    // An adapter opened for capture: snap length 65536, promiscuous, each
    // frame delivered as it comes, reads that end after a quiet second.
    // Null on failure.
    static pcap_t* openCapture(const char* name);

    // Takes `handle`; `out` and `err` receive the messages of failures.
    FrameChannel(pcap_t* handle, std::FILE* out, std::FILE* err) : handle_(handle), out_(out), err_(err) {}
    ~FrameChannel() { close(); }
    FrameChannel(const FrameChannel&) = delete;
    FrameChannel& operator=(const FrameChannel&) = delete;

    void close();

    // A request with the default payload; ResultOk or ResultSendFailed.
    int sendRequest(uint16_t opcode, const MacAddress& destination);
    // Writes the request source MAC into `frame` and sends it.
    int sendFrame(ConfigFrame& frame);
    // Waits for the next frame with the reply marker and leaves it in
    // `frame`: ResultOk, ResultReadError, ResultFailureStatus, ResultNoReply
    // or ResultInvalidParameter. The wait ends after a read time-out without
    // any frame, or when three whole seconds have begun since it started.
    int receiveReply(ConfigFrame& frame);

private:
    // One frame, as the capture library's pcap_next_ex gives it: 1, or 0
    // after a second without any frame, or a negative error.
    int readFrame(pcap_pkthdr** header, const unsigned char** data);

    pcap_t* handle_;
    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace netconfig
