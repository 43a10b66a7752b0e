#pragma once

#include <QMainWindow>

#include <memory>

#include "QMXConnection.h"

class BaudRateConfig;
class IndexMapConfig;
class QCloseEvent;
class SensorTypesConfig;
class SpeedLevelTableConfig;
class SystemParametersConfig;
class VersionConfig;
namespace Ui {
class QMXConfigurationClass;
}

// The configuration tool's main window: the connection bar, the
// configuration buttons and the six pages, which it sequences. The text of
// the Connect button is the connection state the window goes by. Everything
// runs on the GUI thread; every controller operation blocks it.
class QMXConfiguration : public QMainWindow {
    Q_OBJECT

public:
    explicit QMXConfiguration(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~QMXConfiguration() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_connectButton_clicked();
    void on_readButton_clicked();
    void on_writeButton_clicked();
    void configurationModified();
    void on_refreshButton_clicked();
    void on_writeXMLButton_clicked();
    void on_readXMLButton_clicked();

private:
    void connectSystem();
    void disconnectSystem();
    // Empties every page but the version report.
    void clearPages();
    // The Read: 0 once the pages read (or the user kept their changes);
    // when the line was lost meanwhile, the status that showed it, after a
    // box that says so. The pages then hold half a system.
    uint32_t readConfiguration();
    void restoreSettings();
    void saveSettings();

    std::unique_ptr<Ui::QMXConfigurationClass> form_;
    QMXConnection connection_;
    SpeedLevelTableConfig* speedLevelTable_;
    SensorTypesConfig* sensorTypes_;
    BaudRateConfig* baudRate_;
    SystemParametersConfig* systemParameters_;
    VersionConfig* version_;
    IndexMapConfig* indexMap_;
};
