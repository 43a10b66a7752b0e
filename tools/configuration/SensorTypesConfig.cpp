#include "SensorTypesConfig.h"

#include <QVariant>

#include "QMXControl.h"
#include "PageMessages.h"
#include "QMXConnection.h"
#include "SensorTypes.h"
#include "ui_QMXConfiguration.h"

namespace {

using configpages::showError;

constexpr int kPollIntervalMs = 100;
constexpr int kDescriptionMs = 5000;

// Channel states the page reacts to; every other state is still busy.
constexpr uint32_t kStandingStill = 0;
constexpr uint32_t kHolding = 3;
constexpr uint32_t kSearchingMark = 7;

constexpr uint32_t kPositionerChannel = 0;

// Jog moves while a button is held.
constexpr int32_t kJogSteps = 30000;
constexpr uint32_t kJogAmplitude = 4095;
constexpr uint32_t kJogFrequency = 1000;

constexpr uint32_t kHoldTimeMs = 1000;
constexpr uint32_t kDistanceCodeInvertedParameter = 5;

// Steps of the inversion check.
constexpr int32_t kSearchFirstMark = 0;
constexpr int32_t kFirstMarkFound = -1;
constexpr int32_t kSecondMarkFound = -2;
constexpr int32_t kEndStopsGivingUp = 2;

}  // namespace

SensorTypesConfig::SensorTypesConfig(QObject* parent, Ui::QMXConfigurationClass* form,
                                     QMXConnection* connection)
    : QObject(parent), form_(form), connection_(connection), pollTimer(this), checkRefTimer(this) {
    pollTimer.setObjectName(QStringLiteral("pollTimer"));
    checkRefTimer.setObjectName(QStringLiteral("checkRefTimer"));
    form_->sensorType->clear();
    for (const sensortypes::SensorType& type : sensortypes::offered())
        form_->sensorType->addItem(QString::fromLatin1(type.designation),
                                   QVariant(static_cast<int>(type.code)));

    Ui::QMXConfigurationClass& f = *form_;
    using Self = SensorTypesConfig;
    connect(f.channelIndex, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Self::channelIndex_currentIndexChanged);
    connect(f.moveBackwardButton, &QPushButton::pressed, this, &Self::moveBackwardButton_pressed);
    connect(f.moveBackwardButton, &QPushButton::released, this,
            &Self::moveBackwardButton_released);
    connect(f.moveForwardButton, &QPushButton::pressed, this, &Self::moveForwardButton_pressed);
    connect(f.moveForwardButton, &QPushButton::released, this, &Self::moveForwardButton_released);
    connect(f.sensorType, QOverload<int>::of(&QComboBox::activated), this,
            &Self::sensorType_activated);
    connect(f.sensorType, QOverload<int>::of(&QComboBox::highlighted), this,
            &Self::sensorType_highlighted);
    connect(f.calibrateButton, &QPushButton::clicked, this, &Self::calibrateButton_clicked);
    connect(f.findRefButton, &QPushButton::clicked, this, &Self::findRefButton_clicked);
    connect(f.detectDistCodeInvButton, &QPushButton::clicked, this,
            &Self::detectDistCodeInvButton_clicked);
    connect(f.stopButton, &QPushButton::clicked, this, &Self::stopButton_clicked);
    connect(f.clTestBackwardButton, &QPushButton::clicked, this,
            &Self::clTestBackwardButton_clicked);
    connect(f.clTestForwardButton, &QPushButton::clicked, this,
            &Self::clTestForwardButton_clicked);
    connect(&pollTimer, &QTimer::timeout, this, &Self::pollTimerTimeout);
    connect(&checkRefTimer, &QTimer::timeout, this, &Self::checkRef);
    connect(f.setCLFButton, &QPushButton::clicked, this, &Self::setCLFButton_clicked);
    pollTimer.setInterval(kPollIntervalMs);
    checkRefTimer.setInterval(kPollIntervalMs);
}

// Shared steps

