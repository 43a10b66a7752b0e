#pragma once

#include <QVector>

#include <array>
#include <memory>

#include "QMXHEditor.h"

class QAction;

namespace Ui {
class QMXHEditor_3D;
}

// The editor of the 3D configuration type: slots 0 to 3 of 128 bytes, three
// channels, two joysticks and three knobs. The field slots bind to the form's
// widgets by name and write through one table of widget, offset and encoding.
class QMXHEditor_3D : public QMXHEditor {
    Q_OBJECT

public:
    static constexpr int kType = 0x3D01;
    static constexpr int kSlotSize = 128;
    static constexpr int kEditedSlots = 4;
    // The number of speed levels, outside the slots.
    static constexpr int kSpeedLevelCountOffset = 1280;

    explicit QMXHEditor_3D(QWidget* parent = nullptr);
    ~QMXHEditor_3D() override;

    int editedType() override;
    void fillForm() override;

public slots:
    void copyToSlot0(bool);
    void copyToSlot1(bool);
    void copyToSlot2(bool);
    void copyToSlot3(bool);
    void copyToSlotAll(bool);
    void on__3d_slot_currentIndexChanged(int index);
    void on__3d_joy1Active_toggled(bool on);
    void on__3d_joy2Active_toggled(bool on);
    void on__3d_joyX1Map_currentIndexChanged(int index);
    void on__3d_joyY1Map_currentIndexChanged(int index);
    void on__3d_joyX2Map_currentIndexChanged(int index);
    void on__3d_joyY2Map_currentIndexChanged(int index);
    void on__3d_joyX1Inverted_toggled(bool on);
    void on__3d_joyY1Inverted_toggled(bool on);
    void on__3d_joyX2Inverted_toggled(bool on);
    void on__3d_joyY2Inverted_toggled(bool on);
    void on__3d_knob1Map_currentIndexChanged(int index);
    void on__3d_knob2Map_currentIndexChanged(int index);
    void on__3d_knob3Map_currentIndexChanged(int index);
    void on__3d_holdTime_currentIndexChanged(int index);
    void on__3d_channel1Symbol_currentIndexChanged(int index);
    void on__3d_channel2Symbol_currentIndexChanged(int index);
    void on__3d_channel3Symbol_currentIndexChanged(int index);
    void on__3d_channel1Inverted_toggled(bool on);
    void on__3d_channel2Inverted_toggled(bool on);
    void on__3d_channel3Inverted_toggled(bool on);
    void on__3d_channel1ControlMode_currentIndexChanged(int index);
    void on__3d_channel2ControlMode_currentIndexChanged(int index);
    void on__3d_channel3ControlMode_currentIndexChanged(int index);
    void on__3d_channel1SpeedLevel_valueChanged(int value);
    void on__3d_channel2SpeedLevel_valueChanged(int value);
    void on__3d_channel3SpeedLevel_valueChanged(int value);
    void on__3d_channel1Steps_currentIndexChanged(int index);
    void on__3d_channel2Steps_currentIndexChanged(int index);
    void on__3d_channel3Steps_currentIndexChanged(int index);
    void on__3d_channel1Amplitude_currentIndexChanged(int index);
    void on__3d_channel2Amplitude_currentIndexChanged(int index);
    void on__3d_channel3Amplitude_currentIndexChanged(int index);
    void on__3d_channel1Frequency_currentIndexChanged(int index);
    void on__3d_channel2Frequency_currentIndexChanged(int index);
    void on__3d_channel3Frequency_currentIndexChanged(int index);
    void on__3d_channel1VoltageIncrement_currentIndexChanged(int index);
    void on__3d_channel2VoltageIncrement_currentIndexChanged(int index);
    void on__3d_channel3VoltageIncrement_currentIndexChanged(int index);
    void on__3d_channel1ClosedLoopIncrement_currentIndexChanged(int index);
    void on__3d_channel2ClosedLoopIncrement_currentIndexChanged(int index);
    void on__3d_channel3ClosedLoopIncrement_currentIndexChanged(int index);

private:
    int currentSlot() const;
    // Writes the byte of the field that `widget` edits, unless filling.
    void writeField(QWidget* widget, int value);
    // Shows the field of table row `row` from its byte.
    void showField(int row);
    void copyToSlot(int target);

    std::unique_ptr<Ui::QMXHEditor_3D> ui_;
    bool filling_ = false;
    std::array<QAction*, kEditedSlots> copyActions_{};
    QAction* copyAllAction_ = nullptr;
    // The form's widget of each row of the field table, in table order.
    QVector<QWidget*> fieldWidgets_;
};
