#include "common/LogSettings.h"

#include <climits>
#include <mutex>

#include "platform/ModulePath.h"
#include "platform/Text.h"

namespace qmx {

std::atomic<bool> fileLogging{true};
std::atomic<uint32_t> oldLogPolicy{OldLogsDelete};
std::atomic<LogHandler> logHandler{nullptr};

namespace {

// Any object of this library: its address names the library's file.
const char libraryAnchor = 0;

std::mutex folderMutex;
std::string logFolderText;

// C atoi without its undefined overflow: leading white space, a sign,
// digits up to the first other character, saturated to int.
int readInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

void setLogFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(folderMutex);
    logFolderText = folder;
}

std::string logFolder() {
    std::lock_guard<std::mutex> lock(folderMutex);
    return logFolderText;
}

IniValues parseIni(std::istream& in, const std::string& libraryFolder, const std::string& appFolder) {
    IniValues values;
    std::string line;
    if (!std::getline(in, line)) return values;
    line = vxplatform::trimRight(line);
    if (line != kIniHeader) return values;
    values.headerOk = true;

    while (std::getline(in, line)) {
        line = vxplatform::trimRight(line);
        // Blanks separate; a tab belongs to the piece it stands in.
        const auto pieces = vxplatform::splitText(line, " ");
        if (pieces.size() < 2) continue;
        const std::string& key = pieces[0];
        const std::string& value = pieces[1];
        if (key == "LogLevel") {
            values.level = static_cast<uint32_t>(readInt(value));
        } else if (key == "LogArgs") {
            values.arguments = readInt(value) != 0;
        } else if (key == "LogPath") {
            if (value == "lib" || value == "dll") {
                values.folder = libraryFolder;
            } else if (value == "app") {
                values.folder = appFolder;
            } else {
                // The rest of the line after the key and one separator, so
                // that a folder name may contain blanks.
                values.folder = line.substr(line.find(key) + key.size() + 1);
            }
        } else if (key == "OldLogs") {
            if (value == "append") values.policy = OldLogsAppend;
            else if (value == "delete") values.policy = OldLogsDelete;
            else if (value == "keep") values.policy = OldLogsKeep;
        }
    }
    // Unsigned on purpose: a negative level ends up above 5 too.
    if (values.level && *values.level > 5) values.level = 5;
    return values;
}

std::string libraryDirectory() { return vxplatform::moduleDirectory(&libraryAnchor); }

std::string applicationDirectory() { return vxplatform::executableDirectory(); }

std::vector<std::string> iniSearchFolders() { return {applicationDirectory(), libraryDirectory()}; }

}  // namespace qmx