uint32_t SensorTypesConfig::selectedChannel() const {
    bool isNumber = false;
    const int channel = form_->channelIndex->currentText().toInt(&isNumber, 10);
    return isNumber ? static_cast<uint32_t>(channel) : 0;
}

void SensorTypesConfig::showStatus(const QString& text, int timeoutMs) {
    form_->statusBar->showMessage(text, timeoutMs);
}

void SensorTypesConfig::updateDetectButton(bool enable) {
    form_->detectDistCodeInvButton->setEnabled(enable &&
                                               sensortypes::isDistanceCoded(currentSensorType));
}

void SensorTypesConfig::setControlsEnabled(bool enable) {
    form_->calibrateButton->setEnabled(enable);
    form_->findRefButton->setEnabled(enable);
    form_->selectChannelGroup->setEnabled(enable);
    form_->configureSensorTypeGroup->setEnabled(enable);
    form_->closedLoopTestGroup->setEnabled(enable);
    updateDetectButton(enable);
}

void SensorTypesConfig::startPolling(const QString& text, Operation started) {
    form_->detectDistCodeInvButton->setEnabled(false);
    form_->calibrateButton->setEnabled(false);
    form_->findRefButton->setEnabled(false);
    form_->selectChannelGroup->setEnabled(false);
    form_->configureSensorTypeGroup->setEnabled(false);
    form_->closedLoopTestGroup->setEnabled(false);
    showStatus(text);
    pollTimer.start();
    operation = started;
    emit lockSystem(true);
}

void SensorTypesConfig::endPolling(const QString& text) {
    pollTimer.stop();
    updateDetectButton(true);
    form_->calibrateButton->setEnabled(true);
    form_->findRefButton->setEnabled(true);
    form_->selectChannelGroup->setEnabled(true);
    form_->configureSensorTypeGroup->setEnabled(true);
    form_->closedLoopTestGroup->setEnabled(true);
    operation = Idle;
    showStatus(text);
    emit lockSystem(false);
}

// Operations of the window

void SensorTypesConfig::readFromController(QMXConnection*) {
    uint32_t count = 0;
    if (const uint32_t status = connection_->getNumberOfChannels(&count)) {
        showError(QStringLiteral("Error reading number of channels. Code: %1"), status);
        return;
    }
    form_->channelIndex->clear();
    for (uint32_t channel = 0; channel < count; ++channel) {
        uint32_t type = 0;
        // A channel whose type cannot be read is offered all the same.
        const uint32_t status = connection_->getChannelType(channel, &type);
        if (status != VX_OK || type == kPositionerChannel)
            form_->channelIndex->addItem(QString::number(channel));
    }
    form_->selectChannelGroup->setEnabled(true);
    updateDetectButton(true);
}

bool SensorTypesConfig::writeToController(QMXConnection*) { return true; }

void SensorTypesConfig::clear() {
    form_->channelIndex->clear();
    form_->selectChannelGroup->setEnabled(false);
    form_->sensorType->setCurrentIndex(0);
    form_->configureSensorTypeGroup->setEnabled(false);
    form_->calibrateGroup->setEnabled(false);
    form_->calibrateButton->setEnabled(true);
    form_->findRefButton->setEnabled(true);
    form_->stopButton->setEnabled(true);
    updateDetectButton(true);
    form_->closedLoopTestGroup->setEnabled(false);
    pollTimer.stop();
    // A running inversion check ends here too: after Disconnect it would
    // poll a closed connection and could start further searches.
    checkRefTimer.stop();
    operation = Idle;
}

void SensorTypesConfig::refreshSensorType() {
    channelIndex_currentIndexChanged(static_cast<int>(selectedChannel()));
}

// The channel and its sensor type

