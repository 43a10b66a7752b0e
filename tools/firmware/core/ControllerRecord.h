#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vxfw {

// One firmware: the one installed in a module, or one in a firmware file.
class FirmwareInfo {
public:
    enum State : int32_t {
        kInstalled = 0,
        kDamaged = 1,  // the module's bootloader reports no valid application
        kFromFile = 2,
    };
    // The hardware variant of a firmware that fits modules giving none.
    static constexpr int32_t kAnyVariant = 255;

    void setFileName(std::string name) { fileName_ = std::move(name); }
    void setVersion(int32_t word1, int32_t word2, int32_t word3);
    void setState(int32_t state) { state_ = state; }
    void setKindIndex(int32_t kindIndex) { kindIndex_ = kindIndex; }
    void setHardwareVariant(int32_t variant) { hardwareVariant_ = variant; }

    const std::string& fileName() const { return fileName_; }
    // Word 1 holds the line in bits 7-3 and the major version in bits 2-0,
    // word 2 the minor version, word 3 the build.
    int32_t versionWord1() const { return version1_; }
    int32_t versionWord2() const { return version2_; }
    int32_t versionWord3() const { return version3_; }
    int32_t firmwareLine() const { return (version1_ >> 3) & 0x1F; }
    int32_t state() const { return state_; }
    int32_t kindIndex() const { return kindIndex_; }
    int32_t hardwareVariant() const { return hardwareVariant_; }

    // "damaged", "none", "unknown" or "(line) major.minor.build".
    std::string versionText() const;
    // -1, 0 or 1: a older than, equal to or newer than b. "none" and
    // "damaged" are older than anything, "unknown" newer, whichever side
    // is asked first wins.
    static int compareVersions(const FirmwareInfo& a, const FirmwareInfo& b);

    // Reads the header of the file named by fileName(). Throws
    // UpdateException 2 "no firmware file given", 10 (the file name) when
    // it cannot be opened, 11 when the header is not upper-case hexadecimal
    // text of 12 characters at least; the record is then unchanged.
    void loadHeader();

private:
    std::string fileName_;
    int32_t version1_ = 0;
    int32_t version2_ = 0;
    int32_t version3_ = 0;
    int32_t state_ = kInstalled;
    int32_t kindIndex_ = 0;
    int32_t hardwareVariant_ = 0;
};

// The module kind of a 16-bit module address: bits 15-12, and for 15 the
// sum with bits 11-8 (so 0 to 30).
int32_t moduleKind(uint32_t address);
// The short type designation of a module kind; "Unknown device" from 17 on.
std::string_view moduleTypeName(int32_t kindIndex);

// One module of a controller system.
class ControllerRecord {
public:
    // Also sets the kind index.
    void setModuleAddress(uint32_t address);
    uint32_t moduleAddress() const { return address_; }
    int32_t kindIndex() const { return kindIndex_; }
    // What the module answers to the hardware-variant query, 255 for no answer.
    int32_t hardwareVariant() const { return hardwareVariant_; }
    void setHardwareVariant(int32_t variant) { hardwareVariant_ = variant; }
    std::string moduleTypeName() const;

    const FirmwareInfo& installedFirmware() const { return installed_; }
    void setInstalledFirmware(const FirmwareInfo& firmware) { installed_ = firmware; }

    // The firmware files that fit this module.
    const std::vector<FirmwareInfo>& candidates() const { return candidates_; }
    void addCandidate(const FirmwareInfo& firmware) { candidates_.push_back(firmware); }
    void clearCandidates() { candidates_.clear(); }

    // -1 for none.
    int32_t selectedCandidate() const { return selected_; }
    // False and unchanged unless -1 <= index < number of candidates.
    bool setSelectedCandidate(int32_t index);

    bool updateFlag() const { return update_; }
    void setUpdateFlag(bool update) { update_ = update; }

private:
    int32_t kindIndex_ = 0;
    int32_t hardwareVariant_ = 0;
    uint32_t address_ = 0;
    FirmwareInfo installed_;
    std::vector<FirmwareInfo> candidates_;
    int32_t selected_ = -1;
    bool update_ = false;
};

// The modules of a system in the order the bootloader listed them; the
// index is the controller index.
class ControllerList {
public:
    int32_t count() const { return static_cast<int32_t>(records_.size()); }
    // Throws UpdateException 2 for an index outside the list.
    ControllerRecord& at(int32_t index);
    const ControllerRecord& at(int32_t index) const;
    void clear() { records_.clear(); }
    void append(const ControllerRecord& record) { records_.push_back(record); }

private:
    size_t checkedIndex(int32_t index) const;

    std::vector<ControllerRecord> records_;
};

}  // namespace vxfw
