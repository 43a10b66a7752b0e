#include "QMXHEditor_3D.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QScopedValueRollback>
#include <QSpinBox>

#include <algorithm>
#include <iterator>

#include "HandControlLists.h"
#include "QMXHConfiguration.h"
#include "ui_QMXHEditor_3D.h"

namespace {

// How a field's byte and its widget's value relate.
enum class Encoding {
    Index,       // the combo index itself
    Flag,        // 1 when checked, 0 when not; any non-zero byte shows checked
    Mapping,     // "none" (item 0) is 0xFF, item k is channel k − 1
    SpeedLevel,  // the level minus 1
};

struct Field {
    const char* widget;
    int offset;  // from the slot start
    Encoding encoding;
    QStringList (*items)();  // the combo's fixed items, if any
};

constexpr int kMappedChannels = 3;

// Every edited byte of a slot. Bytes 14 and 42 to 127 are left as they are.
const Field kFields[] = {
    {"_3d_joyX1Map", 0, Encoding::Mapping, nullptr},
    {"_3d_joyY1Map", 1, Encoding::Mapping, nullptr},
    {"_3d_joyX2Map", 2, Encoding::Mapping, nullptr},
    {"_3d_joyY2Map", 3, Encoding::Mapping, nullptr},
    {"_3d_joyX1Inverted", 4, Encoding::Flag, nullptr},
    {"_3d_joyY1Inverted", 5, Encoding::Flag, nullptr},
    {"_3d_joyX2Inverted", 6, Encoding::Flag, nullptr},
    {"_3d_joyY2Inverted", 7, Encoding::Flag, nullptr},
    {"_3d_joy1Active", 8, Encoding::Flag, nullptr},
    {"_3d_joy2Active", 9, Encoding::Flag, nullptr},
    {"_3d_knob1Map", 10, Encoding::Mapping, nullptr},
    {"_3d_knob2Map", 11, Encoding::Mapping, nullptr},
    {"_3d_knob3Map", 12, Encoding::Mapping, nullptr},
    {"_3d_holdTime", 13, Encoding::Index, hclists::holdTimes},
    {"_3d_channel1Inverted", 15, Encoding::Flag, nullptr},
    {"_3d_channel2Inverted", 16, Encoding::Flag, nullptr},
    {"_3d_channel3Inverted", 17, Encoding::Flag, nullptr},
    {"_3d_channel1Symbol", 18, Encoding::Index, hclists::symbols},
    {"_3d_channel2Symbol", 19, Encoding::Index, hclists::symbols},
    {"_3d_channel3Symbol", 20, Encoding::Index, hclists::symbols},
    {"_3d_channel1ControlMode", 21, Encoding::Index, hclists::controlModes},
    {"_3d_channel2ControlMode", 22, Encoding::Index, hclists::controlModes},
    {"_3d_channel3ControlMode", 23, Encoding::Index, hclists::controlModes},
    {"_3d_channel1SpeedLevel", 24, Encoding::SpeedLevel, nullptr},
    {"_3d_channel1Steps", 25, Encoding::Index, hclists::steps},
    {"_3d_channel1Amplitude", 26, Encoding::Index, hclists::amplitudes},
    {"_3d_channel1Frequency", 27, Encoding::Index, hclists::frequencies},
    {"_3d_channel1VoltageIncrement", 28, Encoding::Index, hclists::voltageIncrements},
    {"_3d_channel1ClosedLoopIncrement", 29, Encoding::Index, hclists::closedLoopIncrements},
    {"_3d_channel2SpeedLevel", 30, Encoding::SpeedLevel, nullptr},
    {"_3d_channel2Steps", 31, Encoding::Index, hclists::steps},
    {"_3d_channel2Amplitude", 32, Encoding::Index, hclists::amplitudes},
    {"_3d_channel2Frequency", 33, Encoding::Index, hclists::frequencies},
    {"_3d_channel2VoltageIncrement", 34, Encoding::Index, hclists::voltageIncrements},
    {"_3d_channel2ClosedLoopIncrement", 35, Encoding::Index, hclists::closedLoopIncrements},
    {"_3d_channel3SpeedLevel", 36, Encoding::SpeedLevel, nullptr},
    {"_3d_channel3Steps", 37, Encoding::Index, hclists::steps},
    {"_3d_channel3Amplitude", 38, Encoding::Index, hclists::amplitudes},
    {"_3d_channel3Frequency", 39, Encoding::Index, hclists::frequencies},
    {"_3d_channel3VoltageIncrement", 40, Encoding::Index, hclists::voltageIncrements},
    {"_3d_channel3ClosedLoopIncrement", 41, Encoding::Index, hclists::closedLoopIncrements},
};
constexpr int kFieldCount = static_cast<int>(std::size(kFields));

uint8_t encode(Encoding encoding, int value) {
    switch (encoding) {
        case Encoding::Flag:
            return value != 0 ? 1 : 0;
        case Encoding::Mapping:
        case Encoding::SpeedLevel:
            return static_cast<uint8_t>(value - 1);
        case Encoding::Index:
            break;
    }
    return static_cast<uint8_t>(value);
}

int decode(Encoding encoding, uint8_t byte) {
    switch (encoding) {
        case Encoding::Flag:
            return byte != 0 ? 1 : 0;
        case Encoding::Mapping:
            return byte < kMappedChannels ? byte + 1 : 0;
        case Encoding::SpeedLevel:
            return byte + 1;
        case Encoding::Index:
            break;
    }
    return byte;
}

// The speed levels that byte 1280 allows: at least one, at most 32.
int speedLevelCount(uint8_t byte) { return std::clamp<int>(byte, 1, 32); }

}  // namespace

