#include "ControllerRecord.h"

#include <array>
#include <tuple>

#include "FileBytes.h"
#include "FirmwareFile.h"
#include "UpdateException.h"

namespace vxfw {

namespace {

constexpr int32_t kExtendedKind = 15;
constexpr int32_t kUnknownVersion1 = 255;
constexpr int32_t kUnknownVersion2 = 255;
constexpr int32_t kUnknownVersion3 = 65535;

constexpr std::string_view kNoneText = "none";
constexpr std::string_view kDamagedText = "damaged";
constexpr std::string_view kUnknownText = "unknown";

// Row k names the modules of kind k.
constexpr std::array<std::string_view, 17> kModuleTypeNames = {
    "0",     // no module kind
    "IF",    // interface module
    "LIN",   // linear positioner driver
    "ROT",   // rotary positioner driver
    "GON",   // goniometer driver
    "GRIP",  // gripper driver
    "FRC",   // force sensor module
    "HCM",   // hand control module
    "ETH",   // Ethernet interface
    "SENS",  // position sensor module
    "AMP",   // piezo amplifier
    "IO",    // digital input/output module
    "PSU",   // power supply module
    "TBD",
    "TBD",
    "0",     // extended kinds start here
    "XIF",   // extended interface module
};
constexpr std::string_view kUnknownDevice = "Unknown device";

bool olderThanAnything(std::string_view text) { return text == kNoneText || text == kDamagedText; }

}  // namespace

void FirmwareInfo::setVersion(int32_t word1, int32_t word2, int32_t word3) {
    version1_ = word1;
    version2_ = word2;
    version3_ = word3;
}

std::string FirmwareInfo::versionText() const {
    if (state_ == kDamaged) return std::string(kDamagedText);
    if (kindIndex_ == 0 || (version1_ == 0 && version2_ == 0 && version3_ == 0))
        return std::string(kNoneText);
    if (version1_ == kUnknownVersion1 && version2_ == kUnknownVersion2 &&
        version3_ == kUnknownVersion3)
        return std::string(kUnknownText);
    return "(" + toText(firmwareLine()) + ") " + toText(version1_ & 0x07) + "." +
           toText(version2_) + "." + toText(version3_);
}

int FirmwareInfo::compareVersions(const FirmwareInfo& a, const FirmwareInfo& b) {
    const std::string textA = a.versionText();
    const std::string textB = b.versionText();
    if (olderThanAnything(textA)) return -1;
    if (textA == kUnknownText) return 1;
    if (olderThanAnything(textB)) return 1;
    if (textB == kUnknownText) return -1;
    const auto wordsA = std::tie(a.version1_, a.version2_, a.version3_);
    const auto wordsB = std::tie(b.version1_, b.version2_, b.version3_);
    if (wordsA == wordsB) return 0;
    return wordsA > wordsB ? 1 : -1;
}

void FirmwareInfo::loadHeader() {
    if (fileName_.empty()) throw UpdateException(kInvalidParameter, "no firmware file given");
    std::string text;
    // The header is all that is read; a file too long to be sent is no
    // candidate either.
    const detail::FileRead read = detail::readFileStart(fileName_, fwfile::kHeaderChars, text);
    if (read == detail::FileRead::CouldNotOpen) throw UpdateException(kCouldNotOpenFile, fileName_);
    if (read == detail::FileRead::TooLarge || text.size() < fwfile::kHeaderChars)
        throw UpdateException(kInvalidFileContent);
    std::array<int32_t, fwfile::kHeaderChars / 2> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = hexPair(text[2 * i], text[2 * i + 1]);
        if (bytes[i] < 0) throw UpdateException(kInvalidFileContent);
    }
    kindIndex_ = bytes[0];
    setVersion(bytes[1], bytes[2], bytes[3] * 256 + bytes[4]);
    hardwareVariant_ = isFw6Name(fileName_) ? bytes[5] : kAnyVariant;
    state_ = kFromFile;
}

int32_t moduleKind(uint32_t address) {
    const int32_t kind = static_cast<int32_t>((address >> 12) & 0x0F);
    if (kind != kExtendedKind) return kind;
    return kind + static_cast<int32_t>((address >> 8) & 0x0F);
}

std::string_view moduleTypeName(int32_t kindIndex) {
    if (kindIndex < 0 || static_cast<size_t>(kindIndex) >= kModuleTypeNames.size())
        return kUnknownDevice;
    return kModuleTypeNames[static_cast<size_t>(kindIndex)];
}

void ControllerRecord::setModuleAddress(uint32_t address) {
    address_ = address;
    kindIndex_ = moduleKind(address);
}

std::string ControllerRecord::moduleTypeName() const {
    return std::string(vxfw::moduleTypeName(kindIndex_));
}

bool ControllerRecord::setSelectedCandidate(int32_t index) {
    if (index < -1 || index >= static_cast<int32_t>(candidates_.size())) return false;
    selected_ = index;
    return true;
}

size_t ControllerList::checkedIndex(int32_t index) const {
    if (index < 0 || index >= count()) throw UpdateException(kInvalidParameter);
    return static_cast<size_t>(index);
}

ControllerRecord& ControllerList::at(int32_t index) { return records_[checkedIndex(index)]; }

const ControllerRecord& ControllerList::at(int32_t index) const {
    return records_[checkedIndex(index)];
}

}  // namespace vxfw
