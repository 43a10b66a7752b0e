#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "FilesTestSupport.h"
#include "DataBlockSequence.h"
#include "FirmwareFile.h"
#include "UpdateConfiguration.h"
#include "UpdateException.h"
#include "sim/BootImage.h"

namespace {

constexpr off_t kTebibyte = off_t{1} << 40;

const char kConfigurationHead[] =
    "<!DOCTYPE VXFirmwareUpdateConfiguration>\n<VXFirmwareUpdateConfiguration>\n";

// A file that starts as the format wants and then claims a tebibyte: a hole
// that takes no disk, read as zeros.
void writeSparse(const std::string& path, const std::string& start) {
    fwtest::writeFile(path, start);
    ASSERT_EQ(::truncate(path.c_str(), kTebibyte), 0) << path;
}

std::string loadedNames(const std::string& configurationPath) {
    vxfw::UpdateConfiguration configuration;
    try {
        configuration.load(configurationPath);
    } catch (const vxfw::UpdateException& failure) {
        return failure.text();
    }
    std::string names;
    for (const auto& entry : configuration.firmware())
        names += entry.fileName().substr(entry.fileName().rfind('/') + 1) + ";";
    return names;
}

// Each reader refuses the file as it refuses an unusable one, at once and
// without setting its size aside.
TEST(HugeFilesTest, SparseTebibyteFilesAreRefused) {
    fwtest::TempDir dir;
    vxsim::BootImageRecipe recipe;
    recipe.kindIndex = 2;
    recipe.variant = 3;
    ASSERT_TRUE(vxsim::writeBootImageFile(dir / "small.fw6", recipe));
    const std::string header = fwtest::readFile(dir / "small.fw6").substr(0, 12);
    std::string blockStart = "Veltrax DataFile";
    for (const uint32_t word : {16u, 0xFFFFFFF0u, 0x10C2u, 1u})
        for (int i = 0; i < 4; ++i) blockStart.push_back(static_cast<char>(word >> (8 * i)));

    struct Row {
        const char* file;
        std::string start;
        std::function<std::string(const std::string&)> outcome;
        std::string expected;
    };
    const Row rows[] = {
        {"update.xml", kConfigurationHead, loadedNames, "configuration error (invalid file size)"},
        {"huge.fw6", header,
         [&](const std::string&) {
             fwtest::writeFile(dir / "listing.xml",
                               std::string(kConfigurationHead) + "<file name=\"huge.fw6\"/>\n" +
                                   "<file name=\"small.fw6\"/>\n</VXFirmwareUpdateConfiguration>\n");
             return loadedNames(dir / "listing.xml");
         },
         "small.fw6;"},
        {"sent.fw6", header,
         [](const std::string& path) {
             vxfw::FirmwareFrames frames;
             return vxfw::decodeFirmwareFile(path, frames);
         },
         "invalid file content: " + (dir / "sent.fw6")},
        {"QMXConfig", blockStart,
         [](const std::string& path) {
             vxdata::DataBlockSequence blocks;
             const bool read = blocks.read(path);
             return std::to_string(read) + " " + blocks.lastError() + " " + std::to_string(blocks.count());
         },
         "0 invalid file content 0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        writeSparse(dir / row.file, row.start);
        EXPECT_EQ(row.outcome(dir / row.file), row.expected);
    }
}

}  // namespace
