#include "QMXFirmwareUploadWizard.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <optional>

#include "UploaderSettings.h"
#include "ui_QMXFirmwareUploadWizard.h"

QMXFirmwareUploadWizard::QMXFirmwareUploadWizard(QWidget* parent) : QWizard(parent) {
    uploader::setApplicationIdentity();
    Ui::QMXFirmwareUploadWizard form;
    form.setupUi(this);
    setWindowTitle(QStringLiteral("QMX Firmware Uploader ") + QCoreApplication::applicationVersion());
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::NoBackButtonOnLastPage, true);

    for (QMXWizardPage* page : {static_cast<QMXWizardPage*>(&welcome_),
                                static_cast<QMXWizardPage*>(&configSelection_),
                                static_cast<QMXWizardPage*>(&connect_),
                                static_cast<QMXWizardPage*>(&controllerTable_),
                                static_cast<QMXWizardPage*>(&update_),
                                static_cast<QMXWizardPage*>(&result_)})
        addPage(page);
    for (int id : pageIds()) {
        auto* page = static_cast<QMXWizardPage*>(this->page(id));
        page->setSystem(&system_);
        page->setThread(&thread_);
    }

    // Counted on the worker thread as the task begins, and on this thread
    // when its end arrives, ahead of the page that waits for it.
    connect(&thread_, &QThread::started, this, [this] { ++unseenTasks_; }, Qt::DirectConnection);
    connect(&thread_, &QThread::finished, this, [this] { --unseenTasks_; });

    QMetaObject::invokeMethod(&connect_, "on_refreshButton_clicked");
    thread_.setSystem(&system_);

    const uploader::WindowSettings settings = uploader::loadWindowSettings();
    if (!settings.geometry.isEmpty()) restoreGeometry(settings.geometry);
    if (uploader::restoresLocator(settings.locator)) connect_.setLocatorText(settings.locator);

    if (const std::optional<QString> file = uploader::configuredUpdateFile())
        configSelection_.setConfigurationFile(*file);
}

QMXFirmwareUploadWizard::~QMXFirmwareUploadWizard() { thread_.wait(); }

bool QMXFirmwareUploadWizard::taskRunning() const {
    return thread_.isRunning() || unseenTasks_.load() > 0;
}

QString QMXFirmwareUploadWizard::locatorText() const {
    const auto* locator = connect_.findChild<QComboBox*>(QStringLiteral("locator"));
    return locator ? locator->currentText() : QString();
}

void QMXFirmwareUploadWizard::done(int result) {
    if (taskRunning()) return;
    QWizard::done(result);
}

void QMXFirmwareUploadWizard::closeEvent(QCloseEvent* event) {
    if (taskRunning()) {
        event->ignore();
        return;
    }
    uploader::saveWindowSettings({saveGeometry(), locatorText()});
    event->accept();
}
