#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <initializer_list>

#include "EditorSupport.h"
#include "QMXHEditor_nD.h"

using namespace hctest;

namespace {

constexpr int kTypeND = 0xFD01;
constexpr int kSlotSize = 500;
constexpr int kRole = 40;

int groupAt(int group) { return 14 + 6 * group; }
int channelAt(int channel) { return 68 + 11 * channel; }

const char* const kChannelWidgets[] = {
    "_nd_channelSymbol",    "_nd_port",
    "_nd_knobMap",          "_nd_knobInverted",
    "_nd_joystickMap",      "_nd_joystickInverted",
    "_nd_refOrder",         "_nd_controlMode",
    "_nd_speedLevel",       "_nd_steps",
    "_nd_amplitude",        "_nd_frequency",
    "_nd_voltageIncrement", "_nd_closedLoopIncrement",
};

struct EditorND : ::testing::Test {
    // Every slot byte `fill`; the slot's groups are then set with group().
    void makeSlots(uint8_t fill) {
        makeImage(configuration, kTypeND, fill);
        editor.setConfiguration(&configuration);
    }
    void set(int offset, int value) {
        configuration.setByteAt(kSlotSize * slot + offset, static_cast<uint8_t>(value));
    }
    int at(int offset) { return configuration.byteAt(kSlotSize * slot + offset); }
    // Appends group `group` to the order list with its symbol and channels.
    void group(int group, int symbol, std::initializer_list<int> channels) {
        const int count = at(4);
        set(4, count + 1);
        set(5 + count, group);
        set(groupAt(group), symbol);
        set(groupAt(group) + 1, static_cast<int>(channels.size()));
        int j = 0;
        for (int channel : channels) set(groupAt(group) + 2 + j++, channel);
    }
    void channel(int channel, std::initializer_list<int> record) {
        int i = 0;
        for (int value : record) set(channelAt(channel) + i++, value);
    }
    void show() {
        editor.show();
        child<QComboBox>(editor, "_nd_slot")->setCurrentIndex(slot);
        editor.fillForm();
    }
    QTreeWidget* tree() { return child<QTreeWidget>(editor, "_nd_treeConfiguration"); }
    QTreeWidgetItem* entry(int group, int channel = -1) {
        QTreeWidgetItem* top = tree()->topLevelItem(group);
        return channel < 0 || top == nullptr ? top : top->child(channel);
    }
    // A click on the entry, as the user makes it.
    void click(QTreeWidgetItem* item) {
        ASSERT_NE(item, nullptr);
        tree()->scrollToItem(item);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {},
                          tree()->visualItemRect(item).center());
        ASSERT_EQ(tree()->currentItem(), item);
    }
    void trigger(QWidget& owner, const QString& text) {
        for (QAction* action : owner.actions())
            if (action->text() == text) return action->trigger();
        ADD_FAILURE() << "no action " << text.toStdString();
    }
    void treeAction(const char* text) { trigger(*tree(), text); }
    QStringList texts() {
        QStringList shown;
        for (QTreeWidgetItemIterator it(tree()); *it != nullptr; ++it) shown << (*it)->text(0);
        return shown;
    }
    Changes changesSince(const Image& before) {
        return changesBetween(before, bytesOf(configuration));
    }
    Changes inSlot(std::initializer_list<std::pair<const int, int>> changes) {
        Changes absolute;
        for (const auto& [offset, value] : changes) absolute[kSlotSize * slot + offset] = value;
        return absolute;
    }

    int slot = 1;
    QMXHConfiguration configuration;
    QMXHEditor_nD editor;
};

