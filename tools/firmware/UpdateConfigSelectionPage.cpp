#include "UpdateConfigSelectionPage.h"

#include "ui_UpdateConfigSelectionPage.h"

#include <QFileInfo>
#include <QStringList>

#include <string>

#include "Dialogs.h"
#include "UpdateSystem.h"

UpdateConfigSelectionPage::UpdateConfigSelectionPage(QWidget* parent) : QMXWizardPage(parent), ui_(std::make_unique<Ui::UpdateConfigSelectionPage>()) {
    ui_->setupUi(this);
    setTitle(tr("Configure Update"));
    setSubTitle(tr("Please select a configuration file to use for the firmware update as well as other "
                   "options."));
}

UpdateConfigSelectionPage::~UpdateConfigSelectionPage() = default;

void UpdateConfigSelectionPage::initializePage() {
    if (QFileInfo::exists(QString::fromLatin1(kDefaultFile))) {
        ui_->useDefaultConfig->setEnabled(true);
        ui_->useDefaultConfig->setChecked(true);
    } else {
        ui_->useCustomConfig->setChecked(true);
        ui_->useDefaultConfig->setEnabled(false);
    }
}

void UpdateConfigSelectionPage::on_browseConfigFileButton_clicked() {
    const QString chosen = vxgui::openFileName(this, tr("Select configuration file"),
                                               ui_->configurationFile->text(), tr("XML files (*.xml)"));
    if (!chosen.isEmpty()) ui_->configurationFile->setText(chosen);
}

bool UpdateConfigSelectionPage::validatePage() {
    const std::string fileName = ui_->useDefaultConfig->isChecked()
                                     ? std::string(kDefaultFile)
                                     : ui_->configurationFile->text().toLatin1().toStdString();
    const std::string error = updateSystem()->loadUpdateConfiguration(fileName);
    if (error.empty()) return true;
    vxgui::critical(this, tr("Error"), tr("Error: ") + QString::fromLatin1(error.c_str()),
                    {tr("OK")});
    return false;
}

void UpdateConfigSelectionPage::setConfigurationFile(const QString& fileName) {
    ui_->configurationFile->setText(fileName);
}
