#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "common/Log.h"
#include "common/LogSettings.h"

namespace logtest {

// A fresh folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
std::vector<std::string> readLines(const std::string& path);

// The message part of each line of a log file; fails the test on a line
// that is not "elapsed [level]: message".
std::vector<std::string> logMessages(const std::string& path);

// The messages the log handler received, in order.
std::vector<std::string> handled();
void captureHandler(const char* message, unsigned int reserved);

// Every test starts and ends with logging in its load state.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace logtest
