#include "QMXHConfigurator.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>

#include "ConfigTransporter.h"
#include "Dialogs.h"
#include "HandControlErrors.h"
#include "QMXHEditor_3D.h"
#include "QMXHEditor_nD.h"
#include "QMXLocatorSelect.h"
#include "ui_QMXHConfigurator.h"

namespace {

constexpr const char* kVersion = "v2.0.3";
constexpr int kEditorMessageMs = 2000;

// What the user reads of one operation, by Operation.
struct OperationTexts {
    const char* running;
    const char* dialog;
    const char* failure;
    const char* success;
};

const OperationTexts kOperationTexts[] = {
    {QT_TRANSLATE_NOOP("QMXHConfigurator", "Loading configuration..."), "Loading configuration...",
     QT_TRANSLATE_NOOP("QMXHConfigurator", "Load from file failed: %1"), "Done."},
    {QT_TRANSLATE_NOOP("QMXHConfigurator", "Saving configuration..."), "Saving configuration...",
     QT_TRANSLATE_NOOP("QMXHConfigurator", "Save to file failed: %1"), "Done."},
    {QT_TRANSLATE_NOOP("QMXHConfigurator", "Reading configuration..."), "Reading configuration...",
     QT_TRANSLATE_NOOP("QMXHConfigurator", "Reading configuration failed: %1"), "Done."},
    {QT_TRANSLATE_NOOP("QMXHConfigurator", "Writing configuration..."), "Writing configuration...",
     QT_TRANSLATE_NOOP("QMXHConfigurator", "Writing configuration failed: %1"), "Done."},
    {QT_TRANSLATE_NOOP("QMXHConfigurator", "Verifying configuration..."),
     "Verifying configuration...", QT_TRANSLATE_NOOP("QMXHConfigurator", "Verification failed: %1"),
     "Verification successful."},
    {QT_TRANSLATE_NOOP("QMXHConfigurator", "Connecting ..."), "Connecting...",
     QT_TRANSLATE_NOOP("QMXHConfigurator", "Connecting failed: %1"), "Connection Established!"},
    {QT_TRANSLATE_NOOP("QMXHConfigurator", "Disconnecting ..."), "Disconnecting...",
     QT_TRANSLATE_NOOP("QMXHConfigurator", "%1"), "Disconnected."},
};

const QString kFileDirectory = QStringLiteral(".");
const char* const kFileFilter = "Config files (*.hcmc)";

}  // namespace

void centreOnScreen(QWidget* widget) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QPoint centre = screen->availableGeometry().center();
    widget->move(centre.x() - widget->width() / 2, centre.y() - widget->height() / 2);
}

static void initResources() { Q_INIT_RESOURCE(QMXHConfigurator); }

QMXHConfigurator::QMXHConfigurator(QWidget* parent)
    : QMainWindow(parent), form_(std::make_unique<Ui::QMXHConfiguratorClass>()) {
    initResources();
    form_->setupUi(this);
    form_->stackedWidget->setCurrentIndex(0);

    auto* editor3D = new QMXHEditor_3D;
    auto* editorND = new QMXHEditor_nD;
    for (QMXHEditor* editor :
         {static_cast<QMXHEditor*>(editor3D), static_cast<QMXHEditor*>(editorND)}) {
        editors_.append(editor);
        form_->stackedWidget->addWidget(editor);
        editor->setConfiguration(&configuration_);
    }
    adjustSize();
    setWindowTitle(tr("QMXH Configurator %1").arg(QLatin1String(kVersion)));
    updateActions();

    thread_ = std::make_unique<QThread>();
    worker_ = std::make_unique<ConfigTransporter>();
    ConfigTransporter* worker = worker_.get();
    connect(thread_.get(), &QThread::started, worker, &ConfigTransporter::initMembers);
    // Direct: the thread ends its own loop as the operation ends. A queued
    // quit could arrive after the next operation has started the thread
    // again and stop it before the worker runs.
    connect(worker, &ConfigTransporter::finished, thread_.get(), &QThread::quit,
            Qt::DirectConnection);
    connect(worker, &ConfigTransporter::progress, &operationDialog_, &OperationDialog::setProgress);
    connect(worker, &ConfigTransporter::error, &operationDialog_, &OperationDialog::done);
    connect(&operationDialog_, &OperationDialog::abortClicked, worker,
            &ConfigTransporter::abortOperation, Qt::DirectConnection);
    connect(editorND, &QMXHEditor_nD::messageFromEditor, this,
            &QMXHConfigurator::messageFromEditor);
    connect(this, &QMXHConfigurator::connectToDevice, worker, &ConfigTransporter::connectToDevice);
    connect(this, &QMXHConfigurator::disconnectFromDevice, worker,
            &ConfigTransporter::disconnectFromDevice);
    connect(this, &QMXHConfigurator::readConfigurationFromDevice, worker,
            &ConfigTransporter::readConfigurationFromDevice);
    connect(this, &QMXHConfigurator::writeConfigurationToDevice, worker,
            &ConfigTransporter::writeConfigurationToDevice);
    connect(this, &QMXHConfigurator::loadConfigurationFromFile, worker,
            &ConfigTransporter::loadConfigurationFromFile);
    connect(this, &QMXHConfigurator::saveConfigurationToFile, worker,
            &ConfigTransporter::saveConfigurationToFile);
    connect(this, &QMXHConfigurator::verifyConfiguration, worker,
            &ConfigTransporter::verifyConfiguration);

    centreOnScreen(this);
}

