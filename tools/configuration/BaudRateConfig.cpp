#include "BaudRateConfig.h"

#include <QSpinBox>

#include <algorithm>
#include <cstdint>

#include "QMXControl.h"
#include "Dialogs.h"
#include "PageMessages.h"
#include "QMXConnection.h"
#include "ui_QMXConfiguration.h"

namespace {

constexpr int kRatePage = 0;
constexpr int kNotSupportedPage = 1;

const QString kTitle = QStringLiteral("Baud Rate");

}  // namespace

BaudRateConfig::BaudRateConfig(QObject* parent, Ui::QMXConfigurationClass* form,
                               QMXConnection* connection)
    : QObject(parent), form_(form), connection_(connection) {
    connect(form_->baudRate, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &BaudRateConfig::baudRate_valueChanged);
}

void BaudRateConfig::setModified(bool modified) {
    if (modified_ == modified) return;
    modified_ = modified;
    const int tab = form_->tabWidget->indexOf(form_->baudRateTab);
    form_->tabWidget->setTabText(tab, configpages::tabTitle(kTitle, modified));
}

void BaudRateConfig::baudRate_valueChanged(int) {
    if (updating_) return;
    setModified(true);
    emit baudRateModified();
}

void BaudRateConfig::readFromController(QMXConnection* connection) {
    if (connection->mode() != QMXConnection::Serial) {
        form_->baudRateStackedWidget->setCurrentIndex(kNotSupportedPage);
        return;
    }
    form_->baudRateStackedWidget->setCurrentIndex(kRatePage);
    uint32_t rate = 0;
    if (const uint32_t status = connection_->getBaudRate(&rate)) {
        configpages::showError(QStringLiteral("Error reading baud rate. Code: %1"), status);
        return;
    }
    updating_ = true;
    // The spin box clamps a rate outside its range.
    form_->baudRate->setValue(static_cast<int>(std::min<uint32_t>(rate, INT32_MAX)));
    updating_ = false;
    setModified(false);
    form_->baudRate->setEnabled(true);
}

bool BaudRateConfig::writeToController(QMXConnection* connection) {
    if (!modified_ || connection->mode() != QMXConnection::Serial) return true;
    const uint32_t status =
        connection_->setBaudRate(static_cast<uint32_t>(form_->baudRate->value()));
    if (status != VX_OK) {
        configpages::showError(
            QStringLiteral("Error writing baud rate. Code: %1\nThe system should be reset."),
            status);
        return false;
    }
    readFromController(connection);
    vxgui::information(
        nullptr, QStringLiteral("New Baud Rate"),
        QStringLiteral("Note: The system must be reset before the\nnew baud rate takes effect."),
        {QStringLiteral("Ok")});
    return true;
}

void BaudRateConfig::clear() {
    form_->baudRateStackedWidget->setCurrentIndex(kRatePage);
    form_->baudRate->setEnabled(false);
}
