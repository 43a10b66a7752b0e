#include "PerformUpdatePage.h"

#include <QStringList>
#include <QWizard>
#include <string>

#include "ConnectPage.h"
#include "Dialogs.h"
#include "UpdateOutcome.h"
#include "UpdateSystem.h"
#include "ui_PerformUpdatePage.h"

UpdateOutcome updateOutcome;

namespace {

const QString kManualReset = QStringLiteral("Manual Reset");
const QStringList kRetryButtons = {QStringLiteral("Retry"), QStringLiteral("Cancel")};
constexpr int kRetry = 0;
constexpr int kCancel = 1;

int askRetry(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    vxgui::MessageBoxRequest box;
    box.icon = icon;
    box.title = title;
    box.text = text;
    box.buttons = kRetryButtons;
    box.defaultButton = kRetry;
    box.parent = parent;
    return vxgui::dialogs().messageBox(box);
}

}  // namespace

PerformUpdatePage::PerformUpdatePage(QWidget* parent)
    : QMXWizardPage(parent), form_(std::make_unique<Ui::PerformUpdatePage>()) {
    form_->setupUi(this);
    setTitle(QStringLiteral("Performing Update"));
    setSubTitle(QStringLiteral("Please wait until the update completes."));
    setCommitPage(true);
}

PerformUpdatePage::~PerformUpdatePage() = default;

void PerformUpdatePage::followThread(bool follow) {
    UploadManagerThread* thread = uploadThread();
    if (follow) {
        connect(thread, &UploadManagerThread::progressChanged, this, &PerformUpdatePage::progressChanged);
        connect(thread, &UploadManagerThread::taskChanged, this, &PerformUpdatePage::taskChanged);
    } else {
        disconnect(thread, &UploadManagerThread::progressChanged, this, &PerformUpdatePage::progressChanged);
        disconnect(thread, &UploadManagerThread::taskChanged, this, &PerformUpdatePage::taskChanged);
    }
}

QString PerformUpdatePage::resultText() const {
    const std::string result = uploadThread()->result();
    return QString::fromLatin1(result.data(), static_cast<int>(result.size()));
}

void PerformUpdatePage::initializePage() {
    form_->postUpdateAction->setText(QString());
    form_->postUpdateProgress->hide();
    if (wizard()) setButtonText(QWizard::CommitButton, wizard()->buttonText(QWizard::NextButton));
    connect(this, &QMXWizardPage::taskDone, this, &PerformUpdatePage::updateFinished);
    followThread(true);
    phase_ = kUpdateBars;
    runTask(UploadManagerTask::Update, false);
    // From here the run must not be left half way.
    if (wizard()) wizard()->setOption(QWizard::NoCancelButton, true);
}

bool PerformUpdatePage::isComplete() const { return complete_; }

void PerformUpdatePage::progressChanged(int currentProgress, int overallProgress) {
    if (phase_ == kUpdateBars) {
        form_->currentProgress->setValue(currentProgress);
        form_->overallProgress->setValue(overallProgress);
    } else if (phase_ == kWriteBar) {
        form_->postUpdateProgress->setValue((currentProgress + overallProgress) / 2);
    }
}

void PerformUpdatePage::taskChanged(QString task) { form_->postUpdateAction->setText(task); }

void PerformUpdatePage::updateFinished() {
    disconnect(this, &QMXWizardPage::taskDone, this, &PerformUpdatePage::updateFinished);
    const QString result = resultText();
    if (!result.isEmpty()) {
        vxgui::critical(this, QStringLiteral("Error"), QStringLiteral("Update failed: ") + result,
                        QStringList{QStringLiteral("OK")});
        updateOutcome.updateStatus = UpdateOutcome::kFailed;
    } else {
        updateOutcome.updateStatus = UpdateOutcome::kSucceeded;
        // Asked while the system is still in its bootloader, which lists
        // the modules; outside it the list stays empty.
        updateSystem()->getDamagedLeftOut(updateOutcome.damagedLeftOut);
        form_->postUpdateAction->setText(QStringLiteral("Resetting..."));
        runTask(UploadManagerTask::EnterApplication, true);
        updateOutcome.resetStatus =
            resultText().isEmpty() ? UpdateOutcome::kSucceeded : UpdateOutcome::kFailed;
        if (field(QString::fromLatin1(ConnectPage::kPreserveField)).toBool()) {
            if (updateOutcome.resetStatus == UpdateOutcome::kFailed)
                vxgui::information(
                    this, kManualReset,
                    QStringLiteral("This system cannot be reset automatically. In order to write the "
                                   "previously saved system configuration, please reset the system "
                                   "manually by performing a power-down / power-up cycle."),
                    QStringList{QStringLiteral("OK")});
            if (writeConfigurationBack()) {
                updateOutcome.resetStatus = UpdateOutcome::kSucceeded;
                updateOutcome.restoreStatus = UpdateOutcome::kSucceeded;
            } else {
                updateOutcome.restoreStatus = UpdateOutcome::kFailed;
            }
        }
    }
    followThread(false);
    complete_ = true;
    emit completeChanged();
}

bool PerformUpdatePage::writeConfigurationBack() {
    for (;;) {
        form_->postUpdateAction->setText(QStringLiteral("Connecting..."));
        form_->postUpdateProgress->setValue(0);
        updateSystem()->disconnect();
        phase_ = kNoBar;
        runTask(UploadManagerTask::Connect, true);
        if (!resultText().isEmpty()) {
            if (askRetry(this, QMessageBox::Information, kManualReset,
                         QStringLiteral("Could not connect to system. Retry?")) == kCancel)
                return false;
            continue;
        }
        phase_ = kWriteBar;
        form_->postUpdateAction->setText(QStringLiteral("Writing system configuration..."));
        form_->postUpdateProgress->show();
        runTask(UploadManagerTask::WriteConfiguration, true);
        const QString result = resultText();
        if (result.isEmpty()) return true;
        if (askRetry(this, QMessageBox::Critical, QStringLiteral("Error"),
                     QStringLiteral("Error writing system configuration: %1\nRetry?").arg(result)) ==
            kCancel)
            return false;
    }
}
