#include "UpdateResultPage.h"

#include <QPixmap>
#include <QStringList>
#include <QWizard>

#include "FirmwareUploaderResources.h"
#include "UpdateOutcome.h"
#include "ui_UpdateResultPage.h"

namespace {

const QString kReconfigure = QStringLiteral(
    "Please note that you might have to reconfigure the system, e.g. setting sensor types and "
    "performing calibration.");
const QString kNotPreserved =
    QStringLiteral("The update secceeded, but the system configuration could not be preserved.\n");

// What the page says for an outcome.
QString resultMessage(const UpdateOutcome& outcome) {
    if (outcome.updateStatus == UpdateOutcome::kFailed)
        return QStringLiteral("The QMX might be in an unusable state.Please contact Veltrax.");
    const bool reset = outcome.resetStatus == UpdateOutcome::kSucceeded;
    switch (outcome.restoreStatus) {
    case UpdateOutcome::kSucceeded:
        return QStringLiteral(
            "The system configuration was successfully preserved.\n"
            "Please note that driver channels must still be calibrated.");
    case UpdateOutcome::kFailed:
        return kNotPreserved +
               (reset ? QStringLiteral("You must reconfigure the system manually.")
                      : QStringLiteral("Please restart the QMX with a power down/power up cycle "
                                       "and reconfigure it manually."));
    default:
        return reset ? kReconfigure
                     : QStringLiteral("The system could not be reset automatically. Please restart "
                                      "the QMX with a power down/power up cycle.\n") +
                           kReconfigure;
    }
}

}  // namespace

UpdateResultPage::UpdateResultPage(QWidget* parent)
    : QMXWizardPage(parent), form_(std::make_unique<Ui::UpdateResultPage>()) {
    initFirmwareUploaderResources();
    form_->setupUi(this);
    setTitle(QStringLiteral("Update complete"));
    setPixmap(QWizard::WatermarkPixmap,
              QPixmap(QStringLiteral(":/QMXFirmwareUploader/images/background.jpg")));
}

UpdateResultPage::~UpdateResultPage() = default;

void UpdateResultPage::initializePage() {
    if (updateOutcome.updateStatus == UpdateOutcome::kFailed) {
        setTitle(QStringLiteral("Update failed"));
        setSubTitle(QStringLiteral("The firmware update failed to complete!"));
    } else {
        setTitle(QStringLiteral("Update complete"));
        setSubTitle(QStringLiteral("The firmware update completed successfully."));
    }
    QString message = resultMessage(updateOutcome);
    // A successful update says so only of the modules it reached.
    if (updateOutcome.updateStatus != UpdateOutcome::kFailed && !updateOutcome.damagedLeftOut.empty()) {
        QStringList names;
        for (const std::string& name : updateOutcome.damagedLeftOut) names << QString::fromStdString(name);
        message += QStringLiteral("\nThese modules were not updated and remain damaged: ") +
                   names.join(QStringLiteral(", ")) + QLatin1Char('.');
    }
    form_->resultMessage->setText(message);
}