TEST_F(EditorND, FormAfterConstruction) {
    EXPECT_EQ(editor.editedType(), kTypeND);
    EXPECT_EQ(editor.size(), QSize(608, 391));
    EXPECT_FALSE(child<QWidget>(editor, "_nd_groupSymbol")->isEnabled());
    for (const char* name : kChannelWidgets)
        EXPECT_FALSE(child<QWidget>(editor, name)->isEnabled()) << name;
    EXPECT_EQ(tree()->headerItem()->text(0), "Configuration");
    EXPECT_EQ(tree()->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList treeActions;
    for (QAction* action : tree()->actions()) treeActions << action->text();
    EXPECT_EQ(treeActions, (QStringList{"Add Group", "Add Channel", "Copy Group", "Copy Channel"}));
    auto* add = child<QToolButton>(editor, "_nd_addButton");
    EXPECT_EQ(add->popupMode(), QToolButton::MenuButtonPopup);
    ASSERT_NE(add->menu(), nullptr);
    ASSERT_EQ(add->menu()->actions().size(), 2);
    EXPECT_EQ(add->menu()->actions()[1], tree()->actions()[1]);
    QComboBox* slotBox = child<QComboBox>(editor, "_nd_slot");
    QStringList slotActions;
    for (QAction* action : slotBox->actions()) {
        slotActions << action->text();
        EXPECT_TRUE(action->isEnabled());
    }
    EXPECT_EQ(slotActions,
              (QStringList{"Copy this slot to slot 0", "Copy this slot to slot 1",
                           "Copy this slot to slot 2", "Copy this slot to all slots"}));
    struct Row {
        const char* widget;
        QStringList items;
    };
    const Row lists[] = {
        {"_nd_slot", {"Slot 0", "Slot 1", "Slot 2"}},
        {"_nd_knobMap", {"1", "2", "3", "4", "5"}},
        {"_nd_joystickMap", {"X1", "Y1", "X2", "Y2", "none"}},
        {"_nd_refOrder", {"1", "2", "3", "none"}},
    };
    for (const Row& row : lists) {
        QComboBox* box = child<QComboBox>(editor, row.widget);
        QStringList items;
        for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
        EXPECT_EQ(items, row.items) << row.widget;
    }
    EXPECT_EQ(child<QComboBox>(editor, "_nd_port")->count(), 36);
    EXPECT_EQ(child<QComboBox>(editor, "_nd_speedLevel")->itemText(16), "17");
    EXPECT_EQ(child<QComboBox>(editor, "_nd_steps")->count(), 54);
    EXPECT_EQ(editor.getSymbol(35), "z");
    EXPECT_EQ(editor.getSymbol(62), QString::fromUtf8("α"));
    EXPECT_EQ(editor.getSymbol(80), QString::fromUtf8("Ω"));
    EXPECT_EQ(editor.getSymbol(81), "");
}

TEST_F(EditorND, FillBuildsTheTreeAndWritesNothing) {
    makeSlots(0);
    group(2, 62, {5, 1});
    group(0, 11, {7});
    channel(5, {46});
    channel(1, {3});
    channel(7, {80});
    const Image before = bytesOf(configuration);
    show();
    EXPECT_EQ(changesSince(before), Changes{});
    EXPECT_EQ(texts(), (QStringList{QString::fromUtf8("Group α (2 Ch.)"), "Channel K", "Channel 3",
                                    "Group b (1 Ch.)", QString::fromUtf8("Channel Ω")}));
    EXPECT_EQ(entry(0)->data(1, kRole).toInt(), 2);
    EXPECT_EQ(entry(0)->data(2, kRole).toInt(), 100);
    EXPECT_EQ(entry(0, 1)->data(1, kRole).toInt(), 2);
    EXPECT_EQ(entry(0, 1)->data(2, kRole).toInt(), 1);
    EXPECT_EQ(tree()->currentItem(), entry(1));
    EXPECT_TRUE(child<QWidget>(editor, "_nd_groupSymbol")->isEnabled());
    EXPECT_FALSE(child<QWidget>(editor, "_nd_steps")->isEnabled());
    QComboBox* ports = child<QComboBox>(editor, "_nd_port");
    for (int port : {0, 1, 2, 3})
        EXPECT_EQ(ports->itemData(port, Qt::BackgroundRole).value<QBrush>().color() == Qt::green,
                  port < 3)
            << port;
}

// Every widget against its byte: what it shows after a click on the channel
// entry, then what it writes when set, the image compared whole each time.
TEST_F(EditorND, EveryFieldShowsAndWritesExactlyItsByte) {
    struct Row {
        const char* widget;
        int offset;  // in the slot
        int stored;
        int shown;
        int chosen;
        int written;
    };
    const int record = channelAt(5);
    const Row table[] = {
        {"_nd_channelSymbol", record + 0, 13, 13, 80, 80},
        {"_nd_refOrder", 464 + 4, 2, 2, 3, 3},
        {"_nd_port", record + 1, 4, 4, 35, 35},
        {"_nd_knobMap", record + 2, 0x82, 2, 4, 0x84},
        {"_nd_knobInverted", record + 2, 0x82, 1, 0, 0x04},
        {"_nd_joystickMap", record + 3, 0x01, 1, 3, 0x03},
        {"_nd_joystickInverted", record + 3, 0x01, 0, 1, 0x83},
        {"_nd_controlMode", record + 4, 2, 2, 3, 3},
        {"_nd_speedLevel", record + 5, 16, 16, 9, 9},
        {"_nd_frequency", record + 6, 52, 52, 20, 20},
        {"_nd_amplitude", record + 7, 40, 40, 3, 3},
        {"_nd_steps", record + 8, 53, 53, 17, 17},
        {"_nd_voltageIncrement", record + 9, 8, 8, 1, 1},
        {"_nd_closedLoopIncrement", record + 10, 23, 23, 12, 12},
        {"_nd_holdTime", 2, 8, 8, 5, 5},
        {"_nd_groupSymbol", groupAt(3), 36, 36, 61, 61},
    };
    makeSlots(0);
    group(0, 1, {0});
    group(3, 36, {2, 5});
    for (const Row& row : table) set(row.offset, row.stored);
    const Image before = bytesOf(configuration);
    show();
    click(entry(1, 1));
    EXPECT_EQ(changesSince(before), Changes{});
    EXPECT_EQ(child<QGroupBox>(editor, "_nd_channelBox")->title(), "Channel d");
    for (const Row& row : table) {
        EXPECT_TRUE(child<QWidget>(editor, row.widget)->isEnabled()) << row.widget;
        EXPECT_EQ(shownValue(child<QWidget>(editor, row.widget)), row.shown) << row.widget;
    }
    for (const Row& row : table) {
        const Image edited = bytesOf(configuration);
        setShown(child<QWidget>(editor, row.widget), row.chosen);
        EXPECT_EQ(changesSince(edited), inSlot({{row.offset, row.written}})) << row.widget;
    }
    EXPECT_EQ(entry(1)->text(0), "Group Z (2 Ch.)");
    EXPECT_EQ(entry(1, 1)->text(0), QString::fromUtf8("Channel Ω"));

    const Image edited = bytesOf(configuration);
    child<QComboBox>(editor, "_nd_slot")->setCurrentIndex(0);
    child<QComboBox>(editor, "_nd_slot")->setCurrentIndex(1);
    EXPECT_EQ(changesSince(edited), Changes{});
    for (const char* name : kChannelWidgets)
        EXPECT_FALSE(child<QWidget>(editor, name)->isEnabled()) << name;
}

TEST_F(EditorND, AddingAChannelToAnEmptySlotAddsItsGroupFirst) {
    makeSlots(0x55);
    set(4, 0);
    show();
    const Image before = bytesOf(configuration);
    treeAction("Add Channel");
    EXPECT_EQ(changesSince(before), inSlot({{4, 1},
                                            {5, 0},
                                            {14, 1},
                                            {15, 1},
                                            {16, 0},
                                            {68, 1},
                                            {69, 0},
                                            {70, 0},
                                            {71, 4},
                                            {72, 0},
                                            {73, 10},
                                            {74, 28},
                                            {75, 40},
                                            {76, 23},
                                            {77, 6},
                                            {78, 15}}));
    EXPECT_EQ(texts(), (QStringList{"Group 1 (1 Ch.)", "Channel 1"}));
    EXPECT_EQ(tree()->currentItem(), entry(0, 0));
    const std::pair<const char*, QString> shown[] = {
        {"_nd_port", "1"},
        {"_nd_knobMap", "1"},
        {"_nd_joystickMap", "none"},
        {"_nd_controlMode", "Simple"},
        {"_nd_speedLevel", "11"},
        {"_nd_frequency", "1000"},
        {"_nd_amplitude", "4095"},
        {"_nd_steps", "100"},
        {"_nd_voltageIncrement", "100"},
        {"_nd_closedLoopIncrement", QString::fromUtf8("100 [µm | m°]")},
    };
    for (const auto& [name, text] : shown) {
        EXPECT_TRUE(child<QWidget>(editor, name)->isEnabled()) << name;
        EXPECT_EQ(child<QComboBox>(editor, name)->currentText(), text) << name;
    }
}

TEST_F(EditorND, NumbersOfDeletedGroupsAndChannelsAreReused) {
    makeSlots(0);
    show();
    for (int n = 0; n < 3; ++n) treeAction("Add Group");
    click(entry(1));
    editor.on__nd_deleteButton_clicked();
    EXPECT_EQ(at(4), 2);
    EXPECT_EQ(at(5), 0);
    EXPECT_EQ(at(6), 2);
    treeAction("Add Group");
    EXPECT_EQ(at(4), 3);
    EXPECT_EQ(at(7), 1);
    EXPECT_EQ(at(groupAt(1)), 3);
    // The second group's symbol is that of its own creation, the third group.
    EXPECT_EQ(texts(), (QStringList{"Group 1 (0 Ch.)", "Group 3 (0 Ch.)", "Group 3 (0 Ch.)"}));

    // Channels 0 and 1 in the first group, 2 in the second; 0 deleted and
    // reused by the second group.
    click(entry(0));
    treeAction("Add Channel");
    treeAction("Add Channel");
    click(entry(1));
    treeAction("Add Channel");
    EXPECT_EQ(at(groupAt(2) + 2), 2);
    click(entry(0, 0));
    editor.on__nd_deleteButton_clicked();
    EXPECT_EQ(at(groupAt(0) + 1), 1);
    EXPECT_EQ(at(groupAt(0) + 2), 1);
    click(entry(1));
    treeAction("Add Channel");
    EXPECT_EQ(at(groupAt(2) + 1), 2);
    EXPECT_EQ(at(groupAt(2) + 3), 0);
    EXPECT_EQ(at(channelAt(0)), 2);
}

TEST_F(EditorND, ChannelsOnOnePortShareTheReferenceOrder) {
    makeSlots(0);
    group(0, 1, {0, 1});
    channel(0, {1, 3});
    channel(1, {2, 3});
    set(464 + 3, 1);
    set(464 + 7, 2);
    show();
    click(entry(0, 0));
    QComboBox* order = child<QComboBox>(editor, "_nd_refOrder");
    EXPECT_EQ(order->currentIndex(), 1);
    order->setCurrentIndex(0);
    click(entry(0, 1));
    EXPECT_EQ(order->currentIndex(), 0);
    const Image before = bytesOf(configuration);
    child<QComboBox>(editor, "_nd_port")->setCurrentIndex(7);
    EXPECT_EQ(order->currentIndex(), 2);
    EXPECT_EQ(changesSince(before), inSlot({{channelAt(1) + 1, 7}}));
}

TEST_F(EditorND, CopiesAndTheirLimits) {
    makeSlots(0);
    group(0, 1, {0, 1, 2, 3});
    group(1, 2, {4});
    channel(4, {9, 5, 0x83, 2, 1, 2, 3, 4, 5, 6, 7});
    show();
    QSignalSpy messages(&editor, &QMXHEditor_nD::messageFromEditor);

    // Into a full group, and with a group entry current: nothing.
    Image before = bytesOf(configuration);
    click(entry(0, 2));
    treeAction("Copy Channel");
    click(entry(1));
    treeAction("Copy Channel");
    EXPECT_EQ(changesSince(before), Changes{});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0][0].toString(), "You must select a channel which shall be copied.");

    click(entry(1, 0));
    treeAction("Copy Channel");
    EXPECT_EQ(changesSince(before), inSlot({{groupAt(1) + 1, 2},
                                            {groupAt(1) + 3, 5},
                                            {channelAt(5), 9},
                                            {channelAt(5) + 1, 5},
                                            {channelAt(5) + 2, 0x83},
                                            {channelAt(5) + 3, 2},
                                            {channelAt(5) + 4, 1},
                                            {channelAt(5) + 5, 2},
                                            {channelAt(5) + 6, 3},
                                            {channelAt(5) + 7, 4},
                                            {channelAt(5) + 8, 5},
                                            {channelAt(5) + 9, 6},
                                            {channelAt(5) + 10, 7}}));
    EXPECT_EQ(tree()->currentItem(), entry(1, 1));

    // Group 1 copied as group 2: symbol 3, channels 6 and 7 with the records.
    before = bytesOf(configuration);
    treeAction("Copy Group");
    EXPECT_EQ(at(4), 3);
    EXPECT_EQ(at(7), 2);
    EXPECT_EQ(at(groupAt(2)), 3);
    EXPECT_EQ(at(groupAt(2) + 1), 2);
    EXPECT_EQ(at(groupAt(2) + 2), 6);
    EXPECT_EQ(at(groupAt(2) + 3), 7);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(at(channelAt(6) + i), at(channelAt(4) + i)) << i;
        EXPECT_EQ(at(channelAt(7) + i), at(channelAt(5) + i)) << i;
    }
    EXPECT_EQ(texts().mid(8), (QStringList{"Group 3 (2 Ch.)", "Channel 9", "Channel 9"}));

    // The slot copies: slot 1 over slot 0, then over 0 and 2; not refilled.
    const Image original = bytesOf(configuration);
    const QStringList shown = texts();
    QComboBox* slotBox = child<QComboBox>(editor, "_nd_slot");
    trigger(*slotBox, "Copy this slot to slot 1");
    EXPECT_EQ(changesSince(original), Changes{});
    trigger(*slotBox, "Copy this slot to slot 0");
    trigger(*slotBox, "Copy this slot to all slots");
    const Image copied = bytesOf(configuration);
    for (int offset = 0; offset < kSlotSize; ++offset) {
        EXPECT_EQ(copied[offset], original[kSlotSize + offset]) << offset;
        EXPECT_EQ(copied[2 * kSlotSize + offset], original[kSlotSize + offset]) << offset;
    }
    EXPECT_TRUE(
        std::equal(copied.begin() + 3 * kSlotSize, copied.end(), original.begin() + 3 * kSlotSize));
    EXPECT_EQ(texts(), shown);
}

