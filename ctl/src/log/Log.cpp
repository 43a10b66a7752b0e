#include "log/Log.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>

#include "VeltraxControlPrivate"
#include "VeltraxIO.h"
#include "platform/Clock.h"
#include "platform/KeptLog.h"
#include "platform/LogText.h"
#include "platform/ModulePath.h"

namespace vxctl {

namespace {

constexpr const char* kLogStem = "VeltraxCTL";
constexpr const char* kAppendSeparator = "###############\n";

// Read by every level test without the mutex while setters change them.
std::atomic<int32_t> effectiveLevel{0};
std::atomic<bool> effectiveArguments{true};

// Guards everything below; every line is written under it.
std::mutex logMutex;
LogSettings settings;
std::FILE* logFile = nullptr;
std::string openPath;
vxplatform::SteadyClock::time_point startTime;
int deviceLoggers = 0;

// Any object of this library: its address names the library's file.
const char libraryAnchor = 0;

std::string libraryDirectory() { return vxplatform::moduleDirectory(&libraryAnchor); }

// `source` "API " or "DEV ", then the elapsed time, the tag in brackets
// and the text.
void writeLocked(const char* source, const std::string& tag, const std::string& text) {
    if (!logFile) return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
        vxplatform::SteadyClock::now() - startTime);
    const std::string line =
        source + vxplatform::formatElapsed(elapsed) + " [" + tag + "]: " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), logFile);
    std::fflush(logFile);
}

void lineLocked(const std::string& text, int32_t level) {
    if (level > effectiveLevel.load()) return;
    writeLocked("API ", std::to_string(level), text);
}

std::string folderOf(const std::string& logPath) {
    if (logPath == "app") return vxplatform::executableDirectory();
    if (logPath == "lib" || logPath == "dll") return libraryDirectory();
    return logPath;
}

std::FILE* openLogFile(const LogSettings& wanted, std::string* path) {
    const std::string folder = folderOf(wanted.logPath);
    // No folder means no file: never a log in whatever the current directory is.
    if (folder.empty()) return nullptr;
    if (wanted.oldLogs == OldLogs::Keep) {
        const std::string stamp = vxplatform::formatLocalTime(vxplatform::localTimeNow(), "-", "_", "-");
        return vxplatform::createKeptLog(folder, std::string(kLogStem) + "_" + stamp, path);
    }
    *path = vxplatform::joinPath(folder, std::string(kLogStem) + ".log");
    if (wanted.oldLogs == OldLogs::Append) {
        std::FILE* file = std::fopen(path->c_str(), "ae");
        if (file) std::fputs(kAppendSeparator, file);
        return file;
    }
    return std::fopen(path->c_str(), "we");
}

void startLogLocked(const LogSettings& wanted) {
    if (logFile) return;
    std::string path;
    std::FILE* file = openLogFile(wanted, &path);
    if (!file) return;

    logFile = file;
    openPath = path;
    settings = wanted;
    effectiveLevel = wanted.logLevel;
    effectiveArguments = wanted.logArgs;
    startTime = vxplatform::SteadyClock::now();

    lineLocked("Logging started " +
                   vxplatform::formatLocalTime(vxplatform::localTimeNow(), ".", "-", ":"),
               0);
    lineLocked(std::string("VeltraxCTL (version ") + kLibraryVersion + ") loaded from " +
                   libraryDirectory(),
               0);
    int major = 0, minor = 0, update = 0;
    if (VX_IO_GetVersion(&major, &minor, &update) == VX_IO_OK) {
        const std::string folder =
            vxplatform::moduleDirectory(reinterpret_cast<const void*>(&VX_IO_GetVersion));
        lineLocked("VeltraxIO (version " + std::to_string(major) + "." + std::to_string(minor) + "." +
                       std::to_string(update) + ") loaded from " + folder,
                   0);
    }
}

void stopLogLocked() {
    if (!logFile) return;
    lineLocked("Logging stopped", 0);
    std::fclose(logFile);
    logFile = nullptr;
    openPath.clear();
}

bool applyLocked(const LogSettings& wanted) {
    if (wanted.logLevel < 1 && !wanted.deviceLogging && deviceLoggers == 0) {
        if (wanted.logLevel < 0) return false;
        stopLogLocked();
        return true;
    }
    startLogLocked(wanted);
    return true;
}

// The frame builders' broken-invariant report goes to this log.
void writeInvariantLine(const char* line) { logLine(line, 1); }
const bool invariantReportInstalled = (setInvariantReport(writeInvariantLine), true);

}  // namespace

int32_t logLevel() { return effectiveLevel.load(); }

bool logArguments() { return effectiveArguments.load(); }

void logLine(const std::string& text, int32_t level) {
    if (level > effectiveLevel.load()) return;
    std::lock_guard<std::mutex> lock(logMutex);
    lineLocked(text, level);
}

void logDeviceLine(ModuleType moduleType, int32_t index, const std::string& text) {
    std::lock_guard<std::mutex> lock(logMutex);
    writeLocked("DEV ", std::string(moduleTypeName(moduleType)) + "," + std::to_string(index), text);
}

void logPacket(const char* direction, const uint8_t* bytes, size_t size) {
    constexpr int32_t kPacketLevel = 4;
    if (effectiveLevel.load() < kPacketLevel) return;
    logLine(std::string(direction) + " packet: " + vxplatform::hexDump(bytes, size), kPacketLevel);
}

std::vector<std::string> iniSearchFolders() {
    return {vxplatform::executableDirectory(), libraryDirectory()};
}

void loadIniSettings() { loadIniSettingsFrom(iniSearchFolders()); }

void loadIniSettingsFrom(const std::vector<std::string>& folders) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile) {
        lineLocked("Logging already enabled. Skipping INI file parameters.", 1);
        return;
    }
    // Each folder is joined with the file name: the current directory,
    // which the host program owns, is never changed.
    std::ifstream in;
    const std::string found = vxplatform::openInFirstFolder(folders, kIniFileName, in);
    if (found.empty()) return;
    const auto parsed = parseIniSettings(in);
    if (!parsed) return;
    if (applyLocked(*parsed)) lineLocked(std::string(kIniFileName) + " loaded from " + found, 0);
}

bool applySettings(const LogSettings& wanted) {
    std::lock_guard<std::mutex> lock(logMutex);
    return applyLocked(wanted);
}

void setLogLevel(int32_t level) {
    std::lock_guard<std::mutex> lock(logMutex);
    effectiveLevel = level;
    settings.logLevel = level;
    applyLocked(settings);
}

std::string logPath() {
    std::lock_guard<std::mutex> lock(logMutex);
    return openPath;
}

LogSettings currentSettings() {
    std::lock_guard<std::mutex> lock(logMutex);
    return settings;
}

void deviceLoggerCreated() {
    std::lock_guard<std::mutex> lock(logMutex);
    ++deviceLoggers;
    applyLocked(settings);
}

void deviceLoggerDestroyed() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (deviceLoggers > 0) --deviceLoggers;
    applyLocked(settings);
}

void resetLogging() {
    std::lock_guard<std::mutex> lock(logMutex);
    stopLogLocked();
    settings = LogSettings{};
    effectiveLevel = settings.logLevel;
    effectiveArguments = settings.logArgs;
    deviceLoggers = 0;
}

}  // namespace vxctl
