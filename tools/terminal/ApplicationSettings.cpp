#include "ApplicationSettings.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIntValidator>
#include <QRegExpValidator>
#include <QScreen>

#include "Dialogs.h"
#include "ui_ApplicationSettings.h"

namespace {
constexpr int kDefaultNetworkPort = 5000;
constexpr int kHighestNetworkPort = 65535;
}  // namespace

ApplicationSettings::ApplicationSettings(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ApplicationSettings>()) {
    ui_->setupUi(this);
    connectionType_ = SerialConnection;
    ui_->networkPort->setValidator(new QIntValidator(1, kHighestNetworkPort, this));
    const QRegExp octets(QStringLiteral(
        "(([01]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])\\.){3}([01]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])"));
    ui_->networkIp->setValidator(new QRegExpValidator(octets, this));
    ui_->networkIp->setInputMask(QStringLiteral("000.000.000.000"));
    ui_->refreshButton->click();
}

ApplicationSettings::~ApplicationSettings() = default;

int ApplicationSettings::comPort() const { return ui_->comPort->value(); }
int ApplicationSettings::baudRate() const { return ui_->baudRate->currentText().toInt(); }
int ApplicationSettings::baudRateIndex() const { return ui_->baudRate->currentIndex(); }

QStringList ApplicationSettings::baudRates() const {
    QStringList rates;
    for (int i = 0; i < ui_->baudRate->count(); ++i) rates << ui_->baudRate->itemText(i);
    return rates;
}

QString ApplicationSettings::networkIp() const { return ui_->networkIp->text(); }

int ApplicationSettings::networkPort() const {
    const int port = ui_->networkPort->text().toInt();
    return port < 1 || port > kHighestNetworkPort ? kDefaultNetworkPort : port;
}

QString ApplicationSettings::initialString() const { return ui_->initialString->text(); }
QString ApplicationSettings::terminalString() const { return ui_->terminalString->text(); }
bool ApplicationSettings::sendInitialString() const { return ui_->sendInitialString->isChecked(); }
bool ApplicationSettings::sendTerminalString() const {
    return ui_->sendTerminalString->isChecked();
}
QString ApplicationSettings::slotFile(int slot) const { return slotEdit(slot)->text(); }
int ApplicationSettings::currentTab() const { return ui_->tabWidget->currentIndex(); }

void ApplicationSettings::setCurrentTab(int page) { ui_->tabWidget->setCurrentIndex(page); }

void ApplicationSettings::setBaudRates(const QStringList& rates) {
    ui_->baudRate->clear();
    ui_->baudRate->addItems(rates);
}

void ApplicationSettings::setBaudRateIndex(int index) { ui_->baudRate->setCurrentIndex(index); }
void ApplicationSettings::setComPort(int number) { ui_->comPort->setValue(number); }

void ApplicationSettings::setConnectionType(int type) {
    if (type == NetworkConnection)
        ui_->networkConnection->setChecked(true);
    else
        ui_->serialConnection->setChecked(true);
}

void ApplicationSettings::setNetworkIp(const QString& ip) { ui_->networkIp->setText(ip); }
void ApplicationSettings::setNetworkPort(int port) {
    ui_->networkPort->setText(QString::number(port));
}
void ApplicationSettings::setInitialString(const QString& text) {
    ui_->initialString->setText(text);
}
void ApplicationSettings::setTerminalString(const QString& text) {
    ui_->terminalString->setText(text);
}
void ApplicationSettings::setSendInitialString(bool on) { ui_->sendInitialString->setChecked(on); }
void ApplicationSettings::setSendTerminalString(bool on) {
    ui_->sendTerminalString->setChecked(on);
}
void ApplicationSettings::setSlotFile(int slot, const QString& name) {
    slotEdit(slot)->setText(name);
}

ApplicationSettingsData ApplicationSettings::data() const {
    ApplicationSettingsData data;
    for (int slot = 0; slot < kQuickLoadSlots; ++slot) data.slotFiles[slot] = slotFile(slot);
    data.connectionType = connectionType();
    data.baudRates = baudRates();
    data.baudRateIndex = baudRateIndex();
    data.comPort = comPort();
    data.sendInitialString = sendInitialString();
    data.initialString = initialString();
    data.sendTerminalString = sendTerminalString();
    data.terminalString = terminalString();
    data.networkIp = networkIp();
    // The raw number, so that a file's value survives a load and a save.
    data.networkPort = ui_->networkPort->text().toInt();
    return data;
}

void ApplicationSettings::setData(const ApplicationSettingsData& data) {
    for (int slot = 0; slot < kQuickLoadSlots; ++slot) setSlotFile(slot, data.slotFiles[slot]);
    setConnectionType(data.connectionType);
    setBaudRates(data.baudRates);
    setBaudRateIndex(data.baudRateIndex);
    setComPort(data.comPort);
    setSendInitialString(data.sendInitialString);
    setInitialString(data.initialString);
    setSendTerminalString(data.sendTerminalString);
    setTerminalString(data.terminalString);
    setNetworkIp(data.networkIp);
    setNetworkPort(data.networkPort);
}

void ApplicationSettings::on_networkConnection_toggled(bool checked) {
    ui_->networkConfigurationGroup->setEnabled(checked);
    ui_->serialConfigurationGroup->setEnabled(!checked);
    connectionType_ = checked ? NetworkConnection : SerialConnection;
}

void ApplicationSettings::on_refreshButton_clicked() {
    ui_->portList->clear();
    ui_->portList->addItems(SerialPort::listComPorts());
}

void ApplicationSettings::browseSlot(int slot) {
    const QString name =
        vxgui::openFileName(nullptr, QStringLiteral("Select Slot File"), QStringLiteral("."),
                            QStringLiteral("XML files (*.xml)"));
    if (!name.isEmpty()) slotEdit(slot)->setText(name);
}

QLineEdit* ApplicationSettings::slotEdit(int slot) const {
    QLineEdit* const edits[kQuickLoadSlots] = {ui_->slot1File, ui_->slot2File, ui_->slot3File,
                                               ui_->slot4File, ui_->slot5File, ui_->slot6File,
                                               ui_->slot7File, ui_->slot8File};
    return edits[slot];
}

void centerOnCursorScreen(QWidget* widget) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QPoint centre = screen->availableGeometry().center();
    widget->setGeometry(centre.x() - widget->width() / 2, centre.y() - widget->height() / 2,
                        widget->width(), widget->height());
}
