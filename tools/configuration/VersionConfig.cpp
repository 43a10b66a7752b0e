#include "VersionConfig.h"

#include <QTextEdit>

#include <array>

#include "QMXControl.h"
#include "PageMessages.h"
#include "QMXConnection.h"
#include "ui_QMXConfiguration.h"

namespace {

// First argument of getFirmwareVersion: which module's firmware.
enum FirmwareKind : uint32_t {
    kInterfaceFirmware = 1,
    kPositionerFirstFirmware = 2,
    kPositionerSecondFirmware = 3,
    kHandControlFirmware = 5,
    kEndEffectorFirmware = 9,
};
constexpr uint32_t kHandControlIndex = 255;

enum ChannelType : uint32_t { kPositioner = 0, kEndEffector = 1 };

constexpr uint32_t kLocatorBufferSize = 4096;
constexpr uint32_t kFeatureBufferSize = 4;
constexpr uint32_t kNoVersion = 0xFFFFFFFFu;

const std::array<const char*, 2> kFeatureNames = {"Low Vibration Mode",
                                                  "Periodic Sensor Error Correction"};
const QChar kBullet(0x2022);

QString typeName(uint32_t type) {
    switch (type) {
    case kPositioner: return QStringLiteral("Positioner");
    case kEndEffector: return QStringLiteral("End Effector");
    default: return QStringLiteral("Unknown (%1)").arg(type);
    }
}

}  // namespace

VersionConfig::VersionConfig(QObject* parent, Ui::QMXConfigurationClass* form)
    : QObject(parent), form_(form) {}

QString VersionConfig::versionText(uint32_t version) {
    if (version == 0) return QStringLiteral("unknwon");
    if (version == kNoVersion) return QStringLiteral("N/A");
    return QStringLiteral("(%1) %2.%3.%4")
        .arg(version >> 27)
        .arg((version >> 24) & 0x7u)
        .arg((version >> 16) & 0xFFu)
        .arg(version & 0xFFFFu);
}

QStringList VersionConfig::featureNames(uint8_t byte) {
    QStringList names;
    for (size_t bit = 0; bit < kFeatureNames.size(); ++bit)
        if (!(byte & (1u << bit))) names << QString::fromLatin1(kFeatureNames[bit]);
    if (names.isEmpty()) names << QStringLiteral("None");
    return names;
}

void VersionConfig::append(const QString& line) { form_->teVersion->append(line); }

void VersionConfig::readFromController(QMXConnection* connection) {
    form_->teVersion->clear();
    const auto fail = [this](const QString& text) {
        form_->statusBar->showMessage(text, configpages::kNoticeMs);
    };
    if (appendSystemInfo(connection) != VX_OK) return fail(tr("Could not read system info"));
    const uint32_t handControl = appendHandControlInfo(connection);
    if (handControl != VX_OK && handControl != VX_OTHER_ERROR)
        return fail(tr("Could not read Hand Control info"));
    uint32_t count = 0;
    if (connection->getNumberOfChannels(&count) != VX_OK)
        return fail(tr("Could not read number of channels"));
    append(QStringLiteral("----------------------------------------"));
    for (uint32_t channel = 0; channel < count; ++channel)
        if (appendChannelInfo(connection, channel) != VX_OK)
            return fail(tr("Could not read channel info"));
}

uint32_t VersionConfig::appendSystemInfo(QMXConnection* connection) {
    QByteArray locator(kLocatorBufferSize, '\0');
    uint32_t size = kLocatorBufferSize;
    if (const uint32_t status = connection->getSystemLocator(locator.data(), &size)) return status;
    append(tr("System Locator:\t\t%1")
               .arg(QString::fromLatin1(locator.constData(), qstrnlen(locator.constData(),
                                                                      kLocatorBufferSize))
                        .simplified()));
    uint32_t version = 0;
    if (const uint32_t status = connection->getFirmwareVersion(kInterfaceFirmware, 0, &version))
        return status;
    append(tr("Interface Module:\t%1").arg(versionText(version)));
    uint32_t count = 0;
    if (const uint32_t status = connection->getNumberOfChannels(&count)) return status;
    append(tr("Number of Channels:\t%1").arg(count));
    return VX_OK;
}

uint32_t VersionConfig::appendHandControlInfo(QMXConnection* connection) {
    uint32_t version = 0;
    const uint32_t status =
        connection->getFirmwareVersion(kHandControlFirmware, kHandControlIndex, &version);
    // A time-out means that no hand control module is attached.
    if (status == VX_TIMEOUT) {
        append(tr("Hand Control Module:\tNone"));
        return VX_OK;
    }
    if (status != VX_OK) return status;
    append(tr("Hand Control Module:\t%1").arg(versionText(version)));
    return VX_OK;
}

uint32_t VersionConfig::appendChannelInfo(QMXConnection* connection, uint32_t channel) {
    uint32_t type = 0;
    if (const uint32_t status = connection->getChannelType(channel, &type)) return status;
    append(tr("Channel %1:").arg(channel));
    append(tr("\tType:\t%1").arg(typeName(type)));
    uint32_t serial = 0;
    if (const uint32_t status = connection->getChannelSerialNumber(channel, &serial))
        return status;
    append(tr("\tSerial:\t0x%1").arg(QString::number(serial, 16).toUpper()));
    uint32_t version = 0;
    if (type == kPositioner) {
        if (const uint32_t status =
                connection->getFirmwareVersion(kPositionerFirstFirmware, channel, &version))
            return status;
        append(tr("\tSC:\t%1").arg(versionText(version)));
        if (const uint32_t status =
                connection->getFirmwareVersion(kPositionerSecondFirmware, channel, &version))
            return status;
        append(tr("\tSG:\t%1").arg(versionText(version)));
        uint8_t features[kFeatureBufferSize] = {};
        uint32_t size = kFeatureBufferSize;
        if (const uint32_t status = connection->getFeaturePermissions(channel, features, &size))
            return status;
        // A channel that returned no bytes has no feature byte to name
        // features from.
        const QStringList names =
            size == 0 ? QStringList{QStringLiteral("None")} : featureNames(features[0]);
        append(tr("\tFeatures:\t%1 %2").arg(kBullet).arg(names.first()));
        for (int i = 1; i < names.size(); ++i) append(tr("\t\t%1 %2").arg(kBullet).arg(names[i]));
    } else if (type == kEndEffector) {
        if (const uint32_t status =
                connection->getFirmwareVersion(kEndEffectorFirmware, channel, &version))
            return status;
        append(tr("\tEM:\t%1").arg(versionText(version)));
    }
    append(QStringLiteral("\n"));
    return VX_OK;
}
