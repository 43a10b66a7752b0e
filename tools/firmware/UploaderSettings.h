#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What the uploader keeps between runs and reads at start: its identity
// (which names its settings), the window settings, and its own small
// configuration file.
namespace uploader {

inline const QString kVersion = QStringLiteral("v3.3.9");
inline const QString kConfigFileName = QStringLiteral("QMXFirmwareUploaderConfig.xml");

// Names the application, and so its settings file.
void setApplicationIdentity();

struct WindowSettings {
    QByteArray geometry;  // empty when none was saved
    QString locator;
};
WindowSettings loadWindowSettings();
void saveWindowSettings(const WindowSettings& settings);

// Whether a stored locator is put back into the connect page at start: the
// others are found again by the port list.
bool restoresLocator(const QString& locator);

// The update configuration file that the configuration file names; none
// when the file cannot be read, is far longer than any such file (then it is
// not read), is of another document type, or names none.
std::optional<QString> configuredUpdateFile(const QString& fileName = kConfigFileName);

}  // namespace uploader
