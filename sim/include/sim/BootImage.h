#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vxsim {

using Bytes = std::vector<uint8_t>;

// The simulator's own firmware image convention. The host hands each frame
// to the bootloader whole (a 16-bit big-endian length L and L bytes) and
// never looks past the length, so what the L bytes hold is ours:
//   kind byte, 16-bit big-endian sequence number, content, CRC-32 (big-endian)
//   over everything before it, length field included.
// The first frame (sequence 0) describes the image; the data frames follow
// with sequence numbers 1 to the frame count.
namespace bootimage {
inline constexpr uint8_t kHeaderFrame = 0x01;
inline constexpr uint8_t kDataFrame = 0x02;
inline constexpr size_t kLengthBytes = 2;
inline constexpr size_t kCrcBytes = 4;
// Kind byte and sequence number.
inline constexpr size_t kFrameHead = 3;
// A hardware variant of 255 fits every module.
inline constexpr uint8_t kAnyVariant = 255;
}  // namespace bootimage

// What an image is for and what it installs.
struct BootImageRecipe {
    uint8_t kindIndex = 2;  // the module kind of the addresses it fits
    uint8_t version1 = 0x1A;  // firmware line in bits 7-3, major version in bits 2-0
    uint8_t version2 = 4;     // minor version
    uint16_t version3 = 300;  // build
    uint8_t variant = bootimage::kAnyVariant;
    uint16_t dataFrames = 4;
    size_t frameContent = 48;  // content bytes of each data frame
    uint32_t seed = 1;         // of the content's pseudo-random bytes
};

// The description a header frame carries.
struct BootImageHeader {
    uint8_t kindIndex = 0;
    uint8_t version1 = 0;
    uint8_t version2 = 0;
    uint16_t version3 = 0;
    uint8_t variant = bootimage::kAnyVariant;
    uint16_t dataFrames = 0;
};

// A frame's contents as the bootloader reads them; none when its CRC refuses it.
struct BootFrame {
    uint8_t kind = 0;
    uint16_t sequence = 0;
    Bytes content;
};

// The module kind of an address: bits 15-12, and for 15 also bits 11-8 on top.
uint8_t bootKindIndex(uint16_t moduleWord);

// Every frame of the image, each with its length field.
std::vector<Bytes> bootImageFrames(const BootImageRecipe& recipe);
// Reads one frame (length field included); none when it is too short, its
// length disagrees or its CRC refuses it.
std::optional<BootFrame> readBootFrame(const Bytes& frame);
std::optional<BootImageHeader> readBootImageHeader(const BootFrame& frame);

// The image as firmware file text: upper-case hexadecimal pairs, the file
// header (kind index, version words, build big-endian, and for a ".fw6"
// file the hardware variant) followed by the frames, without line ends.
std::string bootImageFileText(const BootImageRecipe& recipe, bool fw6);
// Writes the file; ".fw6" format when the path ends in exactly ".fw6".
// False when the file cannot be written.
bool writeBootImageFile(const std::string& path, const BootImageRecipe& recipe);

}  // namespace vxsim
