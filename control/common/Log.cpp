#include "common/Log.h"

#include <cstdio>
#include <fstream>
#include <mutex>

#include "common/LogSettings.h"
#include "common/Status.h"
#include "platform/Clock.h"
#include "platform/KeptLog.h"
#include "platform/LogText.h"
#include "platform/ModulePath.h"

namespace qmx {

std::atomic<uint32_t> logLevel{0};
std::atomic<bool> logArguments{true};

namespace {

// Guards the file and the start time; held for each message.
std::mutex logMutex;
std::FILE* logFile = nullptr;
vxplatform::SteadyClock::time_point startTime;

// Serialises starting, stopping and the INI search, so that two threads
// cannot both start logging and open a file each. Taken before logMutex.
std::mutex controlMutex;
bool started = false;
std::string iniFolderText;

// Closes the log file when the library is unloaded.
struct LogFileCloser {
    ~LogFileCloser() {
        std::lock_guard<std::mutex> lock(logMutex);
        if (logFile) std::fclose(logFile);
        logFile = nullptr;
    }
} logFileCloser;

void replaceLogFile(std::FILE* file) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile) std::fclose(logFile);
    logFile = file;
    startTime = vxplatform::SteadyClock::now();
}

std::FILE* openLogFile() {
    const std::string folder = logFolder();
    // No folder means no file: never fall back to the current directory.
    if (folder.empty()) return nullptr;
    switch (oldLogPolicy.load()) {
    case OldLogsAppend: {
        std::FILE* file = std::fopen(vxplatform::joinPath(folder, "QMXControl.log").c_str(), "a+e");
        if (file) std::fputs("###############\n", file);
        return file;
    }
    case OldLogsKeep:
        // A start never overwrites an earlier log, even within the same second.
        return vxplatform::createKeptLog(
            folder, "QMXControl_" + vxplatform::formatLocalTime(vxplatform::localTimeNow(), "-", "_", "-"));
    default:
        return std::fopen(vxplatform::joinPath(folder, "QMXControl.log").c_str(), "we");
    }
}

void startLoggingLocked() {
    std::FILE* file = nullptr;
    if (fileLogging.load()) {
        file = openLogFile();
        if (!file) fileLogging = false;
    }
    replaceLogFile(file);
    started = true;

    logMessage(1, "Logging started.");
    logMessage(1, iniFolderText.empty() ? std::string("no QMXControl.ini file")
                                        : "QMXControl.ini loaded from " + iniFolderText);
    logMessage(1, "Current time: " + vxplatform::formatLocalTime(vxplatform::localTimeNow(), "/", "-", ":"));
    logMessage(1, "Log level: " + std::to_string(logLevel.load()));
    logMessage(1, "QMXControl lib loaded from " + libraryDirectory());
    logMessage(1, std::string("QMX lib version: ") + kLibraryVersionText);
}

void stopLoggingLocked() {
    started = false;
    if (logLevel.load() != 0) logMessage(1, "Logging stopped.");
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile) std::fclose(logFile);
    logFile = nullptr;
}

}  // namespace

void logMessage(uint32_t level, const std::string& text) {
    if (level > logLevel.load()) return;
    std::lock_guard<std::mutex> lock(logMutex);
    if (level > logLevel.load()) return;
    if (const LogHandler handler = logHandler.load()) handler(text.c_str(), 0);
    if (logFile) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
            vxplatform::SteadyClock::now() - startTime);
        const std::string line =
            vxplatform::formatElapsed(elapsed) + " [" + std::to_string(level) + "]: " + text + "\n";
        std::fwrite(line.data(), 1, line.size(), logFile);
        std::fflush(logFile);
    }
}

void logPacket(const char* direction, const uint8_t* packet) {
    if (logLevel.load() < 5) return;
    const size_t count = static_cast<size_t>(packet[2] & 0x0F) + 3;
    logMessage(5, std::string(direction) + " packet: " + vxplatform::hexDump(packet, count));
}

std::string iniFolder() {
    std::lock_guard<std::mutex> lock(controlMutex);
    return iniFolderText;
}

void startLogging() {
    std::lock_guard<std::mutex> lock(controlMutex);
    startLoggingLocked();
}

void stopLogging() {
    std::lock_guard<std::mutex> lock(controlMutex);
    stopLoggingLocked();
}

void changeLogLevel(uint32_t level) {
    std::lock_guard<std::mutex> lock(controlMutex);
    const uint32_t old = logLevel.load();
    if (old == 0 && level != 0) {
        logLevel = level;
        startLoggingLocked();
    } else if (old != 0 && level == 0) {
        stopLoggingLocked();
        logLevel = 0;
    } else {
        logLevel = level;
    }
}

void readIniOnce() { readIniOnceFrom(iniSearchFolders()); }

void readIniOnceFrom(const std::vector<std::string>& folders) {
    std::lock_guard<std::mutex> lock(controlMutex);
    if (started) return;

    std::ifstream in;
    const std::string found = vxplatform::openInFirstFolder(folders, kIniFileName, in);
    if (found.empty()) return;

    iniFolderText = found;
    if (logLevel.load() != 0) {
        logMessage(1, "logging already enabled. skipping INI file parameters");
        return;
    }
    const IniValues values = parseIni(in, libraryDirectory(), applicationDirectory());
    if (!values.headerOk) {
        fileLogging = false;
        return;
    }
    if (values.arguments) logArguments = *values.arguments;
    if (values.folder) setLogFolder(*values.folder);
    if (values.policy) oldLogPolicy = *values.policy;
    if (values.level) logLevel = *values.level;
    if (logLevel.load() != 0) startLoggingLocked();
}

void resetLogging() {
    std::lock_guard<std::mutex> control(controlMutex);
    {
        std::lock_guard<std::mutex> lock(logMutex);
        if (logFile) std::fclose(logFile);
        logFile = nullptr;
    }
    started = false;
    iniFolderText.clear();
    logLevel = 0;
    logArguments = true;
    fileLogging = true;
    oldLogPolicy = OldLogsDelete;
    logHandler = nullptr;
    setLogFolder({});
}

}  // namespace qmx
