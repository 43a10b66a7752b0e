#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "VeltraxIO.h"
#include "ctl/CtlLog.h"
#include "log/Log.h"
#include "platform/ModulePath.h"

namespace {

using ctltest::LogEntry;
using vxctl::LogSettings;
using vxctl::OldLogs;

using LogFile = ctltest::LogTest;

std::vector<std::string> texts(const std::vector<LogEntry>& entries) {
    std::vector<std::string> result;
    for (const LogEntry& entry : entries) result.push_back(entry.text);
    return result;
}

TEST_F(LogFile, StartsWithItsHeaderLinesAndEndsWithTheStopLine) {
    ctltest::TempDir dir;
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 1)));
    EXPECT_EQ(vxctl::logPath(), dir.file("VeltraxCTL.log"));
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 0)));
    EXPECT_EQ(vxctl::logPath(), "");

    const auto entries = ctltest::logEntries(dir.file("VeltraxCTL.log"));
    ASSERT_EQ(entries.size(), 4u);
    for (const LogEntry& entry : entries) {
        EXPECT_EQ(entry.source, "API ");
        EXPECT_EQ(entry.tag, "0");
    }
    EXPECT_TRUE(std::regex_match(entries[0].text, std::regex(R"(Logging started \d{4}\.\d\d\.\d\d-\d\d:\d\d:\d\d)")))
        << entries[0].text;
    EXPECT_EQ(entries[1].text, "VeltraxCTL (version 1.1.44.63212) loaded from " + vxplatform::executableDirectory());
    int major = 0, minor = 0, update = 0;
    ASSERT_EQ(VX_IO_GetVersion(&major, &minor, &update), VX_IO_OK);
    EXPECT_EQ(entries[2].text, "VeltraxIO (version " + std::to_string(major) + "." + std::to_string(minor) + "." +
                                   std::to_string(update) + ") loaded from " + vxplatform::executableDirectory());
    EXPECT_EQ(entries[3].text, "Logging stopped");
}

TEST_F(LogFile, ALineIsWrittenWhenTheLevelIsAtLeastItsOwn) {
    ctltest::TempDir dir;
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 2)));
    for (int32_t level = 0; level <= 4; ++level) vxctl::logLine("level " + std::to_string(level), level);
    vxctl::logDeviceLine(vxctl::ModuleType::Drive, 3, "from the device");
    vxctl::setLogLevel(4);
    vxctl::logLine("now at four", 4);

    std::vector<std::string> lines;
    for (const LogEntry& entry : ctltest::logEntries(dir.file("VeltraxCTL.log")))
        lines.push_back(entry.source + "[" + entry.tag + "] " + entry.text);
    const std::vector<std::string> tail(lines.begin() + 3, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"API [0] level 0", "API [1] level 1", "API [2] level 2",
                                              "DEV [DM,3] from the device", "API [4] now at four"}));
}

TEST_F(LogFile, PacketsAreDumpedAsHexAtLevelFourOnly) {
    ctltest::TempDir dir;
    const uint8_t frame[] = {0xA0, 0x05, 0x00, 0x30, 0x0B, 0xAD, 0xF0, 0x0D};
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 3)));
    vxctl::logPacket("OUT", frame, sizeof frame);
    vxctl::setLogLevel(4);
    vxctl::logPacket("OUT", frame, sizeof frame);
    vxctl::logPacket(" IN", frame, 4);
    EXPECT_EQ(ctltest::apiTexts(dir.file("VeltraxCTL.log"), 4),
              (std::vector<std::string>{"OUT packet: a0 05 00 30 0b ad f0 0d", " IN packet: a0 05 00 30"}));
}

TEST_F(LogFile, DeleteTruncatesAppendKeepsWithASeparatorKeepNeverOverwrites) {
    ctltest::TempDir dir;
    auto start = [&](OldLogs policy) {
        LogSettings settings = ctltest::logInto(dir.path(), 1);
        settings.oldLogs = policy;
        ASSERT_TRUE(vxctl::applySettings(settings));
        vxctl::logLine(dir.path(), 1);
        vxctl::setLogLevel(0);
    };
    const std::string log = dir.file("VeltraxCTL.log");

    ctltest::writeFile(log, "earlier\n");
    start(OldLogs::Delete);
    EXPECT_EQ(texts(ctltest::logEntries(log)).front().rfind("Logging started", 0), 0u);

    ctltest::writeFile(log, "earlier\n");
    start(OldLogs::Append);
    start(OldLogs::Append);
    const auto lines = ctltest::readLines(log);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "earlier");
    EXPECT_EQ(lines[1], "###############");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "###############"), 2);

    // Two starts within one second share the time in their name; the second
    // takes a name of its own.
    std::filesystem::remove(log);
    start(OldLogs::Keep);
    start(OldLogs::Keep);
    std::set<std::string> kept;
    for (const auto& file : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = file.path().filename().string();
        EXPECT_TRUE(std::regex_match(name, std::regex(R"(VeltraxCTL_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d(_2)?\.log)")))
            << name;
        kept.insert(file.path().string());
        const auto entries = texts(ctltest::logEntries(file.path().string()));
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.front().rfind("Logging started", 0), 0u) << name;
        EXPECT_EQ(entries.back(), "Logging stopped") << name;
    }
    EXPECT_EQ(kept.size(), 2u);
}

TEST_F(LogFile, ANegativeLevelChangesNothingAndDeviceLoggersKeepTheLogOpen) {
    ctltest::TempDir dir;
    EXPECT_FALSE(vxctl::applySettings(ctltest::logInto(dir.path(), -1)));
    EXPECT_EQ(vxctl::logPath(), "");

    // The settings a log took over stay after it stops; device loggers apply them.
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 1)));
    vxctl::setLogLevel(0);
    EXPECT_EQ(vxctl::logPath(), "");
    vxctl::deviceLoggerCreated();
    EXPECT_EQ(vxctl::logPath(), dir.file("VeltraxCTL.log"));
    EXPECT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 0)));
    EXPECT_EQ(vxctl::logPath(), dir.file("VeltraxCTL.log")) << "a device logger still exists";
    vxctl::deviceLoggerDestroyed();
    EXPECT_EQ(vxctl::logPath(), "");
}

TEST_F(LogFile, AnUnwritableFolderLeavesLoggingOffSilently) {
    ctltest::TempDir dir;
    EXPECT_TRUE(vxctl::applySettings(ctltest::logInto(dir.file("missing/folder"), 2)));
    EXPECT_EQ(vxctl::logPath(), "");
    EXPECT_EQ(vxctl::logLevel(), 0);
}

TEST_F(LogFile, LevelAndArgumentFlagAreReadWhileSettersChangeThem) {
    ctltest::TempDir dir;
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 1)));
    std::thread writer([] {
        for (int i = 0; i < 2000; ++i) {
            vxctl::logLine("busy", 3);
            (void)vxctl::logArguments();
        }
    });
    for (int i = 0; i < 200; ++i) vxctl::setLogLevel(1 + i % 3);
    writer.join();
    EXPECT_EQ(vxctl::logLevel(), 1 + 199 % 3);
}

}  // namespace
