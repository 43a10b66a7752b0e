#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "sim/UpdateFolder.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(UpdateFolder, OneNewerFilePerKindNamedInTheConfiguration) {
    // Two modules of kind 2 at different versions, one of kind 6 without a
    // variant, one of another line.
    const std::vector<vxsim::BootModule> modules = {
        {0x2001, 3, true, 0x09, 3, 17}, {0x2002, 3, true, 0x09, 7, 1}, {0x6001, std::nullopt, true, 0x11, 1, 2}};
    const auto files = vxsim::newerFirmware(modules, 6, 32);
    ASSERT_EQ(files.size(), 2u);
    struct Expected {
        const char* name;
        uint8_t kind;
        uint8_t variant;
        uint8_t version1;
        uint8_t version2;
    };
    const Expected kExpected[] = {{"kind2.fw6", 2, 3, 0x09, 8}, {"kind6.fw6", 6, vxsim::bootimage::kAnyVariant, 0x11, 2}};
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(kExpected[i].name);
        EXPECT_EQ(files[i].name, kExpected[i].name);
        EXPECT_EQ(files[i].recipe.kindIndex, kExpected[i].kind);
        EXPECT_EQ(files[i].recipe.variant, kExpected[i].variant);
        EXPECT_EQ(files[i].recipe.version1, kExpected[i].version1);
        EXPECT_EQ(files[i].recipe.version2, kExpected[i].version2);
        EXPECT_EQ(files[i].recipe.dataFrames, 6);
        EXPECT_EQ(files[i].recipe.frameContent, 32u);
    }

    char pattern[] = "/tmp/vxupdatefolderXXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path folder = fs::path(pattern) / "new";
    ASSERT_EQ(vxsim::writeUpdateFolder(folder.string(), files), "");
    EXPECT_EQ(readAll(folder / "update.xml"),
              "<!DOCTYPE VXFirmwareUpdateConfiguration>\n<VXFirmwareUpdateConfiguration>\n"
              "<file name=\"kind2.fw6\"/>\n<file name=\"kind6.fw6\"/>\n</VXFirmwareUpdateConfiguration>\n");
    for (const auto& file : files)
        EXPECT_EQ(readAll(folder / file.name), vxsim::bootImageFileText(file.recipe, true)) << file.name;
    // A folder that cannot be made is reported.
    EXPECT_NE(vxsim::writeUpdateFolder((folder / "update.xml" / "below").string(), files), "");
    fs::remove_all(pattern);
}

}  // namespace
