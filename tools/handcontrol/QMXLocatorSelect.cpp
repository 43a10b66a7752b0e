#include "QMXLocatorSelect.h"

#include "QMXConnection.h"
#include "ui_QMXLocatorSelect.h"

QMXLocatorSelect::QMXLocatorSelect(QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::QMXLocatorSelect>()) {
    form_->setupUi(this);
    setWindowTitle(tr("Connect to Device"));
}

QMXLocatorSelect::~QMXLocatorSelect() = default;

void QMXLocatorSelect::on_locatorRefresh_clicked() {
    const QString typed = form_->locatorCombobox->currentText();
    form_->locatorCombobox->clear();
    form_->locatorCombobox->addItems(QMXConnection::findSystems());
    if (!typed.isEmpty()) form_->locatorCombobox->setEditText(typed);
}

void QMXLocatorSelect::on_locatorConnect_clicked() {
    locator_ = form_->locatorCombobox->currentText();
    done(QDialog::Accepted);
}