void SensorTypesConfig::channelIndex_currentIndexChanged(int index) {
    if (index < 0) return;
    uint32_t code = 0;
    if (const uint32_t status = connection_->getSensorType(selectedChannel(), &code)) {
        showError(QStringLiteral("Error reading sensor type. Code: %1"), status);
        return;
    }
    {
        const QSignalBlocker blocker(form_->sensorType);
        form_->sensorType->setCurrentIndex(
            form_->sensorType->findData(QVariant(static_cast<int>(code)), Qt::UserRole,
                                        Qt::MatchExactly));
    }
    currentSensorType = code;
    // A channel without a sensor can be neither configured nor tested here.
    const bool hasSensor = code != 0;
    form_->configureSensorTypeGroup->setEnabled(hasSensor);
    form_->calibrateGroup->setEnabled(hasSensor);
    form_->closedLoopTestGroup->setEnabled(hasSensor);
    updateDetectButton(true);
}

void SensorTypesConfig::sensorType_highlighted(int index) {
    const uint32_t code = form_->sensorType->itemData(index).toUInt();
    const QString text = sensortypes::description(code);
    if (text.isEmpty())
        showStatus(QString());
    else
        showStatus(text, kDescriptionMs);
}

void SensorTypesConfig::sensorType_activated(int index) {
    const uint32_t code = form_->sensorType->itemData(index).toUInt();
    if (code == currentSensorType) {
        showStatus(QString());
        return;
    }
    if (const uint32_t status = connection_->setSensorType(selectedChannel(), code)) {
        showError(QStringLiteral("Error writing sensor type. Code: %1"), status);
        const QSignalBlocker blocker(form_->sensorType);
        form_->sensorType->setCurrentIndex(form_->sensorType->findData(
            QVariant(static_cast<int>(currentSensorType)), Qt::UserRole, Qt::MatchExactly));
        showStatus(QString());
        return;
    }
    currentSensorType = code;
    showStatus(QStringLiteral("Wrote sensor type."));
    updateDetectButton(true);
}

// Jogging: results are not looked at.

void SensorTypesConfig::moveBackwardButton_pressed() {
    connection_->stepMove(selectedChannel(), -kJogSteps, kJogAmplitude, kJogFrequency);
}

void SensorTypesConfig::moveBackwardButton_released() { connection_->stop(selectedChannel()); }

void SensorTypesConfig::moveForwardButton_pressed() {
    connection_->stepMove(selectedChannel(), kJogSteps, kJogAmplitude, kJogFrequency);
}

void SensorTypesConfig::moveForwardButton_released() { connection_->stop(selectedChannel()); }

// Polled operations

void SensorTypesConfig::calibrateButton_clicked() {
    if (const uint32_t status = connection_->calibrateSensor(selectedChannel())) {
        showError(QStringLiteral("Error calibrating. Code: %1"), status);
        return;
    }
    startPolling(QStringLiteral("Calibrating. Please wait..."), Calibrating);
}

void SensorTypesConfig::findRefButton_clicked() {
    const uint32_t status = connection_->findReferenceMark(
        selectedChannel(), static_cast<uint32_t>(form_->safeDirection->currentIndex()),
        kHoldTimeMs, form_->autoZero->isChecked() ? 1 : 0);
    if (status != VX_OK) {
        showError(QStringLiteral("Error finding reference mark. Code: %1"), status);
        return;
    }
    startPolling(QStringLiteral("Finding reference mark. Please wait..."), FindingReference);
}

void SensorTypesConfig::closedLoopTestMove(bool backward) {
    // The kind follows the entry shown, not the type last read.
    const uint32_t shown = form_->sensorType->currentData().toUInt();
    const int32_t increment = form_->clTestIncrement->value();
    const int32_t difference = backward ? -increment : increment;
    const uint32_t channel = selectedChannel();
    const uint32_t status =
        sensortypes::isPosition(shown)
            ? connection_->gotoPositionRelative(channel, difference, kHoldTimeMs)
            : connection_->gotoAngleRelative(channel, difference, 0, kHoldTimeMs);
    if (status != VX_OK) {
        showError(QStringLiteral("Error issuing command. Code: %1"), status);
        return;
    }
    startPolling(QStringLiteral("Moving..."), TestMove);
}