QMXHEditor_3D::QMXHEditor_3D(QWidget* parent)
    : QMXHEditor(parent), ui_(std::make_unique<Ui::QMXHEditor_3D>()) {
    ui_->setupUi(this);
    for (const Field& field : kFields) {
        QWidget* widget = findChild<QWidget*>(QString::fromLatin1(field.widget));
        Q_ASSERT(widget != nullptr);
        fieldWidgets_ << widget;
        if (field.items != nullptr)
            hclists::setItems(qobject_cast<QComboBox*>(widget), field.items());
    }

    for (int slot = 0; slot < kEditedSlots; ++slot) {
        copyActions_[static_cast<size_t>(slot)] =
            new QAction(tr("Copy this slot to slot %1").arg(slot + 1), ui_->_3d_slot);
        ui_->_3d_slot->addAction(copyActions_[static_cast<size_t>(slot)]);
    }
    copyAllAction_ = new QAction(tr("Copy this slot to all slots"), ui_->_3d_slot);
    ui_->_3d_slot->addAction(copyAllAction_);
    ui_->_3d_slot->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copyActions_[0], &QAction::triggered, this, &QMXHEditor_3D::copyToSlot0);
    connect(copyActions_[1], &QAction::triggered, this, &QMXHEditor_3D::copyToSlot1);
    connect(copyActions_[2], &QAction::triggered, this, &QMXHEditor_3D::copyToSlot2);
    connect(copyActions_[3], &QAction::triggered, this, &QMXHEditor_3D::copyToSlot3);
    connect(copyAllAction_, &QAction::triggered, this, &QMXHEditor_3D::copyToSlotAll);
}

QMXHEditor_3D::~QMXHEditor_3D() = default;

int QMXHEditor_3D::editedType() { return kType; }

int QMXHEditor_3D::currentSlot() const { return ui_->_3d_slot->currentIndex(); }

void QMXHEditor_3D::fillForm() {
    if (configuration() == nullptr) return;
    QScopedValueRollback<bool> filling(filling_, true);

    const int levels = speedLevelCount(configuration()->byteAt(kSpeedLevelCountOffset));
    for (QSpinBox* box :
         {ui_->_3d_channel1SpeedLevel, ui_->_3d_channel2SpeedLevel, ui_->_3d_channel3SpeedLevel})
        box->setRange(1, levels);

    // The mapping items name the channels by the symbols, so those come first.
    for (int row = 0; row < kFieldCount; ++row)
        if (kFields[row].encoding != Encoding::Mapping) showField(row);
    QStringList mappings{tr("none")};
    for (QComboBox* symbol :
         {ui_->_3d_channel1Symbol, ui_->_3d_channel2Symbol, ui_->_3d_channel3Symbol})
        mappings << symbol->currentText();
    for (int row = 0; row < kFieldCount; ++row) {
        if (kFields[row].encoding != Encoding::Mapping) continue;
        hclists::setItems(qobject_cast<QComboBox*>(fieldWidgets_[row]), mappings);
        showField(row);
    }

    for (int slot = 0; slot < kEditedSlots; ++slot)
        copyActions_[static_cast<size_t>(slot)]->setEnabled(slot != currentSlot());
}

