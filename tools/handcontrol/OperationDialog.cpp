#include "OperationDialog.h"

#include <QCloseEvent>

#include "ui_OperationDialog.h"

OperationDialog::OperationDialog(QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::OperationDialogClass>()) {
    form_->setupUi(this);
}

OperationDialog::~OperationDialog() = default;

void OperationDialog::setOperationName(QString text) {
    form_->operationName->setText(text);
    setWindowTitle(tr("Execute Operation..."));
}

void OperationDialog::setProgress(int progress) { form_->progressBar->setValue(progress); }

void OperationDialog::reject() { emit abortClicked(); }

void OperationDialog::on_abortButton_clicked() { emit abortClicked(); }

void OperationDialog::closeEvent(QCloseEvent* event) {
    emit abortClicked();
    event->ignore();
}
