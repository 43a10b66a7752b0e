#include "QMXConfiguration.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QSettings>

#include <functional>

#include "BaudRateConfig.h"
#include "ConfigurationResources.h"
#include "Dialogs.h"
#include "IndexMapConfig.h"
#include "PageMessages.h"
#include "SensorTypesConfig.h"
#include "SpeedLevelTableConfig.h"
#include "SystemParametersConfig.h"
#include "VersionConfig.h"
#include "XmlConfigFile.h"
#include "ui_QMXConfiguration.h"

namespace {

const QString kVersion = QStringLiteral("1.7.10");
const QString kDocumentType = QStringLiteral("QMXConfigSettings");
const QString kXmlFilter = QStringLiteral("XML Files (*.xml)");
const QString kConnectText = QStringLiteral("Connect");
const QString kDisconnectText = QStringLiteral("Disconnect");
const QString kConnectedIcon =
    QStringLiteral(":/qmxconfiguration/Resources/GuiResources/Icons/LED/Flat/RoundGreenOn.png");
const QString kDisconnectedIcon =
    QStringLiteral(":/qmxconfiguration/Resources/GuiResources/Icons/LED/Flat/RoundNeutralOff.png");

// Only locators of this kind are put back at start: the others reappear in
// the refreshed list.
const QString kRestoredLocatorPrefix = QStringLiteral("network:");

const QString kGeometryKey = QStringLiteral("WindowGeometry");
const QString kStateKey = QStringLiteral("WindowState");
const QString kLocatorKey = QStringLiteral("SystemLocator");
constexpr int kStateVersion = 0;

constexpr int kContinueButton = 0;

void showErrorBox(const QString& text) {
    vxgui::MessageBoxRequest box;
    box.icon = QMessageBox::Critical;
    box.title = QStringLiteral("Error");
    box.text = text;
    box.buttons = QStringList{QStringLiteral("Ok")};
    box.defaultButton = 0;
    vxgui::dialogs().messageBox(box);
}

}  // namespace

QMXConfiguration::QMXConfiguration(QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags), form_(std::make_unique<Ui::QMXConfigurationClass>()) {
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrax"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("veltrax.example"));
    QCoreApplication::setApplicationName(QStringLiteral("QMXConfigurationTool"));
    QCoreApplication::setApplicationVersion(kVersion);

    initConfigurationResources();
    form_->setupUi(this);
    setWindowTitle(QStringLiteral("QMX Configuration Tool %1").arg(kVersion));

    Ui::QMXConfigurationClass* form = form_.get();
    speedLevelTable_ = new SpeedLevelTableConfig(this, form, &connection_);
    connect(speedLevelTable_, &SpeedLevelTableConfig::speedLevelTableModified, this,
            &QMXConfiguration::configurationModified);
    sensorTypes_ = new SensorTypesConfig(this, form, &connection_);
    connect(sensorTypes_, &SensorTypesConfig::sensorTypesModified, this,
            &QMXConfiguration::configurationModified);
    baudRate_ = new BaudRateConfig(this, form, &connection_);
    connect(baudRate_, &BaudRateConfig::baudRateModified, this,
            &QMXConfiguration::configurationModified);
    systemParameters_ = new SystemParametersConfig(this, form, &connection_);
    connect(systemParameters_, &SystemParametersConfig::systemParametersModified, this,
            &QMXConfiguration::configurationModified);
    indexMap_ = new IndexMapConfig(this, form);
    connect(indexMap_, &IndexMapConfig::indexMapModified, this,
            &QMXConfiguration::configurationModified);
    version_ = new VersionConfig(this, form);
    connect(sensorTypes_, &SensorTypesConfig::distCodeInverted, systemParameters_,
            &SystemParametersConfig::updateInversion);

    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    move(screen.width() / 2 - width() / 2, screen.height() / 2 - height() / 2);

    form_->refreshButton->click();
    restoreSettings();
    form_->statusBar->showMessage(QStringLiteral("Ready."));
}

// A window destroyed without being closed must not leave its system open in
// the library.
QMXConfiguration::~QMXConfiguration() {
    if (connection_.mode() != QMXConnection::Closed) connection_.closeSystem();
}

void QMXConfiguration::closeEvent(QCloseEvent* event) {
    connection_.closeSystem();
    saveSettings();
    event->accept();
}

void QMXConfiguration::on_connectButton_clicked() {
    if (form_->connectButton->text() == kConnectText)
        connectSystem();
    else
        disconnectSystem();
}

void QMXConfiguration::connectSystem() {
    form_->statusBar->showMessage(QStringLiteral("Connecting..."));
    // Only so that the text is painted before the open blocks: a click
    // waiting here must not run a second Connect inside this one.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (const uint32_t status = connection_.openSystem(form_->locator->currentText())) {
        form_->statusBar->showMessage(QStringLiteral("Connect failed! Error %1").arg(status),
                                      configpages::kNoticeMs);
        return;
    }
    if (const uint32_t lost = readConfiguration()) {
        // The connection is given up, as a failed Connect leaves the window.
        disconnectSystem();
        form_->statusBar->showMessage(QStringLiteral("Connect failed! Error %1").arg(lost),
                                      configpages::kNoticeMs);
        return;
    }
    form_->writeXMLButton->setEnabled(true);
    form_->readXMLButton->setEnabled(true);
    form_->readButton->setEnabled(true);
    form_->closedLoopMaxFrequency->setEnabled(true);
    form_->refreshButton->setEnabled(false);
    form_->locator->setEnabled(false);
    form_->statusBar->showMessage(QStringLiteral("Connected."));
    form_->connectButton->setText(kDisconnectText);
    form_->connectButton->setIcon(QIcon(kConnectedIcon));
}