void QMXHEditor_3D::showField(int row) {
    const Field& field = kFields[row];
    const int value =
        decode(field.encoding, configuration()->byteAt(kSlotSize * currentSlot() + field.offset));
    QWidget* widget = fieldWidgets_[row];
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setCurrentIndex(value);
    else if (auto* spin = qobject_cast<QSpinBox*>(widget))
        spin->setValue(value);
    else if (auto* check = qobject_cast<QCheckBox*>(widget))
        check->setChecked(value != 0);
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setChecked(value != 0);
}

void QMXHEditor_3D::writeField(QWidget* widget, int value) {
    if (filling_ || configuration() == nullptr) return;
    const int row = static_cast<int>(fieldWidgets_.indexOf(widget));
    if (row < 0) return;
    const Field& field = kFields[row];
    configuration()->setByteAt(kSlotSize * currentSlot() + field.offset,
                               encode(field.encoding, value));
}

void QMXHEditor_3D::copyToSlot(int target) {
    if (configuration() == nullptr) return;
    const int source = currentSlot();
    for (int i = 0; i < kSlotSize; ++i)
        configuration()->setByteAt(kSlotSize * target + i,
                                   configuration()->byteAt(kSlotSize * source + i));
}

void QMXHEditor_3D::copyToSlot0(bool) { copyToSlot(0); }
void QMXHEditor_3D::copyToSlot1(bool) { copyToSlot(1); }
void QMXHEditor_3D::copyToSlot2(bool) { copyToSlot(2); }
void QMXHEditor_3D::copyToSlot3(bool) { copyToSlot(3); }

void QMXHEditor_3D::copyToSlotAll(bool) {
    for (int target = 0; target < kEditedSlots; ++target)
        if (target != currentSlot()) copyToSlot(target);
}

void QMXHEditor_3D::on__3d_slot_currentIndexChanged(int) { fillForm(); }

void QMXHEditor_3D::on__3d_joy1Active_toggled(bool on) { writeField(ui_->_3d_joy1Active, on); }
void QMXHEditor_3D::on__3d_joy2Active_toggled(bool on) { writeField(ui_->_3d_joy2Active, on); }
void QMXHEditor_3D::on__3d_joyX1Map_currentIndexChanged(int index) {
    writeField(ui_->_3d_joyX1Map, index);
}
void QMXHEditor_3D::on__3d_joyY1Map_currentIndexChanged(int index) {
    writeField(ui_->_3d_joyY1Map, index);
}
void QMXHEditor_3D::on__3d_joyX2Map_currentIndexChanged(int index) {
    writeField(ui_->_3d_joyX2Map, index);
}
void QMXHEditor_3D::on__3d_joyY2Map_currentIndexChanged(int index) {
    writeField(ui_->_3d_joyY2Map, index);
}
void QMXHEditor_3D::on__3d_joyX1Inverted_toggled(bool on) {
    writeField(ui_->_3d_joyX1Inverted, on);
}
void QMXHEditor_3D::on__3d_joyY1Inverted_toggled(bool on) {
    writeField(ui_->_3d_joyY1Inverted, on);
}
void QMXHEditor_3D::on__3d_joyX2Inverted_toggled(bool on) {
    writeField(ui_->_3d_joyX2Inverted, on);
}
void QMXHEditor_3D::on__3d_joyY2Inverted_toggled(bool on) {
    writeField(ui_->_3d_joyY2Inverted, on);
}
void QMXHEditor_3D::on__3d_knob1Map_currentIndexChanged(int index) {
    writeField(ui_->_3d_knob1Map, index);
}
void QMXHEditor_3D::on__3d_knob2Map_currentIndexChanged(int index) {
    writeField(ui_->_3d_knob2Map, index);
}
void QMXHEditor_3D::on__3d_knob3Map_currentIndexChanged(int index) {
    writeField(ui_->_3d_knob3Map, index);
}
void QMXHEditor_3D::on__3d_holdTime_currentIndexChanged(int index) {
    writeField(ui_->_3d_holdTime, index);
}

