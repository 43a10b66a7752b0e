#include <dlfcn.h>

#include <sstream>
#include <thread>

#include "LogTestSupport.h"
#include "QMXControl.h"
#include "platform/ModulePath.h"

namespace {

using namespace logtest;

qmx::IniValues parse(const std::string& text) {
    std::istringstream in(text);
    return qmx::parseIni(in, "/lib/folder", "/app/folder");
}

const std::string kHeader = "; QMXControl ini file\n";

TEST(IniParse, FirstLineMustBeTheHeader) {
    EXPECT_TRUE(parse(kHeader).headerOk);
    EXPECT_TRUE(parse("; QMXControl ini file  \t\r\nLogLevel 2\n").headerOk);
    EXPECT_FALSE(parse("").headerOk);
    EXPECT_FALSE(parse(" ; QMXControl ini file\n").headerOk);
    EXPECT_FALSE(parse("; qmxcontrol ini file\n").headerOk);
    EXPECT_FALSE(parse("LogLevel 2\n; QMXControl ini file\n").headerOk);
    EXPECT_EQ(parse("; QMXControl ini file\nLogLevel 2\n").level, 2u);
    EXPECT_EQ(parse("; VeltraxCTL ini file\nLogLevel 2\n").level, std::nullopt);
}

TEST(IniParse, LogLevelReadsLikeAtoiAndIsClampedToFive) {
    const struct {
        const char* value;
        uint32_t level;
    } cases[] = {{"0", 0}, {"2", 2}, {"5", 5}, {"6", 5}, {"9", 5}, {"-1", 5}, {"3abc", 3}, {"x", 0}, {"+4", 4},
                 {"99999999999999", 5}};
    for (const auto& c : cases) {
        const auto values = parse(kHeader + "LogLevel " + c.value + "\n");
        ASSERT_TRUE(values.level.has_value()) << c.value;
        EXPECT_EQ(*values.level, c.level) << c.value;
    }
}

TEST(IniParse, LogArgsIsOnForAnyNonZeroNumber) {
    EXPECT_EQ(parse(kHeader + "LogArgs 0\n").arguments, false);
    EXPECT_EQ(parse(kHeader + "LogArgs 1\n").arguments, true);
    EXPECT_EQ(parse(kHeader + "LogArgs -7\n").arguments, true);
    EXPECT_EQ(parse(kHeader).arguments, std::nullopt);
}

TEST(IniParse, LogPathNamesAFolderOrOneOfTheTwoModuleFolders) {
    EXPECT_EQ(parse(kHeader + "LogPath lib\n").folder, "/lib/folder");
    EXPECT_EQ(parse(kHeader + "LogPath dll\n").folder, "/lib/folder");
    EXPECT_EQ(parse(kHeader + "LogPath app\n").folder, "/app/folder");
    EXPECT_EQ(parse(kHeader + "LogPath /var/log/qmx\n").folder, "/var/log/qmx");
    EXPECT_EQ(parse(kHeader + "LogPath /data/my logs/today \r\n").folder, "/data/my logs/today");
    EXPECT_EQ(parse(kHeader + "LogPath\n").folder, std::nullopt);
}

TEST(IniParse, OldLogsTakesOnlyItsThreeWords) {
    EXPECT_EQ(parse(kHeader + "OldLogs append\n").policy, uint32_t{qmx::OldLogsAppend});
    EXPECT_EQ(parse(kHeader + "OldLogs delete\n").policy, uint32_t{qmx::OldLogsDelete});
    EXPECT_EQ(parse(kHeader + "OldLogs keep\n").policy, uint32_t{qmx::OldLogsKeep});
    EXPECT_EQ(parse(kHeader + "OldLogs Keep\n").policy, std::nullopt);
    EXPECT_EQ(parse(kHeader + "OldLogs append\nOldLogs other\n").policy, uint32_t{qmx::OldLogsAppend});
}

TEST(IniParse, KeysAndValuesAreSeparatedByBlanksOnly) {
    // A tab does not separate: the line is one piece and so ignored.
    const auto values = parse(kHeader + "LogLevel\t3\nLogArgs\t0\nOldLogs\tkeep\nLogPath\t/tabbed\n");
    EXPECT_EQ(values.level, std::nullopt);
    EXPECT_EQ(values.arguments, std::nullopt);
    EXPECT_EQ(values.policy, std::nullopt);
    EXPECT_EQ(values.folder, std::nullopt);
    // Within a folder name a tab is kept like any other character.
    EXPECT_EQ(parse(kHeader + "LogPath /data/a\tb c\n").folder, "/data/a\tb c");
    EXPECT_EQ(parse(kHeader + "  LogLevel   4\n").level, 4u);
}

TEST(IniParse, UnknownKeysAndShortLinesAreIgnored) {
    const auto values = parse(kHeader + "loglevel 3\nLogLevel\n; comment line\nColour blue\n\nLogLevel 4 extra\n");
    EXPECT_EQ(values.level, 4u);
    EXPECT_EQ(values.folder, std::nullopt);
}

class IniSearch : public LogTest {};

TEST_F(IniSearch, FirstFolderHoldingTheFileWinsAndItsSettingsApply) {
    TempDir first, second, logs;
    writeFile(second.file("QMXControl.ini"), kHeader + "LogLevel 3\nLogArgs 0\nOldLogs keep\nLogPath " + logs.path() + "\n");
    VX_SetLogHandler(captureHandler);
    qmx::readIniOnceFrom({first.path(), second.path()});
    EXPECT_EQ(qmx::iniFolder(), second.path());
    EXPECT_EQ(qmx::logLevel.load(), 3u);
    EXPECT_FALSE(qmx::logArguments.load());
    EXPECT_EQ(qmx::oldLogPolicy.load(), uint32_t{qmx::OldLogsKeep});
    const auto messages = handled();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Logging started.");
    EXPECT_EQ(messages[1], "QMXControl.ini loaded from " + second.path());

    // Started: later searches change nothing.
    writeFile(first.file("QMXControl.ini"), kHeader + "LogLevel 1\n");
    qmx::readIniOnceFrom({first.path(), second.path()});
    EXPECT_EQ(qmx::iniFolder(), second.path());
    EXPECT_EQ(qmx::logLevel.load(), 3u);
}

TEST_F(IniSearch, NoFileChangesNothingAndIsSearchedAgainNextTime) {
    TempDir folder;
    qmx::readIniOnceFrom({folder.path()});
    EXPECT_EQ(qmx::iniFolder(), "");
    EXPECT_EQ(qmx::logLevel.load(), 0u);
    EXPECT_TRUE(qmx::fileLogging.load());

    writeFile(folder.file("QMXControl.ini"), kHeader + "LogLevel 1\nLogPath " + folder.path() + "\n");
    qmx::readIniOnceFrom({folder.path()});
    EXPECT_EQ(qmx::logLevel.load(), 1u);
    EXPECT_TRUE(std::filesystem::exists(folder.file("QMXControl.log")));
}

TEST_F(IniSearch, WrongHeaderTurnsFileLoggingOffAndStartsNothing) {
    TempDir folder;
    writeFile(folder.file("QMXControl.ini"), "; some other ini file\nLogLevel 2\nLogPath " + folder.path() + "\n");
    qmx::readIniOnceFrom({folder.path()});
    EXPECT_EQ(qmx::iniFolder(), folder.path());
    EXPECT_EQ(qmx::logLevel.load(), 0u);
    EXPECT_FALSE(qmx::fileLogging.load());
    EXPECT_EQ(qmx::logFolder(), "");

    // Stays off for a level set later, until switched on again.
    VX_SetLogFolder(folder.path().c_str());
    VX_SetLogLevel(1);
    EXPECT_FALSE(std::filesystem::exists(folder.file("QMXControl.log")));
}

TEST_F(IniSearch, LevelAlreadySetSkipsTheFileParameters) {
    TempDir folder;
    writeFile(folder.file("QMXControl.ini"), kHeader + "LogLevel 5\nLogArgs 0\n");
    VX_SetLogProperty(1000, 0);
    VX_SetLogHandler(captureHandler);
    VX_SetLogLevel(1);
    qmx::stopLogging();  // level stays 1, as after VX_ReleaseSystems
    qmx::readIniOnceFrom({folder.path()});
    EXPECT_EQ(qmx::logLevel.load(), 1u);
    EXPECT_TRUE(qmx::logArguments.load());
    EXPECT_EQ(handled().back(), "logging already enabled. skipping INI file parameters");
}

TEST_F(IniSearch, ConcurrentSearchesStartLoggingOnce) {
    TempDir folder;
    writeFile(folder.file("QMXControl.ini"), kHeader + "LogLevel 1\nLogPath " + folder.path() + "\n");
    VX_SetLogHandler(captureHandler);
    std::vector<std::thread> readers;
    for (int i = 0; i < 8; ++i) readers.emplace_back([&] { qmx::readIniOnceFrom({folder.path()}); });
    for (auto& reader : readers) reader.join();
    size_t starts = 0;
    for (const auto& m : handled()) starts += m == "Logging started.";
    EXPECT_EQ(starts, 1u);
}

TEST(IniSearchFolders, ExecutableFolderFirstThenLibraryFolder) {
    const auto folders = qmx::iniSearchFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], vxplatform::executableDirectory());
    EXPECT_EQ(folders[1], qmx::libraryDirectory());
}

