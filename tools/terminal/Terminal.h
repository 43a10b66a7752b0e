#pragma once

#include <QFileInfo>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <memory>

#include "ApplicationSettingsFile.h"
#include "EthernetPort.h"
#include "SendPipeline.h"
#include "SerialPort.h"
#include "TerminalConfiguration.h"

namespace Ui {
class Terminal;
}
class ApplicationSettings;
class DataInput;
class InputProperties;
class QAction;
class QGroupBox;
class QVBoxLayout;
class ShortCutButton;
class ShortCutButtonProperties;

// The text terminal's main window: it owns the two ports, the current
// application settings, the short-cut buttons and data inputs, and the
// current configuration file. Everything runs in the GUI thread.
class Terminal : public QMainWindow, private SendWindow {
    Q_OBJECT

public:
    // `settingsPath`: the application settings file, read here and written
    // whenever the settings dialog is accepted.
    explicit Terminal(QWidget* parent = nullptr,
                      const QString& settingsPath = ApplicationSettingsFile::kDefaultPath);
    ~Terminal() override;

    static QString programTitle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void newShortCutButton();
    void removeShortCutButton(ShortCutButton* button, bool force);
    void newDataInput();
    void removeDataInput(DataInput* button, bool force);
    void on_connectButton_clicked();
    void sendString(QString text, int target);
    void itemPropertiesChanged();
    void activateShortCut(int value);
    void on_action_New_triggered();
    void on_action_Open_triggered();
    void on_action_Save_triggered();
    void on_actionS_ave_as_triggered();
    void on_actionE_xit_triggered();
    void on_send_returnPressed();
    void on_clearReceive_clicked();
    void on_actionSlot_1_triggered() { quickLoad(0); }
    void on_actionSlot_2_triggered() { quickLoad(1); }
    void on_actionSlot_3_triggered() { quickLoad(2); }
    void on_actionSlot_4_triggered() { quickLoad(3); }
    void on_actionSlot_5_triggered() { quickLoad(4); }
    void on_actionSlot_6_triggered() { quickLoad(5); }
    void on_actionSlot_7_triggered() { quickLoad(6); }
    void on_actionSlot_8_triggered() { quickLoad(7); }
    void on_actionSettings_triggered();
    void on_actionEdit_Slots_triggered();
    void receivedString(QString data);

private:
    enum SettingsTab : int { ConnectionTab = 0, QuickLoadTab = 2 };

    // What the send pipeline reads and changes of the window.
    bool sendLineEnabled() const override;
    void setSendLineText(const QString& text) override;
    QVector<InputValue> inputValues() const override;
    SendSettings sendSettings() const override;
    void showStatus(const QString& text) override;

    void addShortCutButton(const ShortCutButtonProperties& properties);
    void addShortCutButton(const ShortCutButtonRecord& record);
    void addDataInput(const InputProperties& properties);
    void addDataInput(const DataInputRecord& record);
    void removeEveryItem();
    void updateBoxSizes();
    void openSettingsDialog(int tab);
    void setConnected(bool connected, const QString& status);
    void markModified();
    void setCurrentFile(const QFileInfo& file);

    void saveConfiguration(const QFileInfo& file);
    void loadConfiguration(const QFileInfo& file);
    void loadApplicationSettings();
    void saveApplicationSettings();
    void quickLoad(int slot);
    QList<QAction*> slotActions() const;

    std::unique_ptr<Ui::Terminal> ui_;
    QVBoxLayout* buttonLayout_;
    QVBoxLayout* inputLayout_;
    QAction* addButtonAction_;
    QAction* addInputAction_;
    QList<ShortCutButton*> buttons_;
    QList<DataInput*> inputs_;
    QFileInfo currentFile_;
    ApplicationSettingsFile settingsFile_;
    std::unique_ptr<ApplicationSettings> settings_;
    SerialPort serialPort_;
    EthernetPort networkPort_;
    int openKind_ = SerialConnection;
    SendPipeline pipeline_;
};
