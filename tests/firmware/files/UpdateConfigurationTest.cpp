#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "FilesTestSupport.h"
#include "UpdateConfiguration.h"
#include "UpdateException.h"
#include "sim/BootImage.h"

namespace {

using vxfw::ControllerRecord;
using vxfw::UpdateConfiguration;

// Runs the test in `folder`, so that names without a folder land there.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) {
        char here[PATH_MAX];
        if (::getcwd(here, sizeof here)) previous_ = here;
        if (::chdir(folder.c_str()) != 0) ADD_FAILURE() << "chdir " << folder;
    }
    ~WorkingFolder() {
        if (::chdir(previous_.c_str()) != 0) ADD_FAILURE() << "chdir back";
    }

private:
    std::string previous_;
};

void writeFirmware(const std::string& path, uint8_t kind, uint8_t variant) {
    vxsim::BootImageRecipe recipe;
    recipe.kindIndex = kind;
    recipe.variant = variant;
    ASSERT_TRUE(vxsim::writeBootImageFile(path, recipe)) << path;
}

std::string configuration(const std::vector<std::string>& files) {
    std::string text = "<!DOCTYPE VXFirmwareUpdateConfiguration>\n<VXFirmwareUpdateConfiguration>\n";
    for (const std::string& file : files) text += "  " + file + "\n";
    return text + "</VXFirmwareUpdateConfiguration>\n";
}

TEST(UpdateConfigurationTest, FoldersAndNames) {
    const std::pair<const char*, const char*> folders[] = {
        {"C:\\cfg\\update.xml", "C:\\cfg\\"}, {"/cfg/update.xml", "/cfg/"},
        {"update.xml", ""},                   {"", ""},
        {"a/b\\", "a/b\\"},                   {"/", "/"},
    };
    for (const auto& [path, folder] : folders) EXPECT_EQ(UpdateConfiguration::directoryOf(path), folder);

    struct Case {
        const char* folder;
        const char* name;
        const char* path;
    };
    const Case names[] = {
        {"C:\\cfg\\", "fw/a.fw6", "C:\\cfg\\fw/a.fw6"},
        {"/cfg/", "fw/a.fw6", "/cfg/fw/a.fw6"},
        {"/cfg/", "D:\\x.fw6", "D:\\x.fw6"},
        {"/cfg/", "D:", "D:"},
        {"/cfg/", "\\x.fw6", "/cfg/\\x.fw6"},
        {"/cfg/", "/abs/x.fw6", "/abs/x.fw6"},
        {"", "x.fw6", "x.fw6"},
        {"/cfg/", "x", "/cfg/x"},
    };
    for (const Case& c : names)
        EXPECT_EQ(UpdateConfiguration::firmwarePath(c.folder, c.name), c.path) << c.name;
}

TEST(UpdateConfigurationTest, ListedFilesAndCandidates) {
    fwtest::TempDir dir;
    const WorkingFolder here(dir.path());
    std::filesystem::create_directories(dir / "cfg/fw");
    std::filesystem::create_directories(dir / "abs");
    writeFirmware(dir / "cfg/fw/a.fw6", 2, 5);
    writeFirmware(dir / "abs/b.hex", 2, 5);
    writeFirmware(dir / "Q:c.fw6", 3, 9);
    writeFirmware(dir / "cfg/\\d.hex", 2, 5);
    writeFirmware(dir / "cfg/fw/e.hex", 2, 5);
    fwtest::writeFile(dir / "cfg/fw/bad.fw6", "021a04012C05");
    const std::string absolute = dir / "abs/b.hex";

    // What stands after the last read entry: the list ends there.
    for (const char* end : {"<file/>", "<file name=\"\"/>", "<file Name=\"fw/e.hex\"/>"}) {
        SCOPED_TRACE(end);
        const std::string path = dir / "cfg/update.xml";
        fwtest::writeFile(path, configuration({
                                    "<file name=\"fw/a.fw6\"/>",
                                    "<other name=\"fw/e.hex\"/>",
                                    "<file name=\"" + absolute + "\">ignored</file>",
                                    "<file name=\"fw/bad.fw6\"/>",
                                    "<file name=\"fw/missing.hex\"/>",
                                    "<file name=\"Q:c.fw6\"/>",
                                    "<file name=\"\\d.hex\"/>",
                                    end,
                                    "<file name=\"fw/e.hex\"/>",
                                }));
        UpdateConfiguration config;
        ASSERT_NO_THROW(config.load(path));
        std::vector<std::string> listed;
        for (const auto& entry : config.firmware()) listed.push_back(entry.fileName());
        EXPECT_EQ(listed, (std::vector<std::string>{dir / "cfg/fw/a.fw6", absolute, "Q:c.fw6",
                                                    dir / "cfg/\\d.hex"}));

        struct Case {
            uint32_t address;
            int32_t variant;
            std::vector<std::string> candidates;
        };
        const Case cases[] = {
            {0x2001, 255, {absolute, dir / "cfg/\\d.hex"}},
            {0x2002, 5, {dir / "cfg/fw/a.fw6"}},
            {0x3000, 9, {"Q:c.fw6"}},
            {0x3000, 255, {}},
            {0x4000, 5, {}},
        };
        for (const Case& c : cases) {
            ControllerRecord record;
            record.setModuleAddress(c.address);
            record.setHardwareVariant(c.variant);
            record.addCandidate(config.firmware().front());
            config.assignCandidates(record);
            std::vector<std::string> names;
            for (const auto& candidate : record.candidates()) names.push_back(candidate.fileName());
            EXPECT_EQ(names, c.candidates) << c.address << " " << c.variant;
        }
    }
}

TEST(UpdateConfigurationTest, AFailedLoadKeepsTheList) {
    fwtest::TempDir dir;
    writeFirmware(dir / "a.hex", 2, 0);
    const std::string good = dir / "good.xml";
    fwtest::writeFile(good, configuration({"<file name=\"a.hex\"/>"}));
    const std::string empty = dir / "empty.xml";
    fwtest::writeFile(empty, configuration({"<files name=\"a.hex\"/>"}));

    struct Case {
        std::string content;  // empty: no file at all
        const char* text;
    };
    const Case cases[] = {
        {"<!DOCTYPE Other><Other><file name=\"a.hex\"/></Other>",
         "configuration error (wrong document type)"},
        {"<!DOCTYPE VXFirmwareUpdateConfiguration><VXFirmwareUpdateConfiguration>",
         "configuration error (open tags remaining)"},
        {"<?xml version=\"1.0\"?>" + configuration({}), "configuration error (parse error)"},
        {"", "configuration error (could not open file)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        UpdateConfiguration config;
        ASSERT_NO_THROW(config.load(good));
        ASSERT_EQ(config.firmware().size(), 1u);
        const std::string bad = dir / "bad.xml";
        std::filesystem::remove(bad);
        if (!c.content.empty()) fwtest::writeFile(bad, c.content);
        try {
            config.load(bad);
            ADD_FAILURE() << "loaded";
        } catch (const vxfw::UpdateException& error) {
            EXPECT_EQ(error.code(), vxfw::kConfigurationError);
            EXPECT_EQ(error.text(), c.text);
        }
        EXPECT_EQ(config.firmware().size(), 1u);
        ASSERT_NO_THROW(config.load(empty));
        EXPECT_TRUE(config.firmware().empty());
    }
}

}  // namespace
