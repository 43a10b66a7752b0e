// Bytes from a first-generation controller, cut at random places: the
// reassembler yields the same packets whatever the cuts, accounts for every
// byte, and each packet goes through the answer decoder.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "systems/gen1/Packet.h"

using namespace qmx;

namespace {

std::vector<RawPacket> reassemble(const uint8_t* data, size_t size, const std::vector<size_t>& cuts,
                                  size_t& pending) {
    std::vector<RawPacket> packets;
    PacketAssembler assembler;
    size_t at = 0;
    for (size_t i = 0; at < size; ++i) {
        const size_t take = std::min(cuts.empty() ? size : cuts[i % cuts.size()], size - at);
        assembler.feed(data + at, take, [&](const RawPacket& raw) { packets.push_back(raw); });
        at += take;
    }
    pending = assembler.pending();
    return packets;
}

uint32_t slotValue(const VX_packet& p, Slot slot) {
    const uint32_t values[] = {p.data1, static_cast<uint32_t>(p.data2), static_cast<uint32_t>(p.data3), p.data4};
    return values[static_cast<size_t>(slot)];
}

// The decoder fills what the layout names, as answerFields reads it, or
// refuses and writes nothing.
void checkDecoded(const RawPacket& raw) {
    const VX_packet fields = answerFields(raw);
    VX_packet untouched;
    std::memset(&untouched, 0xA5, sizeof untouched);
    VX_packet decoded = untouched;
    const uint32_t channel = raw.address() & 0x3F;
    if (decodeAnswer(raw, channel, &decoded) != VX_OK) {
        FUZZ_CHECK(std::memcmp(&decoded, &untouched, sizeof decoded) == 0);
        return;
    }
    FUZZ_CHECK(decoded.channelIndex == channel);
    const AnswerLayout* layout = answerLayout(raw.opcode());
    if (!layout) {
        FUZZ_CHECK(decoded.packetType == VX_PACKET_OTHER);
        return;
    }
    for (const FieldLayout& field : layout->fields) {
        if (field.width != Width::None) FUZZ_CHECK(slotValue(decoded, field.slot) == slotValue(fields, field.slot));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte says how many of the next bytes are chunk sizes.
    if (size == 0) return 0;
    const size_t cutCount = std::min<size_t>(data[0] % 16, size - 1);
    std::vector<size_t> cuts;
    for (size_t i = 0; i < cutCount; ++i) cuts.push_back(data[1 + i] % 24 + 1);
    const uint8_t* stream = data + 1 + cutCount;
    const size_t length = size - 1 - cutCount;

    size_t pendingWhole = 0;
    size_t pendingCut = 0;
    const auto whole = reassemble(stream, length, {}, pendingWhole);
    const auto cut = reassemble(stream, length, cuts, pendingCut);
    FUZZ_CHECK(whole.size() == cut.size());
    FUZZ_CHECK(pendingWhole == pendingCut);

    size_t accounted = pendingWhole;
    for (size_t i = 0; i < whole.size(); ++i) {
        const RawPacket& raw = whole[i];
        FUZZ_CHECK(raw.bytes == cut[i].bytes);
        FUZZ_CHECK(raw.length() <= kMaxPacketLength);
        FUZZ_CHECK(std::memcmp(raw.bytes.data(), stream + accounted - pendingWhole, raw.length()) == 0);
        accounted += raw.length();

        checkDecoded(raw);
        FUZZ_CHECK((raw.errorCode() != VX_OK) <= (raw.opcode() == opcode::kError));
    }
    FUZZ_CHECK(accounted == length);
    return 0;
}