TEST_F(EditorND, AtMostNineGroupsOfFourChannels) {
    makeSlots(0);
    show();
    for (int n = 0; n < 12; ++n) treeAction("Add Group");
    EXPECT_EQ(at(4), 9);
    EXPECT_EQ(tree()->topLevelItemCount(), 9);
    click(entry(4));
    for (int n = 0; n < 6; ++n) treeAction("Add Channel");
    EXPECT_EQ(at(groupAt(4) + 1), 4);
    EXPECT_EQ(entry(4)->childCount(), 4);
    // No room for a copy of the group: nothing at all is copied.
    const Image before = bytesOf(configuration);
    treeAction("Copy Group");
    EXPECT_EQ(changesSince(before), Changes{});
}

// The channel widgets show the last clicked entry, but write only into a
// current channel entry: after keyboard moves and deletes they write nothing.
TEST_F(EditorND, WithoutACurrentChannelEntryNothingIsWritten) {
    makeSlots(0);
    group(0, 1, {0, 1});
    group(1, 2, {2});
    show();
    auto setEveryChannelWidget = [&] {
        int value = 1;
        for (const char* name : kChannelWidgets) {
            QWidget* widget = child<QWidget>(editor, name);
            setShown(widget, shownValue(widget) == value ? value + 1 : value);
            ++value;
        }
    };
    click(entry(0, 1));
    QTest::keyClick(tree(), Qt::Key_Up);
    QTest::keyClick(tree(), Qt::Key_Up);
    ASSERT_EQ(tree()->currentItem(), entry(0));
    Image before = bytesOf(configuration);
    setEveryChannelWidget();
    EXPECT_EQ(changesSince(before), Changes{});

    click(entry(1, 0));
    editor.on__nd_deleteButton_clicked();
    ASSERT_NE(tree()->currentItem(), nullptr);
    ASSERT_EQ(tree()->currentItem()->data(2, kRole).toInt(), 100);
    before = bytesOf(configuration);
    setEveryChannelWidget();
    EXPECT_EQ(changesSince(before), Changes{});

    for (int n = 0; n < 2; ++n) {
        click(entry(0));
        editor.on__nd_deleteButton_clicked();
    }
    EXPECT_EQ(at(4), 0);
    EXPECT_EQ(tree()->currentItem(), nullptr);
    before = bytesOf(configuration);
    setEveryChannelWidget();
    child<QComboBox>(editor, "_nd_groupSymbol")->setCurrentIndex(7);
    treeAction("Copy Channel");
    treeAction("Copy Group");
    editor.on__nd_deleteButton_clicked();
    EXPECT_EQ(changesSince(before), Changes{});
}

