#include <gtest/gtest.h>

#include <QAction>
#include <QTabWidget>

#include "EditorSupport.h"
#include "HandControlLists.h"
#include "QMXHEditor_3D.h"

using namespace hctest;

namespace {

constexpr int kType3D = 0x3D01;
constexpr int kSlot = 128;
constexpr int kLevelCount = 1280;

// Every field widget with a byte of its own and the value it shows for it.
struct FieldRow {
    const char* widget;
    int offset;
    int byte;
    int shown;
};
const FieldRow kFieldRows[] = {
    {"_3d_joyX1Map", 0, 1, 2},
    {"_3d_joyY1Map", 1, 2, 3},
    {"_3d_joyX2Map", 2, 0xFF, 0},
    {"_3d_joyY2Map", 3, 1, 2},
    {"_3d_joyX1Inverted", 4, 1, 1},
    {"_3d_joyY1Inverted", 5, 1, 1},
    {"_3d_joyX2Inverted", 6, 1, 1},
    {"_3d_joyY2Inverted", 7, 1, 1},
    {"_3d_joy1Active", 8, 1, 1},
    {"_3d_joy2Active", 9, 1, 1},
    {"_3d_knob1Map", 10, 2, 3},
    {"_3d_knob2Map", 11, 0xFF, 0},
    {"_3d_knob3Map", 12, 1, 2},
    {"_3d_holdTime", 13, 8, 8},
    {"_3d_channel1Inverted", 15, 1, 1},
    {"_3d_channel2Inverted", 16, 1, 1},
    {"_3d_channel3Inverted", 17, 1, 1},
    {"_3d_channel1Symbol", 18, 80, 80},
    {"_3d_channel2Symbol", 19, 62, 62},
    {"_3d_channel3Symbol", 20, 36, 36},
    {"_3d_channel1ControlMode", 21, 3, 3},
    {"_3d_channel2ControlMode", 22, 2, 2},
    {"_3d_channel3ControlMode", 23, 1, 1},
    {"_3d_channel1SpeedLevel", 24, 6, 7},
    {"_3d_channel1Steps", 25, 53, 53},
    {"_3d_channel1Amplitude", 26, 40, 40},
    {"_3d_channel1Frequency", 27, 52, 52},
    {"_3d_channel1VoltageIncrement", 28, 9, 9},
    {"_3d_channel1ClosedLoopIncrement", 29, 23, 23},
    {"_3d_channel2SpeedLevel", 30, 11, 12},
    {"_3d_channel2Steps", 31, 5, 5},
    {"_3d_channel2Amplitude", 32, 12, 12},
    {"_3d_channel2Frequency", 33, 28, 28},
    {"_3d_channel2VoltageIncrement", 34, 4, 4},
    {"_3d_channel2ClosedLoopIncrement", 35, 15, 15},
    {"_3d_channel3SpeedLevel", 36, 19, 20},
    {"_3d_channel3Steps", 37, 23, 23},
    {"_3d_channel3Amplitude", 38, 33, 33},
    {"_3d_channel3Frequency", 39, 7, 7},
    {"_3d_channel3VoltageIncrement", 40, 6, 6},
    {"_3d_channel3ClosedLoopIncrement", 41, 10, 10},
};

struct Editor3D : ::testing::Test {
    // Slot bytes 0, 20 speed levels; `slot` shown.
    void open(int slot) {
        makeImage(configuration, kType3D, 0);
        configuration.setByteAt(kLevelCount, 20);
        editor.setConfiguration(&configuration);
        editor.fillForm();
        child<QComboBox>(editor, "_3d_slot")->setCurrentIndex(slot);
    }
    QComboBox* slotBox() { return child<QComboBox>(editor, "_3d_slot"); }

