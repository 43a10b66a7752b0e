#include "InputProperties.h"

#include "ui_InputProperties.h"

InputProperties::InputProperties(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::InputProperties>()) {
    ui_->setupUi(this);
}

InputProperties::~InputProperties() = default;

QString InputProperties::inputName() const { return ui_->inputName->text(); }
void InputProperties::setInputName(const QString& name) { ui_->inputName->setText(name); }
int InputProperties::minValue() const { return ui_->minValue->value(); }
void InputProperties::setMinValue(int value) { ui_->minValue->setValue(value); }
int InputProperties::maxValue() const { return ui_->maxValue->value(); }
void InputProperties::setMaxValue(int value) { ui_->maxValue->setValue(value); }
int InputProperties::defaultValue() const { return ui_->defaultValue->value(); }
void InputProperties::setDefaultValue(int value) { ui_->defaultValue->setValue(value); }
bool InputProperties::hasSlider() const { return ui_->hasSlider->isChecked(); }
void InputProperties::setHasSlider(bool on) { ui_->hasSlider->setChecked(on); }
bool InputProperties::sendAsBinary() const { return ui_->sendAsBinary->isChecked(); }
void InputProperties::setSendAsBinary(bool on) { ui_->sendAsBinary->setChecked(on); }
int InputProperties::binaryFormat() const { return ui_->binaryFormat->currentIndex(); }
void InputProperties::setBinaryFormat(int format) { ui_->binaryFormat->setCurrentIndex(format); }
bool InputProperties::callShortCut() const { return ui_->callShortCut->isChecked(); }
void InputProperties::setCallShortCut(bool on) { ui_->callShortCut->setChecked(on); }
int InputProperties::shortCutToCall() const { return ui_->shortCutToCall->value(); }
void InputProperties::setShortCutToCall(int number) { ui_->shortCutToCall->setValue(number); }
