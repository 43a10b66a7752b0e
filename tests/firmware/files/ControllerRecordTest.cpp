#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FilesTestSupport.h"
#include "ControllerRecord.h"
#include "FirmwareFile.h"
#include "UpdateException.h"
#include "sim/BootImage.h"
#include "../FirmwareTestSupport.h"

namespace {

using vxfw::ControllerList;
using vxfw::ControllerRecord;
using vxfw::FirmwareInfo;
using Frames = std::vector<std::vector<uint8_t>>;

FirmwareInfo firmware(int32_t state, int32_t kind, int32_t w1, int32_t w2, int32_t w3) {
    FirmwareInfo info;
    info.setState(state);
    info.setKindIndex(kind);
    info.setVersion(w1, w2, w3);
    return info;
}

const FirmwareInfo kNone = firmware(FirmwareInfo::kInstalled, 0, 0x1A, 4, 300);
const FirmwareInfo kDamaged = firmware(FirmwareInfo::kDamaged, 2, 0x1A, 4, 300);
const FirmwareInfo kUnknown = firmware(FirmwareInfo::kInstalled, 2, 255, 255, 65535);

FirmwareInfo version(int32_t w1, int32_t w2, int32_t w3) {
    return firmware(FirmwareInfo::kFromFile, 2, w1, w2, w3);
}

TEST(ControllerRecordTest, KindIndexAndTypeNameOfAnAddress) {
    struct Case {
        uint32_t address;
        int32_t kind;
        const char* name;  // empty: one of our designations
    };
    const Case cases[] = {
        {0x0000, 0, "0"},     {0x3123, 3, ""},        {0x1FFF, 1, ""},
        {0xC000, 12, ""},     {0xD000, 13, "TBD"},    {0xE0FF, 14, "TBD"},
        {0xF000, 15, "0"},    {0xF1AB, 16, ""},       {0xF200, 17, "Unknown device"},
        {0xFF00, 30, "Unknown device"}, {0x1F100, 16, ""},
    };
    std::set<std::string> designations;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        ControllerRecord record;
        record.setModuleAddress(c.address);
        EXPECT_EQ(record.moduleAddress(), c.address);
        EXPECT_EQ(record.kindIndex(), c.kind);
        EXPECT_EQ(vxfw::moduleKind(c.address), c.kind);
        if (*c.name) {
            EXPECT_EQ(record.moduleTypeName(), c.name);
        }
    }
    for (int32_t kind : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16}) {
        const std::string name(vxfw::moduleTypeName(kind));
        EXPECT_TRUE(name.size() >= 2 && name.size() <= 5) << kind << " " << name;
        designations.insert(name);
    }
    EXPECT_EQ(designations.size(), 13u);
    EXPECT_EQ(vxfw::moduleTypeName(-1), "Unknown device");
}

TEST(ControllerRecordTest, VersionTextAndComparison) {
    const std::pair<FirmwareInfo, const char*> texts[] = {
        {kDamaged, "damaged"},
        {firmware(FirmwareInfo::kDamaged, 2, 255, 255, 65535), "damaged"},
        {firmware(FirmwareInfo::kDamaged, 0, 0, 0, 0), "damaged"},
        {kNone, "none"},
        {firmware(FirmwareInfo::kInstalled, 0, 255, 255, 65535), "none"},
        {version(0, 0, 0), "none"},
        {kUnknown, "unknown"},
        {version(0x1A, 4, 300), "(3) 2.4.300"},
        {version(0, 0, 1), "(0) 0.0.1"},
        {version(0xFF, 0, 0), "(31) 7.0.0"},
    };
    for (const auto& [info, text] : texts) EXPECT_EQ(info.versionText(), text);
    EXPECT_EQ(version(0x1A, 4, 300).firmwareLine(), 3);

    struct Case {
        FirmwareInfo a, b;
        int result;
    };
    const Case cases[] = {
        {kNone, kNone, -1},
        {kNone, kUnknown, -1},
        {kDamaged, kDamaged, -1},
        {kDamaged, version(1, 0, 0), -1},
        {kUnknown, kUnknown, 1},
        {kUnknown, kNone, 1},
        {kUnknown, version(0xFF, 254, 65534), 1},
        {version(0, 0, 1), kNone, 1},
        {version(0, 0, 1), kDamaged, 1},
        {version(0xFF, 0, 0), kUnknown, -1},
        {version(0x1A, 4, 300), version(0x1A, 4, 300), 0},
        {version(0x1A, 4, 300), version(0x1A, 4, 299), 1},
        {version(0x1A, 3, 999), version(0x1A, 4, 0), -1},
        // The line is the most significant part of word 1.
        {version(0x21, 0, 0), version(0x1F, 9, 9), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a.versionText() + " vs " + c.b.versionText());
        EXPECT_EQ(FirmwareInfo::compareVersions(c.a, c.b), c.result);
    }
}

