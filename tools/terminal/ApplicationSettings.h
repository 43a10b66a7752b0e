#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

#include "SerialPort.h"
#include "TerminalSettings.h"

namespace Ui {
class ApplicationSettings;
}
class QLineEdit;

// The terminal's application settings as a dialog: the window keeps one
// instance as its current settings and edits a fresh copy of it.
class ApplicationSettings : public QDialog {
    Q_OBJECT

public:
    explicit ApplicationSettings(QWidget* parent = nullptr);
    ~ApplicationSettings() override;

    int comPort() const;
    int baudRate() const;
    int baudRateIndex() const;
    QStringList baudRates() const;
    int connectionType() const { return connectionType_; }
    QString networkIp() const;
    // 5000 for anything outside 1 to 65535 (a settings file may hold -1).
    int networkPort() const;
    QString initialString() const;
    QString terminalString() const;
    bool sendInitialString() const;
    bool sendTerminalString() const;
    QString slotFile(int slot) const;  // slot 0 to 7
    QString slot1File() const { return slotFile(0); }
    QString slot2File() const { return slotFile(1); }
    QString slot3File() const { return slotFile(2); }
    QString slot4File() const { return slotFile(3); }
    QString slot5File() const { return slotFile(4); }
    QString slot6File() const { return slotFile(5); }
    QString slot7File() const { return slotFile(6); }
    QString slot8File() const { return slotFile(7); }

    void setCurrentTab(int page);
    void setBaudRates(const QStringList& rates);
    void setBaudRateIndex(int index);
    void setComPort(int number);
    void setConnectionType(int type);
    void setNetworkIp(const QString& ip);
    void setNetworkPort(int port);
    void setInitialString(const QString& text);
    void setTerminalString(const QString& text);
    void setSendInitialString(bool on);
    void setSendTerminalString(bool on);
    void setSlotFile(int slot, const QString& name);
    void setSlot1File(const QString& name) { setSlotFile(0, name); }
    void setSlot2File(const QString& name) { setSlotFile(1, name); }
    void setSlot3File(const QString& name) { setSlotFile(2, name); }
    void setSlot4File(const QString& name) { setSlotFile(3, name); }
    void setSlot5File(const QString& name) { setSlotFile(4, name); }
    void setSlot6File(const QString& name) { setSlotFile(5, name); }
    void setSlot7File(const QString& name) { setSlotFile(6, name); }
    void setSlot8File(const QString& name) { setSlotFile(7, name); }

    // Every value at once, as the settings file holds them.
    ApplicationSettingsData data() const;
    void setData(const ApplicationSettingsData& data);

    int currentTab() const;

private slots:
    void on_networkConnection_toggled(bool checked);
    void on_refreshButton_clicked();
    void on_slot1Browse_clicked() { browseSlot(0); }
    void on_slot2Browse_clicked() { browseSlot(1); }
    void on_slot3Browse_clicked() { browseSlot(2); }
    void on_slot4Browse_clicked() { browseSlot(3); }
    void on_slot5Browse_clicked() { browseSlot(4); }
    void on_slot6Browse_clicked() { browseSlot(5); }
    void on_slot7Browse_clicked() { browseSlot(6); }
    void on_slot8Browse_clicked() { browseSlot(7); }

private:
    void browseSlot(int slot);
    QLineEdit* slotEdit(int slot) const;

    std::unique_ptr<Ui::ApplicationSettings> ui_;
    int connectionType_ = SerialConnection;
    SerialPort serialPort_;
};

// Places `widget` in the middle of the available area of the screen under
// the mouse cursor (the primary screen when no screen is under it).
void centerOnCursorScreen(QWidget* widget);
