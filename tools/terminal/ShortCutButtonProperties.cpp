#include "ShortCutButtonProperties.h"

#include "ui_ShortCutButtonProperties.h"

ShortCutButtonProperties::ShortCutButtonProperties(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ShortCutButtonProperties>()) {
    ui_->setupUi(this);
}

ShortCutButtonProperties::~ShortCutButtonProperties() = default;

QString ShortCutButtonProperties::buttonName() const { return ui_->buttonName->text(); }
void ShortCutButtonProperties::setButtonName(const QString& name) {
    ui_->buttonName->setText(name);
}
QString ShortCutButtonProperties::textToSend() const { return ui_->textToSend->text(); }
void ShortCutButtonProperties::setTextToSend(const QString& text) {
    ui_->textToSend->setText(text);
}