void QMXConfiguration::disconnectSystem() {
    connection_.closeSystem();
    clearPages();
    form_->writeXMLButton->setEnabled(false);
    form_->readXMLButton->setEnabled(false);
    form_->readButton->setEnabled(false);
    form_->writeButton->setEnabled(false);
    form_->refreshButton->setEnabled(true);
    form_->locator->setEnabled(true);
    form_->statusBar->showMessage(QStringLiteral("Disonnected."));
    form_->connectButton->setText(kConnectText);
    form_->connectButton->setIcon(QIcon(kDisconnectedIcon));
}

void QMXConfiguration::clearPages() {
    speedLevelTable_->clear();
    sensorTypes_->clear();
    baudRate_->clear();
    systemParameters_->clear(true);
    indexMap_->clear();
}

void QMXConfiguration::on_readButton_clicked() {
    // A line that is gone stays gone: the window goes back to Connect.
    if (readConfiguration() != 0) disconnectSystem();
}

uint32_t QMXConfiguration::readConfiguration() {
    const bool modified = speedLevelTable_->isModified() || sensorTypes_->isModified() ||
                          baudRate_->isModified() || systemParameters_->isModified() ||
                          indexMap_->isModified();
    if (modified) {
        const int answer = vxgui::question(
            nullptr, QStringLiteral("Read Configuration"),
            QStringLiteral("Changes made to the current configuration will be lost.\nContinue?"),
            {QStringLiteral("&Continue"), QStringLiteral("&Abort")}, kContinueButton);
        if (answer != kContinueButton) return 0;
    }
    form_->writeButton->setEnabled(false);
    form_->statusBar->showMessage(QStringLiteral("Reading configuration..."));
    const std::function<void()> pageReads[] = {
        [&] { speedLevelTable_->readFromController(&connection_); },
        [&] { sensorTypes_->readFromController(&connection_); },
        [&] { baudRate_->readFromController(&connection_); },
        [&] { systemParameters_->readFromSystem(); },
        [&] { indexMap_->readFromController(&connection_); },
        [&] { version_->readFromController(&connection_); },
    };
    for (const auto& read : pageReads) {
        read();
        // A line that is gone answers no further page.
        if (connection_.lineLost()) break;
    }
    if (const uint32_t lost = connection_.lineLost()) {
        showErrorBox(
            QStringLiteral("Connection lost while reading the configuration. Code: %1").arg(lost));
        return lost;
    }
    form_->statusBar->showMessage(QStringLiteral("Configuration read."));
    return 0;
}

void QMXConfiguration::on_writeButton_clicked() {
    form_->writeButton->setEnabled(false);
    form_->statusBar->showMessage(QStringLiteral("Writing configuration..."));
    // Every page writes, whatever the one before met; each shows its own
    // failure.
    bool written = speedLevelTable_->writeToController(&connection_);
    written = sensorTypes_->writeToController(&connection_) && written;
    written = baudRate_->writeToController(&connection_) && written;
    written = systemParameters_->writeToSystem() && written;
    written = indexMap_->writeToController(&connection_) && written;
    if (written)
        form_->statusBar->showMessage(QStringLiteral("Configuration written."));
    else
        form_->statusBar->clearMessage();
}

void QMXConfiguration::configurationModified() { form_->writeButton->setEnabled(true); }

void QMXConfiguration::on_refreshButton_clicked() {
    const QString typed = form_->locator->currentText();
    form_->locator->clear();
    form_->locator->addItems(QMXConnection::findSystems());
    if (!typed.isEmpty()) form_->locator->setEditText(typed);
}

void QMXConfiguration::on_writeXMLButton_clicked() {
    // No drive letters here: the dialogs start in the user's home folder.
    const QString fileName = vxgui::saveFileName(this, QStringLiteral("Save XML Configuration"),
                                                 QDir::homePath(), kXmlFilter);
    if (fileName.isEmpty()) return;
    XmlConfigFile store;
    store.create(kDocumentType);
    systemParameters_->writeToXml(store);
    indexMap_->writeXML(store);
    if (const QString error = store.save(fileName); !error.isEmpty()) showErrorBox(error);
}

void QMXConfiguration::on_readXMLButton_clicked() {
    const QString fileName = vxgui::openFileName(this, QStringLiteral("Open XML Configuration"),
                                                 QDir::homePath(), kXmlFilter);
    if (fileName.isEmpty()) return;
    XmlConfigFile store;
    if (const QString error = store.load(fileName, kDocumentType); !error.isEmpty()) {
        showErrorBox(error);
        return;
    }
    QStringList errors{systemParameters_->readFromXml(store), indexMap_->readXML(store)};
    errors.removeAll(QString());
    if (!errors.isEmpty()) showErrorBox(errors.join(QLatin1Char('\n')));
    // The system parameters may have changed the sensor types.
    sensorTypes_->refreshSensorType();
}

void QMXConfiguration::restoreSettings() {
    QSettings settings;
    restoreGeometry(settings.value(kGeometryKey).toByteArray());
    restoreState(settings.value(kStateKey).toByteArray(), kStateVersion);
    const QString locator = settings.value(kLocatorKey, QString()).toString();
    if (locator.startsWith(kRestoredLocatorPrefix, Qt::CaseSensitive))
        form_->locator->setEditText(locator);
}

void QMXConfiguration::saveSettings() {
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kStateKey, saveState(kStateVersion));
    settings.setValue(kLocatorKey, form_->locator->currentText());
}