    QMXHConfiguration configuration;
    QMXHEditor_3D editor;
};

TEST_F(Editor3D, FormAndListsAfterConstruction) {
    EXPECT_EQ(editor.editedType(), kType3D);
    EXPECT_EQ(editor.size(), QSize(689, 367));
    EXPECT_EQ(child<QTabWidget>(editor, "tabWidget")->currentIndex(), 0);
    EXPECT_FALSE(child<QGroupBox>(editor, "_3d_joy1Active")->isChecked());
    EXPECT_EQ(slotBox()->count(), 4);
    EXPECT_EQ(slotBox()->toolTip(), "Right click to copy slot.");
    struct Row {
        const char* widget;
        int count;
        QString first;
        QString last;
    };
    const Row lists[] = {
        {"_3d_holdTime", 9, "0s", "inf"},
        {"_3d_channel2Symbol", 81, "0", "Omega"},
        {"_3d_channel3ControlMode", 4, "Simple", "Closed-Loop"},
        {"_3d_channel1Steps", 54, "1", "9000"},
        {"_3d_channel1Amplitude", 41, "100", "4095"},
        {"_3d_channel1Frequency", 53, "5", "18500"},
        {"_3d_channel1VoltageIncrement", 10, "1", "1000"},
        {"_3d_channel1ClosedLoopIncrement", 24, QString::fromUtf8("1 [nm | µ°]"),
         QString::fromUtf8("90 [°]")},
    };
    for (const Row& row : lists) {
        QComboBox* box = child<QComboBox>(editor, row.widget);
        ASSERT_EQ(box->count(), row.count) << row.widget;
        EXPECT_EQ(box->itemText(0), row.first) << row.widget;
        EXPECT_EQ(box->itemText(row.count - 1), row.last) << row.widget;
    }
    EXPECT_EQ(hclists::symbols().at(61), "Z");
    EXPECT_EQ(hclists::symbols().at(62), "alpha");
    EXPECT_EQ(hclists::steps().indexOf("7"), -1);
    EXPECT_EQ(hclists::amplitudes().at(39), "4000");
    EXPECT_EQ(hclists::closedLoopIncrements().at(15), QString::fromUtf8("100 [µm | m°]"));
}

TEST_F(Editor3D, FillShowsEveryFieldAndWritesNothing) {
    open(0);
    for (const FieldRow& row : kFieldRows)
        configuration.setByteAt(2 * kSlot + row.offset, static_cast<uint8_t>(row.byte));
    const Image before = bytesOf(configuration);
    slotBox()->setCurrentIndex(2);
    EXPECT_EQ(changesBetween(before, bytesOf(configuration)), Changes{});
    for (const FieldRow& row : kFieldRows)
        EXPECT_EQ(shownValue(child<QWidget>(editor, row.widget)), row.shown) << row.widget;

    // Bytes beyond every list only show differently; the image keeps them.
    for (int offset = 0; offset < kSlot; ++offset) configuration.setByteAt(3 * kSlot + offset, 200);
    const Image beyond = bytesOf(configuration);
    slotBox()->setCurrentIndex(3);
    EXPECT_EQ(changesBetween(beyond, bytesOf(configuration)), Changes{});
    EXPECT_EQ(child<QComboBox>(editor, "_3d_channel1Steps")->currentIndex(), -1);
    EXPECT_EQ(child<QComboBox>(editor, "_3d_knob1Map")->currentText(), "none");
    EXPECT_EQ(child<QSpinBox>(editor, "_3d_channel1SpeedLevel")->value(), 20);
}

TEST_F(Editor3D, EveryFieldWritesExactlyItsByte) {
    open(2);
    for (const FieldRow& row : kFieldRows) {
        const Image before = bytesOf(configuration);
        setShown(child<QWidget>(editor, row.widget), row.shown);
        EXPECT_EQ(changesBetween(before, bytesOf(configuration)),
                  (Changes{{2 * kSlot + row.offset, row.byte}}))
            << row.widget;
    }
    const Image edited = bytesOf(configuration);
    slotBox()->setCurrentIndex(0);
    slotBox()->setCurrentIndex(2);
    editor.fillForm();
    EXPECT_EQ(changesBetween(edited, bytesOf(configuration)), Changes{});
}

TEST_F(Editor3D, SpeedLevelCountGivesTheSpinRange) {
    const std::pair<int, int> table[] = {{0, 1}, {1, 1}, {17, 17}, {32, 32}, {33, 32}, {255, 32}};
    open(0);
    for (const auto& [count, maximum] : table) {
        configuration.setByteAt(kLevelCount, static_cast<uint8_t>(count));
        editor.fillForm();
        for (const char* name :
             {"_3d_channel1SpeedLevel", "_3d_channel2SpeedLevel", "_3d_channel3SpeedLevel"}) {
            EXPECT_EQ(child<QSpinBox>(editor, name)->minimum(), 1) << count;
            EXPECT_EQ(child<QSpinBox>(editor, name)->maximum(), maximum) << count;
        }
    }
    configuration.setByteAt(kLevelCount, 20);
    editor.fillForm();
    QSpinBox* level = child<QSpinBox>(editor, "_3d_channel2SpeedLevel");
    EXPECT_EQ(level->value(), 1);
    level->setValue(5);
    EXPECT_EQ(configuration.byteAt(30), 4);
}

TEST_F(Editor3D, MappingNoneIsFFAndSymbolsNameTheChannels) {
    open(1);
    const int joyY2 = kSlot + 3;
    configuration.setByteAt(joyY2, 0xFF);
    configuration.setByteAt(kSlot + 10, 2);
    editor.fillForm();
    QComboBox* map = child<QComboBox>(editor, "_3d_joyY2Map");
    EXPECT_EQ(map->currentText(), "none");
    map->setCurrentIndex(1);
    EXPECT_EQ(configuration.byteAt(joyY2), 0);
    map->setCurrentIndex(0);
    EXPECT_EQ(configuration.byteAt(joyY2), 0xFF);

    child<QComboBox>(editor, "_3d_channel3Symbol")->setCurrentIndex(62);
    EXPECT_EQ(configuration.byteAt(kSlot + 20), 62);
    for (const char* name : {"_3d_joyX1Map", "_3d_joyY1Map", "_3d_joyX2Map", "_3d_joyY2Map",
                             "_3d_knob1Map", "_3d_knob2Map", "_3d_knob3Map"}) {
        QComboBox* box = child<QComboBox>(editor, name);
        EXPECT_EQ(box->count(), 4) << name;
        EXPECT_EQ(box->itemText(3), "alpha") << name;
    }
    EXPECT_EQ(map->currentIndex(), 0);
    EXPECT_EQ(child<QComboBox>(editor, "_3d_knob1Map")->currentIndex(), 3);
    EXPECT_EQ(child<QComboBox>(editor, "_3d_joyX1Map")->currentIndex(), 1);
}

TEST_F(Editor3D, ContextMenuCopiesTheShownSlot) {
    open(2);
    const QList<QAction*> actions = slotBox()->actions();
    EXPECT_EQ(slotBox()->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(actions.size(), 5);
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(actions[slot]->text(), QString("Copy this slot to slot %1").arg(slot + 1));
        EXPECT_EQ(actions[slot]->isEnabled(), slot != 2) << slot;
    }
    EXPECT_EQ(actions[4]->text(), "Copy this slot to all slots");

    // Slot 0 with a pattern, shown; copy to slot 4 (index 3), then to all.
    for (int offset = 0; offset < kSlot; ++offset)
        configuration.setByteAt(offset, static_cast<uint8_t>(offset + 1));
    slotBox()->setCurrentIndex(0);
    const Image before = bytesOf(configuration);
    actions[3]->trigger();
    Changes expected;
    for (int offset = 0; offset < kSlot; ++offset) expected[3 * kSlot + offset] = offset + 1;
    EXPECT_EQ(changesBetween(before, bytesOf(configuration)), expected);
    actions[4]->trigger();
    for (int slot : {1, 2})
        for (int offset = 0; offset < kSlot; ++offset) expected[slot * kSlot + offset] = offset + 1;
    EXPECT_EQ(changesBetween(before, bytesOf(configuration)), expected);
}

}  // namespace