TEST(ControllerRecordTest, RecordsCandidatesAndTheList) {
    ControllerRecord record;
    EXPECT_EQ(record.kindIndex(), 0);
    EXPECT_EQ(record.hardwareVariant(), 0);
    EXPECT_EQ(record.selectedCandidate(), -1);
    EXPECT_FALSE(record.updateFlag());
    EXPECT_EQ(record.installedFirmware().versionText(), "none");

    record.setModuleAddress(0x2001);
    record.setInstalledFirmware(version(0x1A, 4, 300));
    record.addCandidate(version(0x1A, 4, 301));
    record.addCandidate(version(0x1A, 5, 0));
    const std::pair<int32_t, int32_t> selections[] = {
        {1, 1}, {2, 1}, {-2, 1}, {-1, -1}, {0, 0}, {INT32_MAX, 0}};
    for (const auto& [asked, kept] : selections) {
        EXPECT_EQ(record.setSelectedCandidate(asked), asked == kept) << asked;
        EXPECT_EQ(record.selectedCandidate(), kept) << asked;
    }

    ControllerList list;
    list.append(record);
    record.clearCandidates();  // the list holds its own copy
    EXPECT_EQ(list.count(), 1);
    ASSERT_EQ(list.at(0).candidates().size(), 2u);
    EXPECT_EQ(list.at(0).candidates()[1].versionText(), "(3) 2.5.0");
    list.at(0).setUpdateFlag(true);
    EXPECT_TRUE(std::as_const(list).at(0).updateFlag());
    for (int32_t index : {-1, 1})
        EXPECT_TRUE(fwtest::throwsUpdate([&] { list.at(index); }, vxfw::kInvalidParameter)) << index;
    list.clear();
    EXPECT_EQ(list.count(), 0);
}

std::string hexOf(const Frames& frames) {
    std::string text;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const auto& frame : frames)
        for (uint8_t byte : frame) text += {kDigits[byte >> 4], kDigits[byte & 0x0F]};
    return text;
}

TEST(ControllerRecordTest, FirmwareFileHeaderAndBody) {
    vxsim::BootImageRecipe recipe;
    recipe.kindIndex = 3;
    recipe.variant = 7;
    recipe.frameContent = 300;  // frames longer than 255 bytes
    const Frames image = vxsim::bootImageFrames(recipe);
    const std::string fw6 = vxsim::bootImageFileText(recipe, true);
    const std::string plain = vxsim::bootImageFileText(recipe, false);
    const std::string header6 = "031A04012C07";
    const Frames split = {{0x00, 0x00}, {0x00, 0x01, 0xAA}, {0x00, 0x03, 0x01, 0x02, 0x03}};

    constexpr int32_t kOk = -1;
    constexpr int32_t kInvalidFileContent = 11;
    struct Case {
        const char* name;
        std::string content;
        int32_t headerCode;  // kOk: read, with the kind and the variant below
        int32_t variant;
        bool decodes;
        Frames frames;
    };
    const Case cases[] = {
        {"a.fw6", fw6, kOk, 7, true, image},
        {"a.hex", plain, kOk, 255, true, image},
        // Upper case is no ".fw6": the body starts at character 10.
        {"a.FW6", plain, kOk, 255, true, image},
        {"a.fw6", header6 + hexOf(split), kOk, 7, true, split},
        {"a.fw6", header6, kOk, 7, true, {}},
        {"a.fw6", fw6 + "\r\n", kOk, 7, false, {}},
        {"a.fw6", fw6 + "\n", kOk, 7, false, {}},
        {"a.fw6", "031a04012C07" + hexOf(image), kInvalidFileContent, 0, true, image},
        {"a.fw6", header6 + "0001aa", kOk, 7, false, {}},
        {"a.fw6", header6 + "0003AABB", kOk, 7, false, {}},
        {"a.fw6", header6 + "0001AA00", kOk, 7, false, {}},
        {"a.fw6", header6 + "000", kOk, 7, false, {}},
        {"a.fw6", "", kInvalidFileContent, 0, false, {}},
        {"a.hex", "031A04012C0", kInvalidFileContent, 0, false, {}},
        {"a.hex", "031A04012C", kInvalidFileContent, 0, false, {}},
    };
    fwtest::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.content.substr(0, 24));
        const std::string path = dir / c.name;
        fwtest::writeFile(path, c.content);

        FirmwareInfo info = version(0x08, 1, 2);
        info.setFileName(path);
        if (c.headerCode == kOk) {
            ASSERT_NO_THROW(info.loadHeader());
            EXPECT_EQ(info.kindIndex(), 3);
            EXPECT_EQ(info.versionText(), "(3) 2.4.300");
            EXPECT_EQ(info.hardwareVariant(), c.variant);
            EXPECT_EQ(info.state(), FirmwareInfo::kFromFile);
        } else {
            EXPECT_TRUE(fwtest::throwsUpdate([&] { info.loadHeader(); }, c.headerCode));
            EXPECT_EQ(info.versionText(), "(1) 0.1.2");  // unchanged
        }

        vxfw::FirmwareFrames decoded;
        decoded.frames = {{1}};
        const std::string error = vxfw::decodeFirmwareFile(path, decoded);
        if (c.decodes) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(decoded.frames, c.frames);
            size_t total = 0;
            for (const auto& frame : c.frames) total += frame.size();
            EXPECT_EQ(decoded.decodedBytes, total);
        } else {
            EXPECT_EQ(error, "invalid file content: " + path);
            EXPECT_TRUE(decoded.frames.empty());
        }
    }

    const std::string missing = dir / "missing.fw6";
    FirmwareInfo info;
    info.setFileName(missing);
    EXPECT_TRUE(fwtest::throwsUpdate([&] { info.loadHeader(); }, vxfw::kCouldNotOpenFile, missing));
    info.setFileName(dir.path());
    EXPECT_TRUE(fwtest::throwsUpdate([&] { info.loadHeader(); }, vxfw::kCouldNotOpenFile,
                                     dir.path()));
    info.setFileName("");
    EXPECT_TRUE(fwtest::throwsUpdate([&] { info.loadHeader(); }, vxfw::kInvalidParameter,
                                     "no firmware file given"));
    vxfw::FirmwareFrames decoded;
    EXPECT_EQ(vxfw::decodeFirmwareFile(missing, decoded), "could not open firmware file: " + missing);
}

}  // namespace