// An erased slot (every byte 0xFF) shows nothing and takes no edit.
TEST_F(EditorND, AnErasedSlotTakesNoEdit) {
    makeSlots(0xFF);
    const Image before = bytesOf(configuration);
    show();
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    for (const char* action : {"Add Group", "Add Channel", "Copy Group", "Copy Channel"})
        treeAction(action);
    editor.on__nd_deleteButton_clicked();
    child<QComboBox>(editor, "_nd_groupSymbol")->setCurrentIndex(3);
    EXPECT_EQ(changesSince(before), Changes{});
}

// Counts above 9 and 4 are taken as 9 and 4; groups of 9 or more and
// channels of 36 or more are not shown; nothing is written outside its table.
TEST_F(EditorND, CountsAndNumbersBeyondTheTablesAreBounded) {
    makeSlots(0);
    for (int position = 0; position < 9; ++position) set(5 + position, 9 + position);
    set(4, 200);
    set(5 + 0, 0);
    set(5 + 2, 1);
    set(groupAt(0), 1);
    set(groupAt(0) + 1, 200);
    const int listed[] = {3, 40, 1, 2};
    for (int j = 0; j < 4; ++j) set(groupAt(0) + 2 + j, listed[j]);
    set(groupAt(1), 2);
    set(groupAt(1) + 1, 2);
    set(groupAt(1) + 2, 5);
    set(groupAt(1) + 3, 6);
    channel(5, {5, 200});
    show();
    EXPECT_EQ(texts(), (QStringList{"Group 1 (4 Ch.)", "Channel 0", "Channel 0", "Channel 0",
                                    "Group 2 (2 Ch.)", "Channel 5", "Channel 0"}));

    Image before = bytesOf(configuration);
    treeAction("Add Group");
    click(entry(0));
    treeAction("Add Channel");
    treeAction("Copy Group");
    click(entry(0, 0));
    treeAction("Copy Channel");
    // A port beyond the table: the reference order has no byte to show or take.
    click(entry(1, 0));
    QComboBox* order = child<QComboBox>(editor, "_nd_refOrder");
    EXPECT_EQ(order->currentIndex(), -1);
    order->setCurrentIndex(2);
    EXPECT_EQ(changesSince(before), Changes{});

    // Deleting shifts the first four channels and the first nine groups only.
    click(entry(0, 1));
    editor.on__nd_deleteButton_clicked();
    EXPECT_EQ(changesSince(before), inSlot({{groupAt(0) + 1, 3}, {groupAt(0) + 4, 2}}));
    before = bytesOf(configuration);
    click(entry(1));
    editor.on__nd_deleteButton_clicked();
    EXPECT_EQ(changesSince(before),
              inSlot({{4, 8}, {7, 12}, {8, 13}, {9, 14}, {10, 15}, {11, 16}, {12, 17}}));
}

}  // namespace
