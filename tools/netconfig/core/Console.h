#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "ConfigFrame.h"
#include "ConsoleInput.h"
#include "Entries.h"
#include "FrameChannel.h"

namespace netconfig {

inline constexpr const char* ProgramVersion = "1.0.5";
inline constexpr size_t MaxControllers = 8;

// The numbered dialogue: adapter choice, discovery, controller choice and
// the command menu, on one capture adapter.
class Console {
public:
    Console(ConsoleInput& in, std::FILE* out, std::FILE* err) : in_(in), out_(out), err_(err) {}

    // The whole program; its exit code.
    int run();

    // ResultOk, or ResultAdapterFailed with its message printed.
    int openAdapter();
    // How many controllers answered (0 to 8).
    int discoverControllers();
    // Each takes the table index of the chosen controller.
    int getConfiguration(size_t index);
    int setConfiguration(size_t index);  // ResultInputEnded when input ends at a prompt
    int resetConfiguration(size_t index);
    int restartInterface(size_t index);

private:
    // Sends the request, announces it and shows the configuration replied.
    int requestAndShow(uint16_t opcode, size_t index, const char* announcement);
    void checkSource(const ConfigFrame& reply, size_t index);
    void showConfiguration(const ConfigFrame& frame);
    void reportNoAcknowledge(int result);
    bool confirmed(const char* question);
    std::optional<Ipv4Bytes> enterAddress(const char* prompt);
    std::optional<Ipv4Bytes> enterMask();
    std::optional<uint16_t> enterPort();
    template <typename Accept>
    auto enter(const char* prompt, int wanted, Accept accept) -> decltype(accept(0, EnteredNumbers{}));
    void closeAdapter() { channel_.reset(); }

    ConsoleInput& in_;
    std::FILE* out_;
    std::FILE* err_;
    std::unique_ptr<FrameChannel> channel_;
    std::vector<MacAddress> controllers_;
};

}  // namespace netconfig