QMXHConfigurator::~QMXHConfigurator() {
    // The worker lives on the GUI thread between operations: the disconnect
    // runs here to its end, before the members go.
    worker_->disconnect(&operationDialog_);
    if (connected_) worker_->disconnectFromDevice();
    worker_.reset();
    thread_->quit();
    thread_->wait();
    thread_.reset();
}

void QMXHConfigurator::showEditor() {
    for (int i = 0; i < editors_.size(); ++i) {
        if (editors_[i]->editedType() == configuration_.type()) {
            form_->stackedWidget->setCurrentWidget(editors_[i]);
            editors_[i]->fillForm();
            return;
        }
    }
    form_->stackedWidget->setCurrentIndex(0);
}

void QMXHConfigurator::updateActions() {
    const bool present = configuration_.type() != 0;
    form_->actionLoad_from_file->setEnabled(true);
    form_->actionSave_to_file->setEnabled(present);
    form_->actionClose->setEnabled(present);
    form_->actionConnect->setEnabled(!connected_);
    form_->actionDisconnect->setEnabled(connected_);
    form_->actionRead_configuration->setEnabled(connected_);
    form_->actionWrite_configuration->setEnabled(present && connected_);
    form_->actionVerify_configuration->setEnabled(present && connected_);
    form_->actionExit->setEnabled(true);
    form_->actionAuto_verify->setEnabled(true);
}

int QMXHConfigurator::run(Operation operation, const std::function<void()>& start) {
    const OperationTexts& texts = kOperationTexts[operation];
    statusBar()->showMessage(tr(texts.running));
    worker_->moveToThread(thread_.get());
    thread_->start();
    start();
    operationDialog_.setOperationName(QString::fromLatin1(texts.dialog));
    const int code = operationDialog_.exec();
    // The worker has sent its code and is on its way home: the thread has
    // ended before anything else may move the worker again.
    thread_->wait();
    if (code != kHcNoError)
        statusBar()->showMessage(tr(texts.failure).arg(errorText(code)));
    else
        statusBar()->showMessage(QString::fromLatin1(texts.success));
    return code;
}

void QMXHConfigurator::on_actionLoad_from_file_triggered() {
    const QString fileName =
        vxgui::openFileName(this, tr("Load configuration"), kFileDirectory, tr(kFileFilter));
    if (fileName.isEmpty()) return;
    if (run(Load, [&] { emit loadConfigurationFromFile(&configuration_, fileName); }) == 0) {
        showEditor();
        updateActions();
    }
}

void QMXHConfigurator::on_actionSave_to_file_triggered() {
    const QString fileName =
        vxgui::saveFileName(this, tr("Save configuration"), kFileDirectory, tr(kFileFilter));
    if (fileName.isEmpty()) return;
    run(Save, [&] { emit saveConfigurationToFile(fileName, &configuration_); });
}

void QMXHConfigurator::on_actionClose_triggered() {
    configuration_.clear();
    showEditor();
    updateActions();
}

void QMXHConfigurator::on_actionExit_triggered() { QApplication::quit(); }

void QMXHConfigurator::on_actionConnect_triggered() {
    QMXLocatorSelect dialog;
    if (vxgui::execDialog(dialog) != QDialog::Accepted) return;
    const QString locator = dialog.selectedLocator();
    if (locator.isEmpty()) return;
    if (run(Connect, [&] { emit connectToDevice(locator); }) == 0) {
        connected_ = true;
        showEditor();
        updateActions();
    }
}

void QMXHConfigurator::on_actionDisconnect_triggered() {
    if (run(Disconnect, [&] { emit disconnectFromDevice(); }) == 0) {
        connected_ = false;
        updateActions();
    }
}

void QMXHConfigurator::on_actionRead_configuration_triggered() {
    // A read that fails or is aborted leaves part of the image erased (0xFF
    // in every slot not yet read); Write would store that in the module. So
    // the image from before the read comes back, or none when there was none.
    QMXHConfiguration beforeRead;
    beforeRead.takeFrom(configuration_);
    if (run(Read, [&] { emit readConfigurationFromDevice(&configuration_, &device_); }) != 0)
        configuration_.takeFrom(beforeRead);
    showEditor();
    updateActions();
}

void QMXHConfigurator::on_actionWrite_configuration_triggered() {
    const auto start = [&] { emit writeConfigurationToDevice(&device_, &configuration_); };
    if (!form_->actionAuto_verify->isChecked()) {
        run(Write, start);
        return;
    }
    // With "Auto verify" a successful write goes straight on to Verify,
    // whose messages replace "Done.".
    if (run(Write, start) == 0) on_actionVerify_configuration_triggered();
}

void QMXHConfigurator::on_actionVerify_configuration_triggered() {
    run(Verify, [&] { emit verifyConfiguration(&device_, &configuration_); });
}

void QMXHConfigurator::messageFromEditor(const QString& message) {
    statusBar()->showMessage(message, kEditorMessageMs);
}
