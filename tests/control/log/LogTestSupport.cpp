#include "LogTestSupport.h"

#include <stdlib.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace logtest {

namespace {
std::mutex handledMutex;
std::vector<std::string> handledMessages;
}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qmxlog-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = std::filesystem::canonical(pattern).string();
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> logMessages(const std::string& path) {
    static const std::regex linePattern(R"(^-?(\d+:)?\d+\.\d{6} \[[1-5]\]: (.*)$)");
    std::vector<std::string> messages;
    for (const auto& line : readLines(path)) {
        std::smatch match;
        if (!std::regex_match(line, match, linePattern)) {
            ADD_FAILURE() << "not a log line: " << line;
            continue;
        }
        messages.push_back(match[2]);
    }
    return messages;
}

std::vector<std::string> handled() {
    std::lock_guard<std::mutex> lock(handledMutex);
    return handledMessages;
}

void captureHandler(const char* message, unsigned int reserved) {
    std::lock_guard<std::mutex> lock(handledMutex);
    handledMessages.push_back(message);
    EXPECT_EQ(reserved, 0u);
}

void LogTest::SetUp() {
    qmx::resetLogging();
    std::lock_guard<std::mutex> lock(handledMutex);
    handledMessages.clear();
}

void LogTest::TearDown() { qmx::resetLogging(); }

}  // namespace logtest
