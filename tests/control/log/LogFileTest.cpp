#include <regex>

#include "LogTestSupport.h"
#include "QMXControl.h"

namespace {

using namespace logtest;
namespace fs = std::filesystem;

std::vector<std::string> logFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class LogFile : public LogTest {
protected:
    TempDir dir;
    std::string log() const { return dir.file("QMXControl.log"); }
    void start(uint32_t level = 2) {
        VX_SetLogFolder(dir.path().c_str());
        ASSERT_EQ(VX_SetLogLevel(level), 0u);
    }
};

TEST_F(LogFile, StartWritesTheHeaderLines) {
    start(2);
    VX_SetLogLevel(0);
    const auto messages = logMessages(log());
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_EQ(messages[0], "Logging started.");
    EXPECT_EQ(messages[1], "no QMXControl.ini file");
    EXPECT_TRUE(std::regex_match(messages[2], std::regex(R"(Current time: \d{4}/\d\d/\d\d-\d\d:\d\d:\d\d)")))
        << messages[2];
    EXPECT_EQ(messages[3], "Log level: 2");
    EXPECT_EQ(messages[4], "QMXControl lib loaded from " + qmx::libraryDirectory());
    EXPECT_EQ(messages[5], "QMX lib version: 3.0.23.63405");
    EXPECT_EQ(messages[6], "Logging stopped.");
    for (const auto& line : readLines(log())) EXPECT_NE(line.find(" [1]: "), std::string::npos) << line;
}

TEST_F(LogFile, DeletePolicyStartsAfresh) {
    writeFile(log(), "old content\n");
    start();
    VX_SetLogLevel(0);
    const auto text = readFile(log());
    EXPECT_EQ(text.find("old content"), std::string::npos);
    EXPECT_EQ(logMessages(log()).front(), "Logging started.");
}

TEST_F(LogFile, AppendPolicyWritesASeparatorBeforeTheNewMessages) {
    writeFile(log(), "old content\n");
    VX_SetLogProperty(1001, 0);
    start();
    VX_SetLogLevel(0);
    start();
    VX_SetLogLevel(0);
    const auto lines = readLines(log());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "old content");
    EXPECT_EQ(lines[1], "###############");
    EXPECT_NE(lines[2].find("Logging started."), std::string::npos);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "###############"), 2);
}

TEST_F(LogFile, KeepPolicyWritesANewDatedFileForEveryStart) {
    writeFile(log(), "old content\n");
    VX_SetLogProperty(1001, 2);
    start();
    VX_SetLogLevel(0);
    start();
    VX_SetLogLevel(0);
    const auto names = logFilesIn(dir.path());
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(readFile(log()), "old content\n");
    const std::regex dated(R"(QMXControl_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d(_\d+)?\.log)");
    int datedFiles = 0;
    for (const auto& name : names) {
        if (name == "QMXControl.log") continue;
        EXPECT_TRUE(std::regex_match(name, dated)) << name;
        EXPECT_EQ(logMessages(dir.file(name)).front(), "Logging started.");
        ++datedFiles;
    }
    EXPECT_EQ(datedFiles, 2);
}

TEST_F(LogFile, LevelChangesBetweenNonZeroLevelsStartNothingNew) {
    VX_SetLogHandler(captureHandler);
    start(2);
    const size_t afterStart = handled().size();
    EXPECT_EQ(VX_SetLogLevel(3), 0u);
    EXPECT_EQ(handled().size(), afterStart);
    EXPECT_EQ(qmx::logLevel.load(), 3u);
    EXPECT_EQ(VX_SetLogLevel(0), 0u);
    EXPECT_EQ(handled().back(), "Logging stopped.");
    EXPECT_EQ(qmx::logLevel.load(), 0u);

    // Closed: later messages reach neither the file nor the handler.
    const auto size = fs::file_size(log());
    qmx::logMessage(1, "after stop");
    EXPECT_EQ(fs::file_size(log()), size);
    EXPECT_EQ(handled().back(), "Logging stopped.");
}

TEST_F(LogFile, StoppedWithTheLevelKeptFeedsOnlyTheHandler) {
    VX_SetLogHandler(captureHandler);
    start(2);
    qmx::stopLogging();
    EXPECT_EQ(qmx::logLevel.load(), 2u);
    const auto size = fs::file_size(log());
    qmx::logMessage(2, "handler only");
    EXPECT_EQ(handled().back(), "handler only");
    EXPECT_EQ(fs::file_size(log()), size);
    EXPECT_EQ(logMessages(log()).back(), "Logging stopped.");
}

TEST_F(LogFile, FileLoggingPropertySwitchesTheFile) {
    EXPECT_EQ(VX_SetLogProperty(1000, 0), 0u);
    start();
    VX_SetLogLevel(0);
    EXPECT_FALSE(fs::exists(log()));

    EXPECT_EQ(VX_SetLogProperty(1000, 2), 0u);  // only 1 means on
    start();
    VX_SetLogLevel(0);
    EXPECT_FALSE(fs::exists(log()));

    EXPECT_EQ(VX_SetLogProperty(1000, 1), 0u);
    start();
    VX_SetLogLevel(0);
    EXPECT_TRUE(fs::exists(log()));
}

TEST_F(LogFile, OldLogPolicyIgnoresValuesAboveTwoAndOtherPropertiesFail) {
    EXPECT_EQ(VX_SetLogProperty(1001, 2), 0u);
    EXPECT_EQ(VX_SetLogProperty(1001, 3), 0u);
    EXPECT_EQ(qmx::oldLogPolicy.load(), uint32_t{qmx::OldLogsKeep});
    EXPECT_EQ(VX_SetLogProperty(1001, 0), 0u);
    EXPECT_EQ(qmx::oldLogPolicy.load(), uint32_t{qmx::OldLogsAppend});
    EXPECT_EQ(VX_SetLogProperty(7, 0), 156u);
    EXPECT_EQ(VX_SetLogProperty(1002, 1), 156u);
}

TEST_F(LogFile, NoFolderMeansNoFileAnywhere) {
    const auto cwd = fs::current_path();
    fs::current_path(dir.path());
    VX_SetLogFolder(nullptr);
    VX_SetLogHandler(captureHandler);
    EXPECT_EQ(VX_SetLogLevel(1), 0u);
    VX_SetLogLevel(0);
    fs::current_path(cwd);
    EXPECT_TRUE(logFilesIn(dir.path()).empty());
    EXPECT_FALSE(qmx::fileLogging.load());
    EXPECT_EQ(handled().front(), "Logging started.");
}

TEST_F(LogFile, UnusableFolderTurnsFileLoggingOff) {
    VX_SetLogFolder(dir.file("missing").c_str());
    EXPECT_EQ(VX_SetLogLevel(1), 0u);
    EXPECT_FALSE(qmx::fileLogging.load());
}

TEST_F(LogTest, LogFilterBitOneSwitchesArguments) {
    EXPECT_EQ(VX_SetLogFilter(1), 0u);
    EXPECT_FALSE(qmx::logArguments.load());
    EXPECT_EQ(VX_SetLogFilter(2), 0u);
    EXPECT_TRUE(qmx::logArguments.load());
    EXPECT_EQ(VX_SetLogFilter(0xFFFFFFFDu), 0u);
    EXPECT_FALSE(qmx::logArguments.load());
}

}  // namespace
