#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vxfw {

// A firmware file is upper-case hexadecimal text, one byte a pair: a header
// (kind index, version words 1 and 2, build big-endian, and in a ".fw6" file
// the hardware variant) and a body of frames, each a 16-bit big-endian
// length L and L bytes.
namespace fwfile {
// Fewer characters than this make no header, whatever the file's format.
inline constexpr size_t kHeaderChars = 12;
inline constexpr size_t kFw6BodyStart = 12;
inline constexpr size_t kPlainBodyStart = 10;
inline constexpr size_t kLengthBytes = 2;
inline constexpr char kFw6Suffix[] = ".fw6";
}  // namespace fwfile

// Whether the name (the whole path as given) ends in exactly ".fw6".
bool isFw6Name(const std::string& fileName);

// The value of one digit pair, or -1 unless both are "0"-"9" or "A"-"F".
int hexPair(char high, char low);

// A decoded body: every frame whole, length field included.
struct FirmwareFrames {
    std::vector<std::vector<uint8_t>> frames;
    size_t decodedBytes = 0;
};

// Decodes and checks the whole body before anything of it is used. Empty on
// success, else "could not open firmware file: " or "invalid file content: "
// followed by the file name, with `out` empty. Invalid: no full header, a
// character that is not an upper-case digit, an odd number of body
// characters, a frame running past the decoded bytes.
std::string decodeFirmwareFile(const std::string& fileName, FirmwareFrames& out);

// The same over file text already read; false when it is invalid.
bool decodeFirmwareText(const std::string& text, bool fw6, FirmwareFrames& out);

}  // namespace vxfw
