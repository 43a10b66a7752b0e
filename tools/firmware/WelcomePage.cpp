#include "WelcomePage.h"

#include "ui_WelcomePage.h"

#include <QPixmap>
#include <QWizard>

#include "FirmwareUploaderResources.h"

WelcomePage::WelcomePage(QWidget* parent) : QMXWizardPage(parent), ui_(std::make_unique<Ui::WelcomePage>()) {
    initFirmwareUploaderResources();
    ui_->setupUi(this);
    setTitle(tr("Welcome"));
    setSubTitle(tr("This wizard will guide you through the update process."));
    setPixmap(QWizard::WatermarkPixmap, QPixmap(QString::fromLatin1(kWatermark)));
}

WelcomePage::~WelcomePage() = default;
