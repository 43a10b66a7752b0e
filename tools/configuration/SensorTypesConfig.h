#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

class QMXConnection;
namespace Ui {
class QMXConfigurationClass;
}

// The "Sensor Types" tab: the sensor type of one positioner channel at a
// time, set at once on the controller, and tests of the channel (jogging,
// calibration, reference search, closed-loop moves, the maximum closed-loop
// frequency, stop) including a check that corrects the channel's
// distance-code-inverted flag (tuning parameter 5). Operations that run on
// the controller for a while are followed by polling its status every
// 100 ms. The page never holds unsaved changes.
class SensorTypesConfig : public QObject {
    Q_OBJECT

public:
    SensorTypesConfig(QObject* parent, Ui::QMXConfigurationClass* form,
                      QMXConnection* connection);

    // Lists the positioner channels; uses the connection given at
    // construction.
    void readFromController(QMXConnection* connection);
    // Writes nothing: the page's changes take effect at once.
    bool writeToController(QMXConnection* connection);
    // At Disconnect: empties the channel list, disables the groups and ends
    // any polling, a running inversion check included.
    void clear();
    // Reads and shows the selected channel's sensor type again.
    void refreshSensorType();
    bool isModified() const { return modified_; }

signals:
    void sensorTypesModified();
    void lockSystem(bool lock);
    void distCodeInverted(uint channel, uint parameterValue);

private slots:
    void channelIndex_currentIndexChanged(int index);
    void moveBackwardButton_pressed();
    void moveBackwardButton_released();
    void moveForwardButton_pressed();
    void moveForwardButton_released();
    void sensorType_activated(int index);
    void sensorType_highlighted(int index);
    void calibrateButton_clicked();
    void findRefButton_clicked();
    void detectDistCodeInvButton_clicked();
    void stopButton_clicked();
    void clTestBackwardButton_clicked();
    void clTestForwardButton_clicked();
    void pollTimerTimeout();
    void checkRef();
    void setCLFButton_clicked();

private:
    enum Operation : int32_t { Idle = 0, Calibrating = 1, FindingReference = 2, TestMove = 3 };

    uint32_t selectedChannel() const;
    void showStatus(const QString& text, int timeoutMs = 0);
    void updateDetectButton(bool enable);
    void setControlsEnabled(bool enable);
    void startPolling(const QString& text, Operation operation);
    void endPolling(const QString& text);
    void closedLoopTestMove(bool backward);
    void runDetectionStep();
    // Searches the next mark of the check; false when the search was
    // refused (reported with `failure`).
    bool searchNextMark(const QString& failure);
    // Reads the position or angle at a found mark into the first or second
    // reading; false when the read failed (reported).
    bool readAtMark(bool second);
    void decideInversion();
    uint32_t invertDistanceCodeFlag();

    Ui::QMXConfigurationClass* form_;
    QMXConnection* connection_;
    bool modified_ = false;
    uint32_t currentSensorType = 0;
    int32_t operation = Idle;
    QTimer pollTimer;
    QTimer checkRefTimer;
    bool referenceStarted = false;
    int32_t detectStep = 0;
    uint32_t searchDirection = 0;
    int32_t endStopCount = 0;
    bool endStopHit = false;
    bool stoppedByUser = false;
    int32_t rm1Position = 0;
    uint32_t rm1Angle = 0;
    int32_t rm1Revolution = 0;
    int32_t rm2Position = 0;
    uint32_t rm2Angle = 0;
    int32_t rm2Revolution = 0;
};
