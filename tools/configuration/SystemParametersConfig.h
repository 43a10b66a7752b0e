#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

class QDomDocument;
class QDomElement;
class QHBoxLayout;
class QMXConnection;
class QTableWidget;
class SystemParameter;
class XmlConfigFile;
namespace Ui {
class QMXConfigurationClass;
}

// The "System Parameters" tab: the tuning parameters and channel properties
// of the built-in setup document, one table row each, with a global value,
// a switch to separate values and one column per positioner channel.
class SystemParametersConfig : public QObject {
    Q_OBJECT

public:
    SystemParametersConfig(QObject* parent, Ui::QMXConfigurationClass* form,
                           QMXConnection* connection);
    ~SystemParametersConfig() override;

    void readFromSystem();
    // False when a write failed; its box has been shown.
    bool writeToSystem();
    void writeToXml(XmlConfigFile& store);
    // Its error, for the window's one box with the other reader's; empty
    // when all went well.
    QString readFromXml(const XmlConfigFile& store);
    void clear(bool clearChannels);
    void setModified(bool modified);
    bool isModified() const { return modified_; }

    // For the window and the tests: the table (none before a read) and the
    // hardware indices of the listed channels.
    QTableWidget* table() const { return table_; }
    const QList<uint32_t>& listedChannels() const { return listedChannels_; }
    const QList<SystemParameter*>& parameters() const { return parameters_; }

signals:
    void systemParametersModified();

public slots:
    void systemParameterModified();
    void updateInversion(uint channel, uint parameterValue);

private:
    bool parseSetup(QDomDocument* setup) const;
    bool probe(const QDomElement& element);
    void buildRow(const QDomElement& element);
    uint32_t readChannel(const SystemParameter& row, uint32_t channel, int32_t* value);
    uint32_t writeChannel(const SystemParameter& row, uint32_t channel, int32_t value);
    QString pathPrefix(const SystemParameter& row) const;
    void setTabText();
    void clearNow(bool clearChannels);

    Ui::QMXConfigurationClass* form_;
    bool modified_ = false;
    QMXConnection* connection_;
    QHBoxLayout* layout_;
    QTableWidget* table_ = nullptr;
    QList<SystemParameter*> parameters_;
    QList<uint32_t> listedChannels_;
    // While rows are built, a clear asked for from an event delivered
    // meanwhile waits until the builder has stopped using the table.
    bool building_ = false;
    bool clearPending_ = false;
    bool clearChannelsPending_ = false;
};
