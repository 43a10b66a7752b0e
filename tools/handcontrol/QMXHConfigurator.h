#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

#include "OperationDialog.h"
#include "QMXHConfiguration.h"

class ConfigTransporter;
class QMXHEditor;
class QThread;

namespace Ui {
class QMXHConfiguratorClass;
}

// Moves `widget`, keeping its size, so that it is centred on the available
// area of the screen under the cursor (the primary screen when none is).
void centreOnScreen(QWidget* widget);

// The configurator's main window: owns the image, the editors that show it,
// the transfer worker with its thread and the progress dialog. Each menu
// operation runs on the worker thread while the window waits in the modal
// progress dialog; its outcome goes to the status bar.
class QMXHConfigurator : public QMainWindow {
    Q_OBJECT

public:
    explicit QMXHConfigurator(QWidget* parent = nullptr);
    ~QMXHConfigurator() override;

    // For observers such as tests: what the window shows and runs.
    QMXHConfiguration& configuration() { return configuration_; }
    OperationDialog& operationDialog() { return operationDialog_; }
    ConfigTransporter& worker() { return *worker_; }

signals:
    void connectToDevice(QString locator);
    void disconnectFromDevice();
    void readConfigurationFromDevice(QMXHConfiguration* config, QMXH* qmxh);
    void writeConfigurationToDevice(QMXH* qmxh, QMXHConfiguration* config);
    void loadConfigurationFromFile(QMXHConfiguration* config, QString fileName);
    void saveConfigurationToFile(QString fileName, QMXHConfiguration* config);
    void verifyConfiguration(QMXH* qmxh, QMXHConfiguration* config);

private slots:
    void on_actionLoad_from_file_triggered();
    void on_actionSave_to_file_triggered();
    void on_actionClose_triggered();
    void on_actionExit_triggered();
    void on_actionConnect_triggered();
    void on_actionDisconnect_triggered();
    void on_actionRead_configuration_triggered();
    void on_actionWrite_configuration_triggered();
    void on_actionVerify_configuration_triggered();
    void messageFromEditor(const QString& message);

private:
    enum Operation { Load, Save, Read, Write, Verify, Connect, Disconnect };

    void showEditor();
    void updateActions();
    // Runs one operation on the worker thread, `start` emitting its signal,
    // and reports its outcome; its code, 0 on success.
    int run(Operation operation, const std::function<void()>& start);

    std::unique_ptr<Ui::QMXHConfiguratorClass> form_;
    QMXH device_;
    QMXHConfiguration configuration_;
    QList<QMXHEditor*> editors_;
    std::unique_ptr<QThread> thread_;
    bool connected_ = false;
    std::unique_ptr<ConfigTransporter> worker_;
    OperationDialog operationDialog_;
};
