#include "Terminal.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

#include "ApplicationSettings.h"
#include "ConfigurationFile.h"
#include "DataInput.h"
#include "Dialogs.h"
#include "InputProperties.h"
#include "ShortCutButton.h"
#include "ShortCutButtonProperties.h"
#include "ui_Terminal.h"

namespace {

const QString kVersion = QStringLiteral("v1.2.18");
const QString kConnectCaption = QStringLiteral("Connect");
const QString kDisconnectCaption = QStringLiteral("Disconnect");
const QKeySequence kConnectShortCut(QStringLiteral("Ctrl+C"));
const QString kPortClosed = QStringLiteral("Port closed.");
const QString kConfigurationFilter = QStringLiteral("XML files (*.xml)");
const QString kConfigurationSuffix = QStringLiteral(".xml");
const QString kCurrentDirectory = QStringLiteral(".");
const QStringList kRemoveOrCancel = {QStringLiteral("Remove"), QStringLiteral("Cancel")};
constexpr int kRemoveAnswer = 0;

// The boxes' layouts and the rule by which the boxes are sized.
constexpr int kBoxMargin = 3;
constexpr int kBoxSpacing = 3;
constexpr int kBoxTitleHeight = 20;
constexpr int kBoxFrameWidth = 16;
constexpr int kLowestBoxHeight = 50;
constexpr int kLowestButtonBoxWidth = 100;
constexpr int kLowestInputBoxWidth = 200;

QVBoxLayout* boxLayout(QWidget* box) {
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(kBoxMargin, kBoxMargin, kBoxMargin, kBoxMargin);
    layout->setSpacing(kBoxSpacing);
    layout->addStretch();
    return layout;
}

// The height and width the items of one box ask for.
template <typename Item>
QSize itemsExtent(const QList<Item*>& items, int lowestWidth) {
    int height = kBoxTitleHeight;
    int width = 0;
    for (const Item* item : items) {
        const QSize hint = item->sizeHint();
        height += hint.height() + kBoxSpacing;
        width = std::max(width, hint.width());
    }
    if (items.isEmpty()) height = kLowestBoxHeight;
    return {std::max(width + kBoxFrameWidth, lowestWidth), std::max(height, kLowestBoxHeight)};
}

// Takes `item` out of `items` and `layout`, cuts its connections to
// `window` and deletes it once control is back in the event loop, since the
// request may come from one of the item's own slots.
template <typename Item>
void dropItem(Item* item, QList<Item*>& items, QVBoxLayout* layout, QObject* window) {
    items.removeOne(item);
    layout->removeWidget(item);
    QObject::disconnect(item, nullptr, window, nullptr);
    item->hide();
    item->deleteLater();
}

}  // namespace

Terminal::Terminal(QWidget* parent, const QString& settingsPath)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::Terminal>()),
      settingsFile_(settingsPath),
      settings_(std::make_unique<ApplicationSettings>()),
      pipeline_(*this, serialPort_, networkPort_) {
    ui_->setupUi(this);
    setWindowTitle(programTitle());

    addButtonAction_ = new QAction(tr("Add Button..."), this);
    addInputAction_ = new QAction(tr("Add Input..."), this);
    ui_->shortCutBox->addAction(addButtonAction_);
    ui_->inputBox->addAction(addInputAction_);
    ui_->shortCutBox->setContextMenuPolicy(Qt::ActionsContextMenu);
    ui_->inputBox->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(addButtonAction_, &QAction::triggered, this, &Terminal::newShortCutButton);
    connect(addInputAction_, &QAction::triggered, this, &Terminal::newDataInput);
    buttonLayout_ = boxLayout(ui_->shortCutBox);
    inputLayout_ = boxLayout(ui_->inputBox);

    connect(&serialPort_, &SerialPort::receivedString, this, &Terminal::receivedString);
    connect(&networkPort_, &EthernetPort::receivedString, this, &Terminal::receivedString);
    ui_->send->installEventFilter(this);

    loadApplicationSettings();
    centerOnCursorScreen(this);
}

Terminal::~Terminal() {
    // The items outlive this class's part of the window: nothing they emit
    // while they are destroyed may reach it.
    for (ShortCutButton* button : buttons_) disconnect(button, nullptr, this, nullptr);
    for (DataInput* input : inputs_) disconnect(input, nullptr, this, nullptr);
    disconnect(&serialPort_, nullptr, this, nullptr);
    disconnect(&networkPort_, nullptr, this, nullptr);
}

