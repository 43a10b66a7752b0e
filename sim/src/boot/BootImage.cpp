#include "sim/BootImage.h"

#include <fstream>

#include "sim/Gen2Frame.h"

namespace vxsim {

using namespace bootimage;

namespace {

constexpr uint8_t kExtendedKind = 15;
constexpr char kFw6Suffix[] = ".fw6";

void putU16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void putU32(Bytes& out, uint32_t value) {
    putU16(out, static_cast<uint16_t>(value >> 16));
    putU16(out, static_cast<uint16_t>(value));
}

uint16_t u16At(const Bytes& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

Bytes frame(uint8_t kind, uint16_t sequence, const Bytes& content) {
    const size_t length = kFrameHead + content.size() + kCrcBytes;
    Bytes out;
    putU16(out, static_cast<uint16_t>(length));
    out.push_back(kind);
    putU16(out, sequence);
    out.insert(out.end(), content.begin(), content.end());
    putU32(out, gen2::crc32(out.data(), out.size()));
    return out;
}

void appendHex(std::string& text, const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
}

bool endsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

uint8_t bootKindIndex(uint16_t moduleWord) {
    const uint8_t kind = static_cast<uint8_t>(moduleWord >> 12);
    if (kind != kExtendedKind) return kind;
    return static_cast<uint8_t>(kind + ((moduleWord >> 8) & 0x0F));
}

std::vector<Bytes> bootImageFrames(const BootImageRecipe& recipe) {
    Bytes header{recipe.kindIndex, recipe.version1, recipe.version2};
    putU16(header, recipe.version3);
    header.push_back(recipe.variant);
    putU16(header, recipe.dataFrames);
    std::vector<Bytes> frames{frame(kHeaderFrame, 0, header)};
    // A small linear congruential generator: the same recipe gives the same bytes.
    uint32_t state = recipe.seed;
    for (uint16_t sequence = 1; sequence <= recipe.dataFrames; ++sequence) {
        Bytes content(recipe.frameContent);
        for (uint8_t& byte : content) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<uint8_t>(state >> 24);
        }
        frames.push_back(frame(kDataFrame, sequence, content));
    }
    return frames;
}

std::optional<BootFrame> readBootFrame(const Bytes& bytes) {
    constexpr size_t kSmallest = kLengthBytes + kFrameHead + kCrcBytes;
    if (bytes.size() < kSmallest || u16At(bytes, 0) + kLengthBytes != bytes.size())
        return std::nullopt;
    const size_t crcAt = bytes.size() - kCrcBytes;
    const uint32_t stored = static_cast<uint32_t>(u16At(bytes, crcAt)) << 16 | u16At(bytes, crcAt + 2);
    if (gen2::crc32(bytes.data(), crcAt) != stored) return std::nullopt;
    BootFrame out;
    out.kind = bytes[kLengthBytes];
    out.sequence = u16At(bytes, kLengthBytes + 1);
    out.content.assign(bytes.begin() + kLengthBytes + kFrameHead,
                       bytes.begin() + static_cast<ptrdiff_t>(crcAt));
    return out;
}

std::optional<BootImageHeader> readBootImageHeader(const BootFrame& frame) {
    constexpr size_t kHeaderContent = 8;
    if (frame.kind != kHeaderFrame || frame.sequence != 0 || frame.content.size() != kHeaderContent)
        return std::nullopt;
    const Bytes& c = frame.content;
    BootImageHeader header;
    header.kindIndex = c[0];
    header.version1 = c[1];
    header.version2 = c[2];
    header.version3 = u16At(c, 3);
    header.variant = c[5];
    header.dataFrames = u16At(c, 6);
    return header;
}

std::string bootImageFileText(const BootImageRecipe& recipe, bool fw6) {
    Bytes header{recipe.kindIndex, recipe.version1, recipe.version2};
    putU16(header, recipe.version3);
    if (fw6) header.push_back(recipe.variant);
    std::string text;
    appendHex(text, header);
    for (const Bytes& frame : bootImageFrames(recipe)) appendHex(text, frame);
    return text;
}

bool writeBootImageFile(const std::string& path, const BootImageRecipe& recipe) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string text = bootImageFileText(recipe, endsWith(path, kFw6Suffix));
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace vxsim