void SensorTypesConfig::clTestBackwardButton_clicked() { closedLoopTestMove(true); }

void SensorTypesConfig::clTestForwardButton_clicked() { closedLoopTestMove(false); }

void SensorTypesConfig::setCLFButton_clicked() {
    const uint32_t status = connection_->setClosedLoopMaxFrequency(
        selectedChannel(), static_cast<uint32_t>(form_->closedLoopMaxFrequency->value()));
    if (status != VX_OK) showError(QStringLiteral("Error settig Max CLF. Code: %1"), status);
}

void SensorTypesConfig::stopButton_clicked() {
    pollTimer.stop();
    if (const uint32_t status = connection_->stop(selectedChannel()))
        showError(QStringLiteral("Error stopping. Code: %1"), status);
    else
        showStatus(QStringLiteral("Stopped."));
    // A running inversion check learns of the stop from the channel state.
    stoppedByUser = true;
    updateDetectButton(true);
    form_->calibrateButton->setEnabled(true);
    form_->findRefButton->setEnabled(true);
    form_->selectChannelGroup->setEnabled(true);
    form_->configureSensorTypeGroup->setEnabled(true);
    form_->closedLoopTestGroup->setEnabled(true);
    operation = Idle;
    emit lockSystem(false);
}

void SensorTypesConfig::pollTimerTimeout() {
    uint32_t status = 0;
    if (const uint32_t failure = connection_->getStatus(selectedChannel(), &status)) {
        pollTimer.stop();
        showError(QStringLiteral("Error reading status. Code: %1"), failure);
        form_->stopButton->click();
        return;
    }
    // What ends each operation: the channel holding, or standing still.
    struct Ends {
        const char* holding;
        const char* still;
    };
    static constexpr Ends kEnds[] = {
        {nullptr, nullptr},                                               // idle
        {nullptr, "Calibration complete."},                               // calibrating
        {"Reference mark found.", "Error finding reference mark!"},       // finding reference
        {"Done.", "End stop reached!"},                                   // test move
    };
    if (operation < Idle || operation > TestMove) return;
    const Ends& ends = kEnds[operation];
    if (status == kHolding && ends.holding) endPolling(QString::fromLatin1(ends.holding));
    if (status == kStandingStill && ends.still) endPolling(QString::fromLatin1(ends.still));
}

// The distance-code inversion check: two marks searched one after the other
// in the same direction; the second must lie in the direction of travel.

void SensorTypesConfig::detectDistCodeInvButton_clicked() {
    searchDirection = sensortypes::searchDirection(currentSensorType,
                                                   form_->safeDirection->currentIndex() != 0);
    referenceStarted = false;
    detectStep = kSearchFirstMark;
    endStopCount = 0;
    endStopHit = false;
    stoppedByUser = false;
    runDetectionStep();
}

bool SensorTypesConfig::searchNextMark(const QString& failure) {
    const uint32_t status =
        connection_->findReferenceMark(selectedChannel(), searchDirection, kHoldTimeMs, 0);
    if (status != VX_OK) {
        showError(failure, status);
        return false;
    }
    checkRefTimer.start();
    return true;
}

bool SensorTypesConfig::readAtMark(bool second) {
    const QString mark = second ? QStringLiteral("RM2") : QStringLiteral("RM1");
    const uint32_t channel = selectedChannel();
    if (sensortypes::isPosition(currentSensorType)) {
        int32_t& position = second ? rm2Position : rm1Position;
        if (const uint32_t status = connection_->getPosition(channel, &position)) {
            showError(QStringLiteral("Error while executing getPosition() command (%1). Code: %2")
                          .arg(mark)
                          .arg(status));
            return false;
        }
        return true;
    }
    uint32_t& angle = second ? rm2Angle : rm1Angle;
    int32_t& revolution = second ? rm2Revolution : rm1Revolution;
    if (const uint32_t status = connection_->getAngle(channel, &angle, &revolution)) {
        showError(QStringLiteral("Error while executing getAngle() command (%1). Code: %2")
                      .arg(mark)
                      .arg(status));
        return false;
    }
    return true;
}

