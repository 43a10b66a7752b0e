#pragma once

// What the second-generation library's tests share: a scratch folder and a
// reader of the library's log file.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/Log.h"

namespace ctltest {

// A fresh folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vxctl-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = std::filesystem::canonical(pattern).string();
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// One log line taken apart: "API " or "DEV ", the elapsed time, the tag in
// brackets (level, or module and index) and the text.
struct LogEntry {
    std::string source;
    std::string tag;
    std::string text;
};

// Fails the test on a line of another form.
inline std::vector<LogEntry> logEntries(const std::string& path) {
    static const std::regex pattern(R"(^(API |DEV )-?(\d+:)?\d+\.\d{6} \[([^\]]*)\]: (.*)$)");
    std::vector<LogEntry> entries;
    for (const std::string& line : readLines(path)) {
        std::smatch match;
        if (!std::regex_match(line, match, pattern)) {
            ADD_FAILURE() << "not a log line: " << line;
            continue;
        }
        entries.push_back({match[1], match[3], match[4]});
    }
    return entries;
}

// The texts of the "API " lines of `level`.
inline std::vector<std::string> apiTexts(const std::string& path, int level) {
    std::vector<std::string> texts;
    for (const LogEntry& entry : logEntries(path))
        if (entry.source == "API " && entry.tag == std::to_string(level)) texts.push_back(entry.text);
    return texts;
}

// Logging settings that write "VeltraxCTL.log" into `folder`.
inline vxctl::LogSettings logInto(const std::string& folder, int32_t level) {
    vxctl::LogSettings settings;
    settings.logLevel = level;
    settings.logPath = folder;
    return settings;
}

// Every test starts and ends with the library's logging in its load state.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override { vxctl::resetLogging(); }
    void TearDown() override { vxctl::resetLogging(); }
};

}  // namespace ctltest
