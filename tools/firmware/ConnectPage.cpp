#include "ConnectPage.h"

#include "ui_ConnectPage.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QStringList>
#include <QWizard>

#include <vector>

#include "Dialogs.h"
#include "UpdateSystem.h"

namespace {

constexpr int32_t kBootloaderState = 3;

}  // namespace

ConnectPage::ConnectPage(QWidget* parent) : QMXWizardPage(parent), ui_(std::make_unique<Ui::ConnectPage>()) {
    ui_->setupUi(this);
    setTitle(tr("Select QMX"));
    setSubTitle(tr("Please select the port to which your QMX is connected to."));
    ui_->waitMessage->hide();
    ui_->connectProgress->hide();
    // Registered, so that the pages reading it find it.
    registerField(QString::fromLatin1(kPreserveField), this, "preserveConfiguration");
}

ConnectPage::~ConnectPage() = default;

void ConnectPage::initializePage() {
    ui_->waitMessage->hide();
    ui_->connectProgress->hide();
    on_refreshButton_clicked();
}

bool ConnectPage::isComplete() const { return !ui_->locator->currentText().isEmpty(); }

void ConnectPage::on_refreshButton_clicked() {
    // The worker owns the update system while a task runs.
    if (busy_) return;
    const QString typed = ui_->locator->currentText();
    ui_->locator->clear();
    std::vector<std::string> locators;
    updateSystem()->listPorts(locators);
    for (const std::string& locator : locators) ui_->locator->addItem(QString::fromLatin1(locator.c_str()));
    if (!typed.isEmpty()) ui_->locator->setEditText(typed);
    emit completeChanged();
}

void ConnectPage::on_locator_editTextChanged(QString) { emit completeChanged(); }

void ConnectPage::setLocatorText(const QString& locator) { ui_->locator->setEditText(locator); }

void ConnectPage::progressChanged(int, int overallProgress) {
    ui_->connectProgress->setValue(overallProgress);
}

void ConnectPage::taskChanged(QString task) { ui_->waitMessage->setText(task); }

void ConnectPage::setBusy(bool busy) {
    busy_ = busy;
    if (QWizard* owner = wizard()) {
        for (QWizard::WizardButton which : {QWizard::BackButton, QWizard::NextButton})
            owner->button(which)->setEnabled(!busy);
    }
    ui_->locator->setEnabled(!busy);
    ui_->refreshButton->setEnabled(!busy);
    ui_->connectProgress->setValue(0);
    ui_->waitMessage->setVisible(busy);
    ui_->connectProgress->setVisible(busy);

    UploadManagerThread* thread = uploadThread();
    if (busy) {
        connect(thread, &UploadManagerThread::progressChanged, this, &ConnectPage::progressChanged,
                Qt::QueuedConnection);
        connect(thread, &UploadManagerThread::taskChanged, this, &ConnectPage::taskChanged,
                Qt::QueuedConnection);
    } else {
        disconnect(thread, &UploadManagerThread::progressChanged, this, &ConnectPage::progressChanged);
        disconnect(thread, &UploadManagerThread::taskChanged, this, &ConnectPage::taskChanged);
    }
}

bool ConnectPage::runStep(UploadManagerTask task, const QString& prefix) {
    runTask(task, true);
    const std::string result = uploadThread()->result();
    if (result.empty()) return true;
    vxgui::critical(this, tr("Error"), prefix.arg(QString::fromLatin1(result.c_str())), {tr("OK")});
    return false;
}

bool ConnectPage::fail() {
    setBusy(false);
    updateSystem()->disconnect();
    return false;
}

bool ConnectPage::validatePage() {
    const QString locator = ui_->locator->currentText();
    if (locator.isEmpty()) return false;
    setBusy(true);
    ui_->waitMessage->setText(tr("Connecting..."));
    // Once, so that the wait message and the bar appear before the work.
    QCoreApplication::processEvents();

    updateSystem()->setLocator(locator.toLatin1().toStdString());
    if (!runStep(UploadManagerTask::Connect, tr("Error connecting: %1"))) return fail();

    if (field(QString::fromLatin1(kPreserveField)).toBool()) {
        if (!runStep(UploadManagerTask::EnterApplication,
                     tr("Error entering application: %1.\nPlease restart the QMX and retry.")))
            return fail();
        ui_->connectProgress->setValue(0);
        if (!runStep(UploadManagerTask::ReadConfiguration, tr("Error connecting: %1"))) return fail();
    }

    if (updateSystem()->getState() != kBootloaderState) {
        ui_->connectProgress->setValue(0);
        if (!runStep(UploadManagerTask::EnterBootloader, tr("Error entering bootloader: %1")))
            return fail();
    }
    setBusy(false);
    return true;
}