// A new symbol renames its channel in the mapping boxes.
void QMXHEditor_3D::on__3d_channel1Symbol_currentIndexChanged(int index) {
    if (filling_) return;
    writeField(ui_->_3d_channel1Symbol, index);
    fillForm();
}
void QMXHEditor_3D::on__3d_channel2Symbol_currentIndexChanged(int index) {
    if (filling_) return;
    writeField(ui_->_3d_channel2Symbol, index);
    fillForm();
}
void QMXHEditor_3D::on__3d_channel3Symbol_currentIndexChanged(int index) {
    if (filling_) return;
    writeField(ui_->_3d_channel3Symbol, index);
    fillForm();
}

void QMXHEditor_3D::on__3d_channel1Inverted_toggled(bool on) {
    writeField(ui_->_3d_channel1Inverted, on);
}
void QMXHEditor_3D::on__3d_channel2Inverted_toggled(bool on) {
    writeField(ui_->_3d_channel2Inverted, on);
}
void QMXHEditor_3D::on__3d_channel3Inverted_toggled(bool on) {
    writeField(ui_->_3d_channel3Inverted, on);
}
void QMXHEditor_3D::on__3d_channel1ControlMode_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel1ControlMode, index);
}
void QMXHEditor_3D::on__3d_channel2ControlMode_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel2ControlMode, index);
}
void QMXHEditor_3D::on__3d_channel3ControlMode_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel3ControlMode, index);
}
void QMXHEditor_3D::on__3d_channel1SpeedLevel_valueChanged(int value) {
    writeField(ui_->_3d_channel1SpeedLevel, value);
}
void QMXHEditor_3D::on__3d_channel2SpeedLevel_valueChanged(int value) {
    writeField(ui_->_3d_channel2SpeedLevel, value);
}
void QMXHEditor_3D::on__3d_channel3SpeedLevel_valueChanged(int value) {
    writeField(ui_->_3d_channel3SpeedLevel, value);
}
void QMXHEditor_3D::on__3d_channel1Steps_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel1Steps, index);
}
void QMXHEditor_3D::on__3d_channel2Steps_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel2Steps, index);
}
void QMXHEditor_3D::on__3d_channel3Steps_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel3Steps, index);
}
void QMXHEditor_3D::on__3d_channel1Amplitude_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel1Amplitude, index);
}
void QMXHEditor_3D::on__3d_channel2Amplitude_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel2Amplitude, index);
}
void QMXHEditor_3D::on__3d_channel3Amplitude_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel3Amplitude, index);
}
void QMXHEditor_3D::on__3d_channel1Frequency_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel1Frequency, index);
}
void QMXHEditor_3D::on__3d_channel2Frequency_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel2Frequency, index);
}
void QMXHEditor_3D::on__3d_channel3Frequency_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel3Frequency, index);
}
void QMXHEditor_3D::on__3d_channel1VoltageIncrement_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel1VoltageIncrement, index);
}
void QMXHEditor_3D::on__3d_channel2VoltageIncrement_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel2VoltageIncrement, index);
}
void QMXHEditor_3D::on__3d_channel3VoltageIncrement_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel3VoltageIncrement, index);
}
void QMXHEditor_3D::on__3d_channel1ClosedLoopIncrement_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel1ClosedLoopIncrement, index);
}
void QMXHEditor_3D::on__3d_channel2ClosedLoopIncrement_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel2ClosedLoopIncrement, index);
}
void QMXHEditor_3D::on__3d_channel3ClosedLoopIncrement_currentIndexChanged(int index) {
    writeField(ui_->_3d_channel3ClosedLoopIncrement, index);
}