QString Terminal::programTitle() { return tr("Textdesk %1").arg(kVersion); }

bool Terminal::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ui_->send || event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers =
        key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (key->key() == Qt::Key_Escape) {
        ui_->send->clear();
        return true;
    }
    if (key->key() == Qt::Key_C && modifiers == Qt::ControlModifier) {
        ui_->connectButton->click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Terminal::newShortCutButton() {
    ShortCutButtonProperties dialog;
    if (vxgui::execDialog(dialog) == QDialog::Accepted) addShortCutButton(dialog);
}

void Terminal::addShortCutButton(const ShortCutButtonProperties& properties) {
    addShortCutButton(ShortCutButtonRecord{properties.buttonName(), properties.textToSend()});
}

void Terminal::addShortCutButton(const ShortCutButtonRecord& record) {
    auto* button = new ShortCutButton(ui_->shortCutBox);
    button->setText(record.name);
    button->setTextToSend(record.textToSend);
    connect(button, &ShortCutButton::remove, this, &Terminal::removeShortCutButton);
    connect(button, &ShortCutButton::send, this, &Terminal::sendString);
    connect(button, &ShortCutButton::propertiesChanged, this, &Terminal::itemPropertiesChanged);
    buttonLayout_->insertWidget(buttons_.size(), button);
    buttons_.append(button);
    updateBoxSizes();
    markModified();
}

void Terminal::removeShortCutButton(ShortCutButton* button, bool force) {
    if (!force && vxgui::question(nullptr, tr("Remove Button"), tr("Really remove this button?"),
                                  kRemoveOrCancel) != kRemoveAnswer)
        return;
    dropItem(button, buttons_, buttonLayout_, this);
    updateBoxSizes();
    markModified();
}

void Terminal::newDataInput() {
    InputProperties dialog;
    if (vxgui::execDialog(dialog) == QDialog::Accepted) addDataInput(dialog);
}

void Terminal::addDataInput(const InputProperties& properties) {
    DataInputRecord record;
    record.name = properties.inputName();
    record.minValue = properties.minValue();
    record.defaultValue = properties.defaultValue();
    record.maxValue = properties.maxValue();
    record.hasSlider = properties.hasSlider();
    record.sendAsBinary = properties.sendAsBinary();
    record.binaryFormat = properties.binaryFormat();
    record.callShortCut = properties.callShortCut();
    record.shortCutToCall = properties.shortCutToCall();
    addDataInput(record);
}

void Terminal::addDataInput(const DataInputRecord& record) {
    auto* input = new DataInput(ui_->inputBox);
    input->setName(record.name);
    input->setMinValue(record.minValue);
    input->setMaxValue(record.maxValue);
    input->setDefaultValue(record.defaultValue);
    input->setValue(record.defaultValue);
    input->setHasSlider(record.hasSlider);
    input->setSendAsBinary(record.sendAsBinary);
    input->setBinaryFormat(record.binaryFormat);
    input->setShortCutToCall(record.shortCutToCall);
    // Last, and before the input is connected: making an input never clicks
    // a button, whatever its limits do to its value.
    input->setCallShortCut(record.callShortCut);
    connect(input, &DataInput::remove, this, &Terminal::removeDataInput);
    connect(input, &DataInput::propertiesChanged, this, &Terminal::itemPropertiesChanged);
    connect(input, &DataInput::activateShortCut, this, &Terminal::activateShortCut);
    inputLayout_->insertWidget(inputs_.size(), input);
    inputs_.append(input);
    updateBoxSizes();
    markModified();
}

void Terminal::removeDataInput(DataInput* input, bool force) {
    if (!force && vxgui::question(nullptr, tr("Remove Input"), tr("Really remove this input?"),
                                  kRemoveOrCancel) != kRemoveAnswer)
        return;
    dropItem(input, inputs_, inputLayout_, this);
    updateBoxSizes();
    markModified();
}

void Terminal::removeEveryItem() {
    for (ShortCutButton* button : QList<ShortCutButton*>(buttons_))
        dropItem(button, buttons_, buttonLayout_, this);
    for (DataInput* input : QList<DataInput*>(inputs_))
        dropItem(input, inputs_, inputLayout_, this);
    updateBoxSizes();
}

void Terminal::updateBoxSizes() {
    const QSize buttons = itemsExtent(buttons_, kLowestButtonBoxWidth);
    const QSize inputs = itemsExtent(inputs_, kLowestInputBoxWidth);
    const int height = std::max(buttons.height(), inputs.height());
    ui_->shortCutBox->setMinimumSize(buttons.width(), height);
    ui_->inputBox->setMinimumSize(inputs.width(), height);
}

void Terminal::itemPropertiesChanged() {
    updateBoxSizes();
    markModified();
}

void Terminal::activateShortCut(int value) {
    if (value >= 0 && value < buttons_.size()) buttons_[value]->click();
}

void Terminal::on_connectButton_clicked() {
    if (ui_->connectButton->text() == kDisconnectCaption) {
        if (openKind_ == SerialConnection)
            serialPort_.close();
        else
            networkPort_.close();
        setConnected(false, kPortClosed);
        return;
    }
    if (settings_->connectionType() == SerialConnection) {
        const int number = settings_->comPort();
        serialPort_.setBaudRate(settings_->baudRate());
        const int result = serialPort_.open(tr("COM%1").arg(number));
        if (result != SerialPort::Opened) {
            showStatus(tr("Failed to open serial port COM%1! Error: %2").arg(number).arg(result));
            return;
        }
        openKind_ = SerialConnection;
        setConnected(true, tr("Serial port COM%1 opened successfully.").arg(number));
        return;
    }
    const QString ip = settings_->networkIp();
    const int port = settings_->networkPort();
    const int result = networkPort_.open(ip, static_cast<quint16>(port));
    if (result != EthernetPort::Opened) {
        showStatus(
            tr("Failed to open network port on %1:%2! Error: %3").arg(ip).arg(port).arg(result));
        return;
    }
    openKind_ = NetworkConnection;
    setConnected(true, tr("Network port on %1:%2 opened successfully.").arg(ip).arg(port));
}

void Terminal::setConnected(bool connected, const QString& status) {
    ui_->connectButton->setText(connected ? kDisconnectCaption : kConnectCaption);
    // A new caption takes the button's short cut away (its mnemonic replaces it).
    ui_->connectButton->setShortcut(kConnectShortCut);
    ui_->send->setEnabled(connected);
    if (connected) ui_->send->setFocus();
    showStatus(status);
}

void Terminal::sendString(QString text, int target) { pipeline_.sendString(text, target); }

void Terminal::on_send_returnPressed() { sendString(ui_->send->text(), SendPipeline::Send); }

void Terminal::on_clearReceive_clicked() {
    ui_->receive->clear();
    ui_->send->setFocus();
}

void Terminal::receivedString(QString data) {
    if (ui_->autoClear->isChecked() && data == QString(QChar(0))) {
        ui_->receive->clear();
        return;
    }
    ui_->receive->insertPlainText(data);
    QScrollBar* bar = ui_->receive->verticalScrollBar();
    bar->setValue(bar->maximum());
}

bool Terminal::sendLineEnabled() const { return ui_->send->isEnabled(); }
void Terminal::setSendLineText(const QString& text) { ui_->send->setText(text); }

QVector<InputValue> Terminal::inputValues() const {
    QVector<InputValue> values;
    for (const DataInput* input : inputs_)
        values.append({input->value(), input->sendAsBinary(), input->binaryFormat()});
    return values;
}

SendSettings Terminal::sendSettings() const {
    return {settings_->sendInitialString(), settings_->initialString(),
            settings_->sendTerminalString(), settings_->terminalString(),
            settings_->connectionType()};
}

void Terminal::showStatus(const QString& text) { ui_->statusBar->showMessage(text); }

void Terminal::markModified() {
    setWindowTitle(tr("%1 -- %2*").arg(programTitle(), currentFile_.fileName()));
}

void Terminal::setCurrentFile(const QFileInfo& file) {
    currentFile_ = file;
    setWindowTitle(tr("%1 -- %2").arg(programTitle(), currentFile_.fileName()));
}

void Terminal::on_action_New_triggered() {
    removeEveryItem();
    setCurrentFile(QFileInfo());
}

void Terminal::on_action_Open_triggered() {
    const QString name = vxgui::openFileName(nullptr, tr("Load Configuration"), kCurrentDirectory,
                                             kConfigurationFilter);
    if (!name.isEmpty()) loadConfiguration(QFileInfo(name));
}

void Terminal::on_action_Save_triggered() {
    if (currentFile_.filePath().isEmpty())
        on_actionS_ave_as_triggered();
    else
        saveConfiguration(currentFile_);
}

void Terminal::on_actionS_ave_as_triggered() {
    QString name = vxgui::saveFileName(nullptr, tr("Save Configuration"), kCurrentDirectory,
                                       kConfigurationFilter);
    if (name.isEmpty()) return;
    if (!name.endsWith(kConfigurationSuffix, Qt::CaseSensitive)) name += kConfigurationSuffix;
    saveConfiguration(QFileInfo(name));
}

void Terminal::on_actionE_xit_triggered() { QApplication::quit(); }

void Terminal::quickLoad(int slot) {
    const QString path = settings_->slotFile(slot);
    if (!path.isEmpty()) loadConfiguration(QFileInfo(path));
}

void Terminal::on_actionSettings_triggered() { openSettingsDialog(ConnectionTab); }
void Terminal::on_actionEdit_Slots_triggered() { openSettingsDialog(QuickLoadTab); }

void Terminal::openSettingsDialog(int tab) {
    auto dialog = std::make_unique<ApplicationSettings>();
    dialog->setCurrentTab(tab);
    dialog->setData(settings_->data());
    if (vxgui::execDialog(*dialog) != QDialog::Accepted) return;
    settings_ = std::move(dialog);
    saveApplicationSettings();
    const QList<QAction*> actions = slotActions();
    for (int slot = 0; slot < kQuickLoadSlots; ++slot) {
        const QString path = settings_->slotFile(slot);
        actions[slot]->setText(path.isEmpty() ? tr("Slot %1").arg(slot + 1) : path);
    }
    if (ui_->connectButton->text() == kDisconnectCaption &&
        settings_->connectionType() != openKind_)
        ui_->connectButton->click();
}

void Terminal::saveConfiguration(const QFileInfo& file) {
    TerminalConfiguration configuration;
    for (const ShortCutButton* button : buttons_)
        configuration.buttons.append({button->text(), button->textToSend()});
    for (const DataInput* input : inputs_) {
        configuration.inputs.append({input->name(), input->minValue(), input->defaultValue(),
                                     input->maxValue(), input->hasSlider(), input->sendAsBinary(),
                                     input->binaryFormat(), input->callShortCut(),
                                     input->shortCutToCall()});
    }
    if (ConfigurationFile(file).saveConfiguration(configuration)) setCurrentFile(file);
}

void Terminal::loadConfiguration(const QFileInfo& file) {
    const std::optional<TerminalConfiguration> configuration =
        ConfigurationFile(file).loadConfiguration();
    if (!configuration) return;
    removeEveryItem();
    for (const ShortCutButtonRecord& button : configuration->buttons) addShortCutButton(button);
    for (const DataInputRecord& input : configuration->inputs) addDataInput(input);
    setCurrentFile(file);
}

void Terminal::loadApplicationSettings() {
    ApplicationSettingsData data;
    const ApplicationSettingsFile::LoadResult result = settingsFile_.loadApplicationSettings(data);
    if (!result.statusMessage.isEmpty()) showStatus(result.statusMessage);
    if (!result.loaded) return;
    settings_->setData(data);
    const QList<QAction*> actions = slotActions();
    for (int slot = 0; slot < kQuickLoadSlots; ++slot)
        if (!data.slotFiles[slot].isEmpty()) actions[slot]->setText(data.slotFiles[slot]);
}

void Terminal::saveApplicationSettings() {
    settingsFile_.saveApplicationSettings(settings_->data());
}

QList<QAction*> Terminal::slotActions() const {
    return {ui_->actionSlot_1, ui_->actionSlot_2, ui_->actionSlot_3, ui_->actionSlot_4,
            ui_->actionSlot_5, ui_->actionSlot_6, ui_->actionSlot_7, ui_->actionSlot_8};
}
