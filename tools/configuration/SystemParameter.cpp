#include "SystemParameter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>

const QString SystemParameter::kSpinBox = QStringLiteral("spinbox");
const QString SystemParameter::kComboBox = QStringLiteral("combobox");

void SystemParameter::setGlobalSpinBox(QSpinBox* box) {
    box->setAccessibleDescription(kSpinBox);
    globalSpinBox_ = box;
    comboBoxes_ = false;
    connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &SystemParameter::valueChanged);
}

void SystemParameter::setGlobalComboBox(QComboBox* box) {
    box->setAccessibleDescription(kComboBox);
    globalComboBox_ = box;
    comboBoxes_ = true;
    connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SystemParameter::valueChanged);
}

void SystemParameter::addChannelSpinBox(QSpinBox* box) {
    box->setAccessibleDescription(kSpinBox);
    channelSpinBoxes_.append(box);
    comboBoxes_ = false;
    connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &SystemParameter::valueChanged);
}

void SystemParameter::addChannelComboBox(QComboBox* box) {
    box->setAccessibleDescription(kComboBox);
    channelComboBoxes_.append(box);
    comboBoxes_ = true;
    connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SystemParameter::valueChanged);
}

void SystemParameter::setSeparateValuesBox(QCheckBox* box) {
    separateValuesBox_ = box;
    connect(box, &QCheckBox::stateChanged, this, &SystemParameter::separateValuesChanged);
}

int SystemParameter::value() const {
    return comboBoxes_ ? globalComboBox_->currentIndex() : globalSpinBox_->value();
}

void SystemParameter::setValue(int value) {
    if (comboBoxes_)
        globalComboBox_->setCurrentIndex(value);
    else
        globalSpinBox_->setValue(value);
}

int SystemParameter::channelValue(int position) const {
    return comboBoxes_ ? channelComboBoxes_.at(position)->currentIndex()
                       : channelSpinBoxes_.at(position)->value();
}

void SystemParameter::setChannelValue(int position, int value) {
    if (comboBoxes_)
        channelComboBoxes_.at(position)->setCurrentIndex(value);
    else
        channelSpinBoxes_.at(position)->setValue(value);
}

int SystemParameter::effectiveValue(int position) const {
    return separateValuesBox_->isChecked() ? channelValue(position) : value();
}

int SystemParameter::channelCount() const {
    return comboBoxes_ ? channelComboBoxes_.size() : channelSpinBoxes_.size();
}

QWidget* SystemParameter::globalWidget() const {
    return comboBoxes_ ? static_cast<QWidget*>(globalComboBox_) : globalSpinBox_;
}

QWidget* SystemParameter::channelWidget(int position) const {
    return comboBoxes_ ? static_cast<QWidget*>(channelComboBoxes_.at(position))
                       : channelSpinBoxes_.at(position);
}

void SystemParameter::updateSeparateValues() { separateValuesChanged(separateValuesBox_->checkState()); }

void SystemParameter::separateValuesChanged(int state) {
    globalWidget()->setEnabled(state == Qt::Unchecked);
    for (int i = 0; i < channelCount(); ++i) channelWidget(i)->setEnabled(state == Qt::Checked);
    if (notifyModified_) emit systemParameterModified();
}

void SystemParameter::valueChanged(int) {
    if (notifyModified_) emit systemParameterModified();
}