void SensorTypesConfig::runDetectionStep() {
    form_->calibrateButton->setEnabled(false);
    form_->findRefButton->setEnabled(false);
    form_->selectChannelGroup->setEnabled(false);
    form_->configureSensorTypeGroup->setEnabled(false);
    form_->closedLoopTestGroup->setEnabled(false);
    updateDetectButton(false);

    if (stoppedByUser) {
        showStatus(QStringLiteral("stopped by user."));
    } else if (endStopCount == kEndStopsGivingUp) {
        showError(QStringLiteral("Error: two referenceoperations failed in a row, indication for "
                                 "reaching two endstops."));
    } else {
        if (endStopHit) {
            endStopHit = false;
            searchDirection = sensortypes::reversed(searchDirection);
            showStatus(QStringLiteral("endstop reached, change direction."));
        }
        switch (detectStep) {
        case kSearchFirstMark:
            // Controls stay disabled while the search runs.
            if (searchNextMark(QStringLiteral("Error finding Reference Mark 1. Code: %1"))) return;
            break;
        case kFirstMarkFound:
            if (readAtMark(false) &&
                searchNextMark(QStringLiteral("Error finding Reference Mark 2. Code: %1")))
                return;
            break;
        case kSecondMarkFound:
            if (readAtMark(true)) decideInversion();
            break;
        default:
            break;
        }
    }
    setControlsEnabled(true);
}

void SensorTypesConfig::decideInversion() {
    const bool wrong =
        sensortypes::isPosition(currentSensorType)
            ? sensortypes::positionFlagWrong(searchDirection, rm1Position, rm2Position)
            : sensortypes::angleFlagWrong(searchDirection, rm1Angle, rm1Revolution, rm2Angle,
                                          rm2Revolution);
    if (!wrong) {
        showStatus(QStringLiteral("\"Distance Code Inverted\" Flag is set correctly. Nothing to "
                                  "change."));
        return;
    }
    if (const uint32_t status = invertDistanceCodeFlag()) {
        showError(QStringLiteral("Error while executing set- or getTuningParameter() command. "
                                 "Code: %1"),
                  status);
        return;
    }
    showStatus(QStringLiteral("\"Distance Code Inverted\" Flag was wrong, successfully changed!"));
}

uint32_t SensorTypesConfig::invertDistanceCodeFlag() {
    const uint32_t channel = selectedChannel();
    uint32_t value = 0;
    if (const uint32_t status =
            connection_->readTuningParameter(channel, kDistanceCodeInvertedParameter, &value))
        return status;
    const uint32_t inverted = value == 0 ? 1 : 0;
    if (const uint32_t status = connection_->writeTuningParameter(
            channel, kDistanceCodeInvertedParameter, static_cast<int32_t>(inverted)))
        return status;
    emit distCodeInverted(channel, inverted);
    return VX_OK;
}

void SensorTypesConfig::checkRef() {
    uint32_t status = 0;
    if (const uint32_t failure = connection_->getStatus(selectedChannel(), &status)) {
        // As the other polls: stop, report, and end the check.
        checkRefTimer.stop();
        showError(QStringLiteral("Error reading status. Code: %1"), failure);
        setControlsEnabled(true);
        return;
    }
    if (!referenceStarted) {
        if (status == kStandingStill) {
            checkRefTimer.stop();
            showError(QStringLiteral("Referencing stopped immediatly, something is going wrong."));
            setControlsEnabled(true);
        } else if (status == kSearchingMark) {
            referenceStarted = true;
        }
        return;
    }
    if (status == kHolding) {
        checkRefTimer.stop();
        --detectStep;
        runDetectionStep();
    } else if (status == kStandingStill) {
        checkRefTimer.stop();
        ++endStopCount;
        detectStep = kSearchFirstMark;
        endStopHit = true;
        runDetectionStep();
    }
}
