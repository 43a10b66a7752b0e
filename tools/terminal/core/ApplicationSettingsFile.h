#pragma once

#include <QString>

#include "TerminalSettings.h"

// The terminal's application settings document (type
// TextdeskApplicationSettings, written as version "2.0") at one path; the
// window keeps it as "appSettings.xml" in the current directory.
class ApplicationSettingsFile {
public:
    static inline const QString kDefaultPath = QStringLiteral("appSettings.xml");

    struct LoadResult {
        bool loaded = false;
        // For the status bar: set when the file could not be opened.
        QString statusMessage;
    };

    explicit ApplicationSettingsFile(const QString& path = kDefaultPath) : path_(path) {}

    // Reads the file into `settings`; `settings` changes only when it is
    // read whole. A file that cannot be opened, or is far longer than any
    // settings file (it is not read), is no error box but a status-bar
    // message; every other failure is shown in the error box.
    // Also takes version "1.0" (which leaves the connection type, address
    // and TCP port as they are) and the older document type
    // QMXrs232TestApplicationSettings.
    LoadResult loadApplicationSettings(ApplicationSettingsData& settings) const;
    // Writes `settings`; an old file stays whole until the new one is.
    bool saveApplicationSettings(const ApplicationSettingsData& settings) const;

private:
    QString path_;
};
