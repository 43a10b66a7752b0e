#pragma once

#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <memory>

#include "QMXHEditor.h"

class QAction;
class QTreeWidgetItem;

namespace Ui {
class QMXHEditor_nD;
}

// The editor of the nD configuration type: three slots of 500 bytes, each up
// to nine groups of up to four channels shown as a tree. The channel widgets
// show the entry last clicked or added and write into the channel of the
// current tree entry through one table of widget, record offset and bit mask.
//
// Counts and numbers come from a file or a device and are not trusted: a
// group count above 9 is taken as 9 and a channel count above 4 as 4, groups
// numbered 9 or more and channels numbered 36 or more are not shown, and no
// edit writes outside the table it belongs to.
class QMXHEditor_nD : public QMXHEditor {
    Q_OBJECT

public:
    static constexpr int kType = 0xFD01;
    static constexpr int kSlotSize = 500;
    static constexpr int kSlots = 3;
    // The tree entries carry their group and channel numbers under this
    // role, in columns 1 and 2; a group entry's channel number is kGroupEntry.
    static constexpr int kEntryRole = 40;
    static constexpr int kGroupColumn = 1;
    static constexpr int kChannelColumn = 2;
    static constexpr int kGroupEntry = 100;

    explicit QMXHEditor_nD(QWidget* parent = nullptr);
    ~QMXHEditor_nD() override;

    int editedType() override;
    void fillForm() override;

signals:
    void messageFromEditor(const QString& message);

public slots:
    void copyToSlot0(bool);
    void copyToSlot1(bool);
    void copyToSlot2(bool);
    void copyToSlotAll(bool);
    void copyGroup();
    void copyChannel();
    void on__nd_slot_currentIndexChanged(int index);
    void on__nd_holdTime_currentIndexChanged(int index);
    void showChannel(QTreeWidgetItem* item);
    void on__nd_deleteButton_clicked();
    void on__nd_groupSymbol_currentIndexChanged(int index);
    void on__nd_channelSymbol_currentIndexChanged(int index);
    void on__nd_port_currentIndexChanged(int index);
    void on__nd_knobMap_currentIndexChanged(int index);
    void on__nd_knobInverted_toggled(bool on);
    void on__nd_joystickMap_currentIndexChanged(int index);
    void on__nd_joystickInverted_toggled(bool on);
    void on__nd_refOrder_currentIndexChanged(int index);
    void on__nd_controlMode_currentIndexChanged(int index);
    void on__nd_speedLevel_currentIndexChanged(int index);
    void on__nd_steps_currentIndexChanged(int index);
    void on__nd_amplitude_currentIndexChanged(int index);
    void on__nd_frequency_currentIndexChanged(int index);
    void on__nd_voltageIncrement_currentIndexChanged(int index);
    void on__nd_closedLoopIncrement_currentIndexChanged(int index);
    void addGroups();
    void addChannels();
    QString getSymbol(int index);

private:
    uint8_t byte(int offset) const;
    void setByte(int offset, int value);
    int groupCount() const;
    int channelCount(int group) const;
    int groupAt(int position) const;
    int channelAt(int group, int position) const;
    QString groupText(int group) const;
    QString channelText(int channel) const;
    QTreeWidgetItem* newEntry(QTreeWidgetItem* parent, const QString& text, int group, int channel);

    // The current entry, or null; a channel entry's channel number, or -1.
    QTreeWidgetItem* currentEntry() const;
    int currentChannel() const;
    // Writes the field that `widget` edits into the current entry's channel.
    bool writeChannelField(QWidget* widget, int value);
    void showReferenceOrder(int port);
    void enableChannelWidgets(bool enabled);

    // What was added, or null when nothing was.
    QTreeWidgetItem* addGroup();
    QTreeWidgetItem* addChannel();
    void copyToSlot(int target);

    std::unique_ptr<Ui::QMXHEditor_nD> ui_;
    bool filling_ = false;
    std::array<QAction*, kSlots> copyActions_{};
    QAction* copyAllAction_ = nullptr;
    QAction* addGroupAction_ = nullptr;
    QAction* addChannelAction_ = nullptr;
    QAction* copyGroupAction_ = nullptr;
    QAction* copyChannelAction_ = nullptr;
    // The form's widget of each row of the channel field table.
    QVector<QWidget*> channelWidgets_;
};
