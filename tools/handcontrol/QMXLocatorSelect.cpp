#include "QMXLocatorSelect.h"

#include "QMXConnection.h"
#include "ui_QMXLocatorSelect.h"

QMXLocatorSelect::QMXLocatorSelect(QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::QMXLocatorSelect>()) {
    form_->setupUi(this);
    setWindowTitle(tr("Connect to Device"));
    // The form's caps were drawn for a smaller font: each gives way where
    // the font needs more, the group box's height first, then the dialog's.
    for (QWidget* capped : {static_cast<QWidget*>(form_->locatorRefresh),
                            static_cast<QWidget*>(form_->locatorConnect),
                            static_cast<QWidget*>(form_->groupBox), static_cast<QWidget*>(this)})
        capped->setMaximumSize(capped->maximumSize().expandedTo(capped->sizeHint()));
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
