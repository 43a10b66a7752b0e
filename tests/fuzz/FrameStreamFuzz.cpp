// Bytes from a second-generation device, cut at random places: the frame
// receiver reports the same things whatever the cuts, with or without CRC,
// and every value it hands out lies inside what it received.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "packet/FrameReceiver.h"

using namespace vxctl;

namespace {

// Every call, written down with the bytes it pointed at.
class Recorder : public FrameHandlers {
public:
    std::string calls;

    void protocolError(VX_CTL_Result result) override { add("E", {result}); }
    void completion(uint8_t requestId, VX_CTL_Result result) override { add("C", {requestId, result}); }
    void valueReply(const ValueReply& reply) override {
        add("V", {reply.requestId, reply.dataType, reply.count, static_cast<uint32_t>(reply.size)});
        // Read every byte: the sanitizer sees any that lies outside.
        calls.append(reinterpret_cast<const char*>(reply.values), reply.size);
    }
    void event(uint8_t index, uint16_t type, int32_t parameter) override {
        add("N", {index, type, static_cast<uint32_t>(parameter)});
    }
    void streamFlowStatus(uint32_t first, uint32_t second) override { add("S", {first, second}); }
    void versionReply(const std::array<uint32_t, 4>& words) override {
        add("R", {words[0], words[1], words[2], words[3]});
    }
    void handshakeReply(uint16_t status) override { add("H", {status}); }
    void systemReady(const SystemReady& ready) override { add("Y", {ready.lengthOk, ready.status}); }

private:
    void add(const char* kind, std::initializer_list<uint32_t> values) {
        calls += kind;
        for (uint32_t v : values) calls += std::to_string(v) + ",";
        calls += ";";
    }
};

std::string receive(const Crc32* crc, const uint8_t* data, size_t size, const std::vector<size_t>& cuts) {
    FrameReceiver receiver(crc);
    Recorder recorder;
    size_t at = 0;
    for (size_t i = 0; at < size; ++i) {
        const size_t take = std::min(cuts.empty() ? size : cuts[i % cuts.size()], size - at);
        // Each chunk in a buffer of its own size, so that a read past it is seen.
        std::vector<uint8_t> chunk(data + at, data + at + take);
        receiver.receive(chunk.data(), chunk.size(), recorder);
        at += take;
    }
    return recorder.calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte says how many of the next bytes are chunk sizes.
    if (size == 0) return 0;
    static const Crc32 crc;
    const size_t cutCount = std::min<size_t>(data[0] % 16, size - 1);
    std::vector<size_t> cuts;
    for (size_t i = 0; i < cutCount; ++i) cuts.push_back(data[1 + i] % 40 + 1);
    const uint8_t* stream = data + 1 + cutCount;
    const size_t length = size - 1 - cutCount;

    for (const Crc32* check : {&crc, static_cast<const Crc32*>(nullptr)}) {
        FUZZ_CHECK(receive(check, stream, length, {}) == receive(check, stream, length, cuts));
    }
    return 0;
}
