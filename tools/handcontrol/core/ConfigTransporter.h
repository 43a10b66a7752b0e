#pragma once

#include <QObject>
#include <QString>

#include <atomic>

#include "QMXConnection.h"

class QMXH;
class QMXHConfiguration;

// Carries out the configurator's long operations on a worker thread: connect,
// disconnect, read the image from the hand control module, write it, verify
// it, load it from a ".hcmc" file and save it to one. The owner moves the
// worker to its thread and starts an operation through one of the slots;
// `run()` reports progress, ends with exactly one `error(code)` (0 on
// success), moves the worker back to the application's thread and then
// emits `finished()`. The connection is a child of the worker, and its
// socket a child of the connection, so both move between threads with it.
class ConfigTransporter : public QObject {
    Q_OBJECT

public:
    enum Operation : int {
        Idle = 0,
        ReadFromDevice = 1,
        WriteToDevice = 2,
        LoadFromFile = 3,
        SaveToFile = 4,
        Verify = 5,
        Connect = 6,
        Disconnect = 7,
    };

    explicit ConfigTransporter(QObject* parent = nullptr);
    // Closes what the connection holds open.
    ~ConfigTransporter() override;

    QMXConnection& connection() { return connection_; }
    int operation() const { return operation_; }

signals:
    void progress(int value);
    void error(int code);
    void finished();

public slots:
    void readConfigurationFromDevice(QMXHConfiguration* config, QMXH* qmxh);
    void writeConfigurationToDevice(QMXH* qmxh, QMXHConfiguration* config);
    void loadConfigurationFromFile(QMXHConfiguration* config, QString fileName);
    void saveConfigurationToFile(QString fileName, QMXHConfiguration* config);
    void verifyConfiguration(QMXH* qmxh, QMXHConfiguration* config);
    void connectToDevice(QString locator);
    void disconnectFromDevice();

    void initMembers();
    // Safe from any thread: the running operation ends with 1017 after the
    // slot or chunk in progress.
    void abortOperation();

private:
    void run();
    int readFromDevice();
    int writeToDevice();
    int verify();
    int loadFromFile();
    int saveToFile();
    int connectDevice();
    int disconnectDevice();
    // Emits the progress of a finished unit; true when the operation is to
    // stop there.
    bool unitDone(int value);
    // The slot reads of a device operation; a length other than the slot
    // size is a read error too.
    int readSlot(int slot, uint8_t* buffer);

    int operation_ = Idle;
    QMXConnection connection_{this};
    QMXH* qmxh_ = nullptr;
    QMXHConfiguration* config_ = nullptr;
    QString fileName_;
    QString locator_;
    std::atomic<bool> abort_{false};
};
