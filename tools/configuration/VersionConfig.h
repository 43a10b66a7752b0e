#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>

class QMXConnection;
namespace Ui {
class QMXConfigurationClass;
}

// The "Version" tab: a read-only report on the connected system, rebuilt
// line by line into the text edit at each read. The text edit holds the
// report; the page keeps nothing.
class VersionConfig : public QObject {
    Q_OBJECT

public:
    VersionConfig(QObject* parent, Ui::QMXConfigurationClass* form);

    void readFromController(QMXConnection* connection);

    // A packed firmware version as "(major) a.b.c".
    static QString versionText(uint32_t version);
    // The names of the features whose bit is 0 in `byte`, or "None".
    static QStringList featureNames(uint8_t byte);

private:
    uint32_t appendSystemInfo(QMXConnection* connection);
    uint32_t appendHandControlInfo(QMXConnection* connection);
    uint32_t appendChannelInfo(QMXConnection* connection, uint32_t channel);
    void append(const QString& line);

    Ui::QMXConfigurationClass* form_;
};
