#include "DataInput.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QSpinBox>

#include "Dialogs.h"
#include "InputProperties.h"
#include "VXSlider.h"

DataInput::DataInput(QWidget* parent)
    : QWidget(parent),
      layout_(new QHBoxLayout(this)),
      spinBox_(new QSpinBox(this)),
      slider_(new VXSlider(this)),
      removeAction_(new QAction(QStringLiteral("Remove Input"), this)),
      propertiesAction_(new QAction(QStringLiteral("Properties..."), this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->addWidget(spinBox_);
    layout_->addWidget(slider_);
    addAction(propertiesAction_);
    addAction(removeAction_);
    // A right click anywhere on the input, its spin box included, opens the
    // input's menu; shown without a nested event loop.
    spinBox_->setContextMenuPolicy(Qt::NoContextMenu);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &DataInput::showMenu);
    connect(propertiesAction_, &QAction::triggered, this, &DataInput::editProperties);
    connect(removeAction_, &QAction::triggered, this, &DataInput::removeSelf);
    connect(spinBox_, qOverload<int>(&QSpinBox::valueChanged), slider_, &QSlider::setValue);
    connect(slider_, &QSlider::valueChanged, spinBox_, &QSpinBox::setValue);
    connect(spinBox_, qOverload<int>(&QSpinBox::valueChanged), this, &DataInput::valueChanged);
}

void DataInput::setName(const QString& name) {
    name_ = name;
    spinBox_->setPrefix(name + QStringLiteral(": "));
}

int DataInput::value() const { return spinBox_->value(); }
void DataInput::setValue(int value) { spinBox_->setValue(value); }
int DataInput::minValue() const { return spinBox_->minimum(); }
void DataInput::setMinValue(int value) {
    spinBox_->setMinimum(value);
    slider_->setMinimum(value);
}
int DataInput::maxValue() const { return spinBox_->maximum(); }
void DataInput::setMaxValue(int value) {
    spinBox_->setMaximum(value);
    slider_->setMaximum(value);
}
// The flag, not the visibility on screen, which needs a shown parent.
bool DataInput::hasSlider() const { return !slider_->isHidden(); }
void DataInput::setHasSlider(bool on) { slider_->setVisible(on); }

void DataInput::valueChanged(int) {
    spinBox_->updateGeometry();
    if (callShortCut_) emit activateShortCut(shortCutToCall_);
}

void DataInput::removeSelf() { emit remove(this, false); }

void DataInput::editProperties() {
    InputProperties dialog;
    dialog.setInputName(name_);
    dialog.setMinValue(minValue());
    dialog.setDefaultValue(defaultValue_);
    dialog.setMaxValue(maxValue());
    dialog.setHasSlider(hasSlider());
    dialog.setSendAsBinary(sendAsBinary_);
    dialog.setBinaryFormat(binaryFormat_);
    dialog.setCallShortCut(callShortCut_);
    dialog.setShortCutToCall(shortCutToCall_);
    if (vxgui::execDialog(dialog) != QDialog::Accepted) return;
    // The call flag and number last: a value clamped by the new limits asks
    // for the button the input named before.
    setName(dialog.inputName());
    setMinValue(dialog.minValue());
    setDefaultValue(dialog.defaultValue());
    setMaxValue(dialog.maxValue());
    setHasSlider(dialog.hasSlider());
    setSendAsBinary(dialog.sendAsBinary());
    setBinaryFormat(dialog.binaryFormat());
    setCallShortCut(dialog.callShortCut());
    setShortCutToCall(dialog.shortCutToCall());
    emit propertiesChanged();
}

void DataInput::showMenu(const QPoint& position) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(actions());
    menu->popup(mapToGlobal(position));
}