TEST(IniBesideLibrary, ACopyOfTheLibraryFindsTheIniBesideIt) {
    TempDir dir;
    const std::string library = dir.file("libQMXControl.so");
    std::filesystem::copy_file(vxplatform::joinPath(vxplatform::executableDirectory(), "libQMXControl.so"), library);
    writeFile(dir.file("QMXControl.ini"), kHeader + "LogLevel 1\nLogPath lib\n");

    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    const auto initSystems = reinterpret_cast<VX_STATUS (*)(unsigned int)>(::dlsym(handle, "VX_InitSystems"));
    const auto setLogLevel = reinterpret_cast<VX_STATUS (*)(unsigned int)>(::dlsym(handle, "VX_SetLogLevel"));
    ASSERT_TRUE(initSystems && setLogLevel);
    EXPECT_EQ(initSystems(4), 9u);  // reads the INI before it checks its argument
    EXPECT_EQ(setLogLevel(0), 0u);
    ::dlclose(handle);

    const auto messages = logMessages(dir.file("QMXControl.log"));
    ASSERT_GE(messages.size(), 5u);
    EXPECT_EQ(messages[1], "QMXControl.ini loaded from " + dir.path());
    EXPECT_EQ(messages[4], "QMXControl lib loaded from " + dir.path());
}

}  // namespace
