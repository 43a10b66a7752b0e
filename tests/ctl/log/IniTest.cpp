#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "ctl/CtlLog.h"
#include "log/Log.h"
#include "platform/ModulePath.h"

namespace {

using vxctl::LogSettings;
using vxctl::ModuleType;
using vxctl::OldLogs;

const std::string kFirstLine = "; VeltraxCTL ini file\n";

std::optional<LogSettings> parse(const std::string& text) {
    std::istringstream in(text);
    return vxctl::parseIniSettings(in);
}

TEST(IniFirstLine, MustReadExactlySoWithTrailingBlanksAllowed) {
    struct Case {
        const char* first;
        bool accepted;
    };
    const Case cases[] = {
        {"; VeltraxCTL ini file", true},       {"; VeltraxCTL ini file  ", true},
        {"; VeltraxCTL ini file\t\r", true},   {"[VeltraxCTL]", false},
        {" ; VeltraxCTL ini file", false},     {"; veltraxctl ini file", false},
        {"; QMXControl ini file", false},      {"", false},
    };
    for (const Case& c : cases) {
        const auto settings = parse(std::string(c.first) + "\nLogLevel=3\n");
        EXPECT_EQ(settings.has_value(), c.accepted) << c.first;
        if (settings) {
            EXPECT_EQ(settings->logLevel, 3) << c.first;
        }
    }
    EXPECT_FALSE(parse("").has_value());
}

struct LineCase {
    const char* line;
    std::function<void(LogSettings&)> change;  // from settings with level 2
};

const LineCase kLines[] = {
    {"LogLevel=3", [](LogSettings& s) { s.logLevel = 3; }},
    {"LogLevel 3", [](LogSettings& s) { s.logLevel = 3; }},
    {"LogLevel   3  ", [](LogSettings& s) { s.logLevel = 3; }},
    {"LogLevel\t=3", [](LogSettings& s) { s.logLevel = 3; }},
    {"LogLevel=3\r", [](LogSettings& s) { s.logLevel = 3; }},
    {"LogLevel=+1", [](LogSettings& s) { s.logLevel = 1; }},
    {"LogLevel=3 and more", [](LogSettings& s) { s.logLevel = 3; }},
    {"LogLevel=9", [](LogSettings& s) { s.logLevel = 4; }},
    {"LogLevel=-3", [](LogSettings& s) { s.logLevel = 0; }},
    {"LogLevel=2147483647", [](LogSettings& s) { s.logLevel = 4; }},
    {"LogLevel=-2147483648", [](LogSettings& s) { s.logLevel = 0; }},
    // Ignored lines leave the level at 2.
    {"LogLevel = 3", nullptr},
    {"LogLevel=2147483648", nullptr},
    {"LogLevel=-2147483649", nullptr},
    {"LogLevel=99999999999999999999", nullptr},
    {"LogLevel=abc", nullptr},
    {"LogLevel=", nullptr},
    {"LogLevel", nullptr},
    {"loglevel=3", nullptr},
    {" LogLevel=3", nullptr},
    {";LogLevel=3", nullptr},
    {"#LogLevel=3", nullptr},
    {"Unknown=3", nullptr},
    {"LogArgs=0", [](LogSettings& s) { s.logArgs = false; }},
    {"LogArgs=x", nullptr},
    {"DeviceLogging=7", [](LogSettings& s) { s.deviceLogging = true; }},
    {"LogPath=/var/log/my logs ", [](LogSettings& s) { s.logPath = "/var/log/my logs"; }},
    {"LogPath lib", [](LogSettings& s) { s.logPath = "lib"; }},
    {"OldLogs=keep", [](LogSettings& s) { s.oldLogs = OldLogs::Keep; }},
    {"OldLogs append", [](LogSettings& s) { s.oldLogs = OldLogs::Append; }},
    {"OldLogs=Keep", nullptr},
    {"MsgSrc=DM,1,2,3", [](LogSettings& s) { s.messageSources = {{ModuleType::Drive, 1, 2, 3}}; }},
    {"MsgSrc= HM , 0,5 ,-1", [](LogSettings& s) { s.messageSources = {{ModuleType::HandControl, 0, 5, -1}}; }},
    {"MsgSrc=IM,,4,,5,6,", [](LogSettings& s) { s.messageSources = {{ModuleType::Interface, 4, 5, 6}}; }},
    {"MsgSrc=XM,1,2,3", nullptr},
    {"MsgSrc=DM,1,2", nullptr},
    {"MsgSrc=DM,1,2,3,4", nullptr},
    {"MsgSrc=DM,1,x,3", nullptr},
    {"MsgSrc=DM,1,2,4294967296", nullptr},
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << '"' << c.line << '"'; }

class IniLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(IniLine, SetsItsSettingOrIsIgnored) {
    LogSettings expected;
    expected.logLevel = 2;
    if (GetParam().change) GetParam().change(expected);
    const auto settings = parse(kFirstLine + "LogLevel=2\n" + GetParam().line + "\n");
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(*settings, expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, IniLine, ::testing::ValuesIn(kLines));

TEST(IniMessageSources, EachLineAddsOneInOrder) {
    const auto settings = parse(kFirstLine + "MsgSrc=IM,0,1,2\nMsgSrc=DM,3,4,5\nMsgSrc=HM,0,1,2\n");
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->messageSources,
              (std::vector<vxctl::MessageSource>{
                  {ModuleType::Interface, 0, 1, 2}, {ModuleType::Drive, 3, 4, 5}, {ModuleType::HandControl, 0, 1, 2}}));
}

using IniSearch = ctltest::LogTest;

TEST_F(IniSearch, TheExecutablesFolderComesFirstThenTheLibrarys) {
    const auto folders = vxctl::iniSearchFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], vxplatform::executableDirectory());
    // This test program holds the library's code itself.
    EXPECT_EQ(folders[1], vxplatform::executableDirectory());
}

