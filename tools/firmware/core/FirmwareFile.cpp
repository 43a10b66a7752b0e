#include "FirmwareFile.h"

#include "FileBytes.h"

namespace vxfw {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool isFw6Name(const std::string& fileName) {
    const std::string_view suffix = fwfile::kFw6Suffix;
    return fileName.size() >= suffix.size() &&
           fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int hexPair(char high, char low) {
    const int h = hexDigit(high);
    const int l = hexDigit(low);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

bool decodeFirmwareText(const std::string& text, bool fw6, FirmwareFrames& out) {
    out = {};
    const size_t start = fw6 ? fwfile::kFw6BodyStart : fwfile::kPlainBodyStart;
    if (text.size() < fwfile::kHeaderChars || (text.size() - start) % 2 != 0) return false;
    std::vector<uint8_t> bytes;
    bytes.reserve((text.size() - start) / 2);
    for (size_t i = start; i < text.size(); i += 2) {
        const int byte = hexPair(text[i], text[i + 1]);
        if (byte < 0) return false;
        bytes.push_back(static_cast<uint8_t>(byte));
    }
    FirmwareFrames frames;
    for (size_t p = 0; p < bytes.size();) {
        if (bytes.size() - p < fwfile::kLengthBytes) return false;
        const size_t whole = fwfile::kLengthBytes + (size_t{bytes[p]} << 8 | bytes[p + 1]);
        if (bytes.size() - p < whole) return false;
        const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(p);
        frames.frames.emplace_back(first, first + static_cast<std::ptrdiff_t>(whole));
        p += whole;
    }
    frames.decodedBytes = bytes.size();
    out = std::move(frames);
    return true;
}

std::string decodeFirmwareFile(const std::string& fileName, FirmwareFrames& out) {
    out = {};
    std::string text;
    const detail::FileRead read = detail::readWholeFile(fileName, text);
    if (read == detail::FileRead::CouldNotOpen) return "could not open firmware file: " + fileName;
    if (read == detail::FileRead::TooLarge || !decodeFirmwareText(text, isFw6Name(fileName), out))
        return "invalid file content: " + fileName;
    return {};
}

}  // namespace vxfw
