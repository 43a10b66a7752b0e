#include "UploaderSettings.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QSettings>

#include <cstddef>

#include "BoundedFileQt.h"

namespace uploader {

namespace {

const QString kGeometryKey = QStringLiteral("WindowGeometry");
const QString kLocatorKey = QStringLiteral("SystemLocator");
const QString kRestoredLocatorPrefix = QStringLiteral("network:");
const QString kDocumentType = QStringLiteral("QMXFirmwareUploaderConfig");
const QString kFirmwareElement = QStringLiteral("Firmware");
const QString kPathAttribute = QStringLiteral("path");
// A document type, a root and one element with a path: a few hundred bytes.
// A file beyond this is no configuration of the uploader's.
constexpr size_t kMaxConfigFileBytes = size_t{1} << 20;

}  // namespace

void setApplicationIdentity() {
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrax"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("veltrax.example"));
    QCoreApplication::setApplicationName(QStringLiteral("QMXFirmwareUploader"));
    QCoreApplication::setApplicationVersion(kVersion);
}

WindowSettings loadWindowSettings() {
    QSettings settings;
    return {settings.value(kGeometryKey).toByteArray(), settings.value(kLocatorKey).toString()};
}

void saveWindowSettings(const WindowSettings& window) {
    QSettings settings;
    settings.setValue(kGeometryKey, window.geometry);
    settings.setValue(kLocatorKey, window.locator);
}

bool restoresLocator(const QString& locator) {
    return locator.startsWith(kRestoredLocatorPrefix, Qt::CaseSensitive);
}

std::optional<QString> configuredUpdateFile(const QString& fileName) {
    QByteArray bytes;
    if (vxfile::readWholeFile(fileName, bytes, kMaxConfigFileBytes) != vxfile::FileRead::Read)
        return std::nullopt;
    QDomDocument document;
    if (!document.setContent(bytes, true)) return std::nullopt;
    if (document.doctype().name() != kDocumentType) return std::nullopt;
    const QDomElement firmware = document.documentElement().firstChildElement(kFirmwareElement);
    if (firmware.isNull() || !firmware.hasAttribute(kPathAttribute)) return std::nullopt;
    return firmware.attribute(kPathAttribute);
}

}  // namespace uploader