TEST_F(IniSearch, TheFirstFolderWithTheFileWinsAndTheCurrentDirectoryStays) {
    ctltest::TempDir empty, first, second, current, logs;
    ctltest::writeFile(first.file("VeltraxCTL.ini"), kFirstLine + "LogLevel=1\nLogPath=" + logs.path() + "\n");
    ctltest::writeFile(second.file("VeltraxCTL.ini"), kFirstLine + "LogLevel=2\nLogPath=" + logs.path() + "\n");
    ctltest::writeFile(current.file("VeltraxCTL.ini"), kFirstLine + "LogLevel=3\nLogPath=" + logs.path() + "\n");
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(current.path());

    vxctl::loadIniSettingsFrom({"", empty.path(), first.path(), second.path()});
    EXPECT_EQ(std::filesystem::current_path(), current.path());
    std::filesystem::current_path(before);

    EXPECT_EQ(vxctl::logLevel(), 1);
    EXPECT_EQ(vxctl::logPath(), logs.file("VeltraxCTL.log"));
    const auto lines = ctltest::apiTexts(logs.file("VeltraxCTL.log"), 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "VeltraxCTL.ini loaded from " + first.path());
}

TEST_F(IniSearch, WhileTheLogIsOpenTheFileIsNotReadAgain) {
    ctltest::TempDir dir, logs;
    ctltest::writeFile(dir.file("VeltraxCTL.ini"), kFirstLine + "LogLevel=1\nLogPath=" + logs.path() + "\n");
    vxctl::loadIniSettingsFrom({dir.path()});
    ctltest::writeFile(dir.file("VeltraxCTL.ini"), kFirstLine + "LogLevel=4\nLogPath=" + logs.path() + "\n");
    vxctl::loadIniSettingsFrom({dir.path()});
    vxctl::loadIniSettingsFrom({dir.path()});
    EXPECT_EQ(vxctl::logLevel(), 1);
    EXPECT_EQ(ctltest::apiTexts(logs.file("VeltraxCTL.log"), 1),
              (std::vector<std::string>(2, "Logging already enabled. Skipping INI file parameters.")));
}

TEST_F(IniSearch, ALevelOfZeroTakesNothingOver) {
    ctltest::TempDir dir, logs;
    ctltest::writeFile(dir.file("VeltraxCTL.ini"), kFirstLine + "LogLevel=0\nLogArgs=0\nLogPath=" + logs.path() + "\n");
    vxctl::loadIniSettingsFrom({dir.path()});
    EXPECT_TRUE(vxctl::logArguments());
    EXPECT_EQ(vxctl::logPath(), "");

    // Device logging asked for by the file starts the log at level 0.
    ctltest::writeFile(dir.file("VeltraxCTL.ini"), kFirstLine + "DeviceLogging=1\nLogArgs=0\nLogPath=" + logs.path() + "\n");
    vxctl::loadIniSettingsFrom({dir.path()});
    EXPECT_FALSE(vxctl::logArguments());
    EXPECT_EQ(vxctl::logPath(), logs.file("VeltraxCTL.log"));
    EXPECT_TRUE(vxctl::currentSettings().deviceLogging);
}

}  // namespace
