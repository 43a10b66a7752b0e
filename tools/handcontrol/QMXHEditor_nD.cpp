#include "QMXHEditor_nD.h"

#include <QAction>
#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QScopedValueRollback>
#include <QTreeWidget>

#include <algorithm>
#include <bitset>
#include <iterator>

#include "HandControlLists.h"
#include "QMXHConfiguration.h"
#include "ui_QMXHEditor_nD.h"

namespace {

// A slot's layout.
constexpr int kHoldTime = 2;
constexpr int kGroupCount = 4;
constexpr int kGroupOrder = 5;
constexpr int kGroupRecords = 14;
constexpr int kGroupRecordSize = 6;
constexpr int kGroupSymbol = 0;     // in a group record
constexpr int kChannelCountAt = 1;  // in a group record
constexpr int kChannelList = 2;     // in a group record
constexpr int kChannelRecords = 68;
constexpr int kChannelRecordSize = 11;
constexpr int kChannelSymbol = 0;  // in a channel record
constexpr int kChannelPort = 1;    // in a channel record
constexpr int kReferenceOrders = 464;

constexpr int kMaxGroups = 9;
constexpr int kMaxChannelsPerGroup = 4;
constexpr int kMaxChannels = 36;
constexpr int kPorts = 36;

// A channel record byte, or the bits of it, that a channel widget edits.
struct ChannelField {
    const char* widget;
    int offset;  // in the channel record
    uint8_t mask;
    QStringList (*items)();  // the combo's items; none for a check box
};
const ChannelField kChannelFields[] = {
    {"_nd_channelSymbol", kChannelSymbol, 0xFF, hclists::symbols},
    {"_nd_port", kChannelPort, 0xFF, hclists::ports},
    {"_nd_knobMap", 2, 0x7F, hclists::knobs},
    {"_nd_knobInverted", 2, 0x80, nullptr},
    {"_nd_joystickMap", 3, 0x7F, hclists::joysticks},
    {"_nd_joystickInverted", 3, 0x80, nullptr},
    {"_nd_controlMode", 4, 0xFF, hclists::controlModes},
    {"_nd_speedLevel", 5, 0xFF, hclists::speedLevels},
    {"_nd_frequency", 6, 0xFF, hclists::frequencies},
    {"_nd_amplitude", 7, 0xFF, hclists::amplitudes},
    {"_nd_steps", 8, 0xFF, hclists::steps},
    {"_nd_voltageIncrement", 9, 0xFF, hclists::voltageIncrements},
    {"_nd_closedLoopIncrement", 10, 0xFF, hclists::closedLoopIncrements},
};
constexpr int kChannelFieldCount = static_cast<int>(std::size(kChannelFields));

// A new channel's record after its symbol: port "1", knob "1", joystick
// "none", "Simple", speed level "11", 1000 Hz, amplitude 4095, 100 steps,
// voltage increment 100, closed-loop increment 100 µm.
constexpr uint8_t kNewChannel[kChannelRecordSize - 1] = {0, 0, 4, 0, 10, 28, 40, 23, 6, 15};

int groupRecord(int group) { return kGroupRecords + kGroupRecordSize * group; }
int channelRecord(int channel) { return kChannelRecords + kChannelRecordSize * channel; }
bool isGroup(int group) { return group >= 0 && group < kMaxGroups; }
bool isChannel(int channel) { return channel >= 0 && channel < kMaxChannels; }

int shiftOf(uint8_t mask) {
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    return shift;
}

int entryGroup(const QTreeWidgetItem* entry) {
    return entry->data(QMXHEditor_nD::kGroupColumn, QMXHEditor_nD::kEntryRole).toInt();
}
int entryChannel(const QTreeWidgetItem* entry) {
    return entry->data(QMXHEditor_nD::kChannelColumn, QMXHEditor_nD::kEntryRole).toInt();
}

}  // namespace

QMXHEditor_nD::QMXHEditor_nD(QWidget* parent)
    : QMXHEditor(parent), ui_(std::make_unique<Ui::QMXHEditor_nD>()) {
    ui_->setupUi(this);
    hclists::setItems(ui_->_nd_slot, hclists::ndSlots());
    hclists::setItems(ui_->_nd_holdTime, hclists::holdTimes());
    hclists::setItems(ui_->_nd_groupSymbol, hclists::symbols());
    hclists::setItems(ui_->_nd_refOrder, hclists::referenceOrders());
    for (const ChannelField& field : kChannelFields) {
        QWidget* widget = findChild<QWidget*>(QString::fromLatin1(field.widget));
        Q_ASSERT(widget != nullptr);
        channelWidgets_ << widget;
        if (field.items != nullptr)
            hclists::setItems(qobject_cast<QComboBox*>(widget), field.items());
    }

    for (int slot = 0; slot < kSlots; ++slot) {
        copyActions_[static_cast<size_t>(slot)] =
            new QAction(tr("Copy this slot to slot %1").arg(slot), ui_->_nd_slot);
        ui_->_nd_slot->addAction(copyActions_[static_cast<size_t>(slot)]);
    }
    copyAllAction_ = new QAction(tr("Copy this slot to all slots"), ui_->_nd_slot);
    ui_->_nd_slot->addAction(copyAllAction_);
    ui_->_nd_slot->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copyActions_[0], &QAction::triggered, this, &QMXHEditor_nD::copyToSlot0);
    connect(copyActions_[1], &QAction::triggered, this, &QMXHEditor_nD::copyToSlot1);
    connect(copyActions_[2], &QAction::triggered, this, &QMXHEditor_nD::copyToSlot2);
    connect(copyAllAction_, &QAction::triggered, this, &QMXHEditor_nD::copyToSlotAll);

    QTreeWidget* tree = ui_->_nd_treeConfiguration;
    addGroupAction_ = new QAction(tr("Add Group"), tree);
    addChannelAction_ = new QAction(tr("Add Channel"), tree);
    copyGroupAction_ = new QAction(tr("Copy Group"), tree);
    copyChannelAction_ = new QAction(tr("Copy Channel"), tree);
    tree->addActions({addGroupAction_, addChannelAction_, copyGroupAction_, copyChannelAction_});
    tree->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* addMenu = new QMenu(this);
    addMenu->addAction(addGroupAction_);
    addMenu->addAction(addChannelAction_);
    ui_->_nd_addButton->setMenu(addMenu);

    connect(addGroupAction_, &QAction::triggered, this, &QMXHEditor_nD::addGroups);
    connect(addChannelAction_, &QAction::triggered, this, &QMXHEditor_nD::addChannels);
    connect(copyGroupAction_, &QAction::triggered, this, &QMXHEditor_nD::copyGroup);
    connect(copyChannelAction_, &QAction::triggered, this, &QMXHEditor_nD::copyChannel);
    connect(tree, &QTreeWidget::itemClicked, this, &QMXHEditor_nD::showChannel);
}

QMXHEditor_nD::~QMXHEditor_nD() = default;

int QMXHEditor_nD::editedType() { return kType; }

QString QMXHEditor_nD::getSymbol(int index) { return hclists::symbolGlyph(index); }

uint8_t QMXHEditor_nD::byte(int offset) const {
    return configuration()->byteAt(kSlotSize * ui_->_nd_slot->currentIndex() + offset);
}

void QMXHEditor_nD::setByte(int offset, int value) {
    configuration()->setByteAt(kSlotSize * ui_->_nd_slot->currentIndex() + offset,
                               static_cast<uint8_t>(value));
}

int QMXHEditor_nD::groupCount() const { return std::min<int>(byte(kGroupCount), kMaxGroups); }

int QMXHEditor_nD::channelCount(int group) const {
    return std::min<int>(byte(groupRecord(group) + kChannelCountAt), kMaxChannelsPerGroup);
}

int QMXHEditor_nD::groupAt(int position) const { return byte(kGroupOrder + position); }

int QMXHEditor_nD::channelAt(int group, int position) const {
    return byte(groupRecord(group) + kChannelList + position);
}

QString QMXHEditor_nD::groupText(int group) const {
    return tr("Group %1 (%2 Ch.)")
        .arg(hclists::symbolGlyph(byte(groupRecord(group) + kGroupSymbol)))
        .arg(channelCount(group));
}

QString QMXHEditor_nD::channelText(int channel) const {
    return tr("Channel %1")
        .arg(hclists::symbolGlyph(byte(channelRecord(channel) + kChannelSymbol)));
}

QTreeWidgetItem* QMXHEditor_nD::newEntry(QTreeWidgetItem* parent, const QString& text, int group,
                                         int channel) {
    auto* entry = parent != nullptr ? new QTreeWidgetItem(parent)
                                    : new QTreeWidgetItem(ui_->_nd_treeConfiguration);
    entry->setText(0, text);
    entry->setData(kGroupColumn, kEntryRole, group);
    entry->setData(kChannelColumn, kEntryRole, channel);
    return entry;
}

QTreeWidgetItem* QMXHEditor_nD::currentEntry() const {
    if (configuration() == nullptr) return nullptr;
    QTreeWidgetItem* entry = ui_->_nd_treeConfiguration->currentItem();
    if (entry == nullptr || !isGroup(entryGroup(entry))) return nullptr;
    return entry;
}

int QMXHEditor_nD::currentChannel() const {
    const QTreeWidgetItem* entry = currentEntry();
    if (entry == nullptr || !isChannel(entryChannel(entry))) return -1;
    return entryChannel(entry);
}

void QMXHEditor_nD::enableChannelWidgets(bool enabled) {
    for (QWidget* widget : channelWidgets_) widget->setEnabled(enabled);
    ui_->_nd_refOrder->setEnabled(enabled);
}

void QMXHEditor_nD::fillForm() {
    if (configuration() == nullptr) return;
    QScopedValueRollback<bool> filling(filling_, true);
    QTreeWidget* tree = ui_->_nd_treeConfiguration;
    tree->clear();
    const int highlighted = std::min(configuration()->highlightedPortCount(), kPorts);
    for (int port = 0; port < highlighted; ++port)
        ui_->_nd_port->setItemData(port, QBrush(Qt::green), Qt::BackgroundRole);
    ui_->_nd_holdTime->setCurrentIndex(byte(kHoldTime));

    QTreeWidgetItem* lastGroup = nullptr;
    for (int position = 0; position < groupCount(); ++position) {
        const int group = groupAt(position);
        if (!isGroup(group)) continue;
        lastGroup = newEntry(nullptr, groupText(group), group, kGroupEntry);
        for (int j = 0; j < channelCount(group); ++j) {
            const int channel = channelAt(group, j);
            if (isChannel(channel)) newEntry(lastGroup, channelText(channel), group, channel);
        }
    }
    if (lastGroup != nullptr) {
        tree->setCurrentItem(lastGroup);
        ui_->_nd_groupSymbol->setEnabled(true);
    }
}

void QMXHEditor_nD::showChannel(QTreeWidgetItem* item) {
    if (configuration() == nullptr || item == nullptr) return;
    const int group = entryGroup(item);
    const int channel = entryChannel(item);
    if (!isGroup(group)) return;
    QScopedValueRollback<bool> filling(filling_, true);

    ui_->_nd_groupSymbol->setEnabled(true);
    ui_->_nd_groupSymbol->setCurrentIndex(byte(groupRecord(group) + kGroupSymbol));
    if (!isChannel(channel)) {
        item->setText(0, groupText(group));
        enableChannelWidgets(false);
        return;
    }
    if (item->parent() != nullptr) item->parent()->setText(0, groupText(group));
    item->setText(0, channelText(channel));
    enableChannelWidgets(true);
    ui_->_nd_channelBox->setTitle(channelText(channel));
    for (int row = 0; row < kChannelFieldCount; ++row) {
        const ChannelField& field = kChannelFields[row];
        const int value =
            (byte(channelRecord(channel) + field.offset) & field.mask) >> shiftOf(field.mask);
        if (auto* combo = qobject_cast<QComboBox*>(channelWidgets_[row]))
            combo->setCurrentIndex(value);
        else if (auto* check = qobject_cast<QCheckBox*>(channelWidgets_[row]))
            check->setChecked(value != 0);
    }
    showReferenceOrder(byte(channelRecord(channel) + kChannelPort));
}

void QMXHEditor_nD::showReferenceOrder(int port) {
    QScopedValueRollback<bool> filling(filling_, true);
    const bool onAPort = port >= 0 && port < kPorts;
    ui_->_nd_refOrder->setCurrentIndex(onAPort ? byte(kReferenceOrders + port) : -1);
}

bool QMXHEditor_nD::writeChannelField(QWidget* widget, int value) {
    if (filling_) return false;
    const int channel = currentChannel();
    const int row = static_cast<int>(channelWidgets_.indexOf(widget));
    if (channel < 0 || row < 0) return false;
    const ChannelField& field = kChannelFields[row];
    const int offset = channelRecord(channel) + field.offset;
    setByte(offset, (byte(offset) & ~field.mask) | ((value << shiftOf(field.mask)) & field.mask));
    return true;
}

QTreeWidgetItem* QMXHEditor_nD::addGroup() {
    if (configuration() == nullptr) return nullptr;
    const int count = groupCount();
    if (count >= kMaxGroups) return nullptr;
    std::bitset<256> used;
    for (int position = 0; position < count; ++position) used.set(groupAt(position));
    int group = 0;
    while (used.test(static_cast<size_t>(group))) ++group;

    setByte(kGroupCount, count + 1);
    setByte(kGroupOrder + count, group);
    setByte(groupRecord(group) + kGroupSymbol, count + 1);
    setByte(groupRecord(group) + kChannelCountAt, 0);

    QTreeWidgetItem* entry = newEntry(nullptr, groupText(group), group, kGroupEntry);
    ui_->_nd_groupSymbol->setEnabled(true);
    ui_->_nd_treeConfiguration->setCurrentItem(entry);
    showChannel(entry);
    return entry;
}

QTreeWidgetItem* QMXHEditor_nD::addChannel() {
    if (configuration() == nullptr) return nullptr;
    if (groupCount() == 0 && addGroup() == nullptr) return nullptr;
    QTreeWidgetItem* current = currentEntry();
    if (current == nullptr) return nullptr;
    const int group = entryGroup(current);
    const int count = channelCount(group);
    if (count >= kMaxChannelsPerGroup) return nullptr;

    std::bitset<256> used;
    for (int position = 0; position < groupCount(); ++position) {
        const int listed = groupAt(position);
        if (!isGroup(listed)) continue;
        for (int j = 0; j < channelCount(listed); ++j) used.set(channelAt(listed, j));
    }
    int channel = 0;
    while (used.test(static_cast<size_t>(channel))) ++channel;
    if (!isChannel(channel)) return nullptr;

    setByte(groupRecord(group) + kChannelCountAt, count + 1);
    setByte(groupRecord(group) + kChannelList + count, channel);
    setByte(channelRecord(channel) + kChannelSymbol, count + 1);
    for (int i = 0; i < kChannelRecordSize - 1; ++i)
        setByte(channelRecord(channel) + 1 + i, kNewChannel[i]);

    QTreeWidgetItem* groupEntry =
        entryChannel(current) == kGroupEntry ? current : current->parent();
    QTreeWidgetItem* entry = newEntry(groupEntry, channelText(channel), group, channel);
    groupEntry->setText(0, groupText(group));
    ui_->_nd_treeConfiguration->setCurrentItem(entry);
    showChannel(entry);
    return entry;
}

void QMXHEditor_nD::addGroups() { addGroup(); }

void QMXHEditor_nD::addChannels() { addChannel(); }

void QMXHEditor_nD::copyChannel() {
    if (filling_) return;
    const QTreeWidgetItem* current = currentEntry();
    if (current == nullptr) return;
    if (entryChannel(current) == kGroupEntry) {
        emit messageFromEditor(tr("You must select a channel which shall be copied."));
        return;
    }
    const int source = currentChannel();
    if (source < 0) return;
    uint8_t record[kChannelRecordSize];
    for (int i = 0; i < kChannelRecordSize; ++i) record[i] = byte(channelRecord(source) + i);
    QTreeWidgetItem* copy = addChannel();
    if (copy == nullptr) return;
    for (int i = 0; i < kChannelRecordSize; ++i)
        setByte(channelRecord(entryChannel(copy)) + i, record[i]);
    showChannel(copy);
}

// Without room for another group the copy is not made at all.
void QMXHEditor_nD::copyGroup() {
    if (filling_) return;
    const QTreeWidgetItem* current = currentEntry();
    if (current == nullptr || groupCount() >= kMaxGroups) return;
    const int source = entryGroup(current);
    QVector<int> channels;
    for (int j = 0; j < channelCount(source); ++j)
        if (isChannel(channelAt(source, j))) channels << channelAt(source, j);
    if (addGroup() == nullptr) return;
    for (int channel : channels) {
        uint8_t record[kChannelRecordSize];
        for (int i = 0; i < kChannelRecordSize; ++i) record[i] = byte(channelRecord(channel) + i);
        QTreeWidgetItem* copy = addChannel();
        if (copy == nullptr) return;
        for (int i = 0; i < kChannelRecordSize; ++i)
            setByte(channelRecord(entryChannel(copy)) + i, record[i]);
        showChannel(copy);
    }
}

void QMXHEditor_nD::on__nd_deleteButton_clicked() {
    QTreeWidgetItem* current = currentEntry();
    const int count = current != nullptr ? groupCount() : 0;
    if (count == 0) return;
    const int group = entryGroup(current);
    const int channel = entryChannel(current);

    if (channel == kGroupEntry) {
        int position = 0;
        while (position < count && groupAt(position) != group) ++position;
        if (position == count) return;
        for (; position + 1 < count; ++position)
            setByte(kGroupOrder + position, groupAt(position + 1));
        setByte(kGroupCount, count - 1);
        delete current;
        if (ui_->_nd_treeConfiguration->topLevelItemCount() == 0) {
            ui_->_nd_groupSymbol->setEnabled(false);
            enableChannelWidgets(false);
        }
        return;
    }

    const int channels = channelCount(group);
    int position = 0;
    while (position < channels && channelAt(group, position) != channel) ++position;
    if (position == channels) return;
    for (; position + 1 < channels; ++position)
        setByte(groupRecord(group) + kChannelList + position, channelAt(group, position + 1));
    setByte(groupRecord(group) + kChannelCountAt, channels - 1);
    delete current;
}

void QMXHEditor_nD::copyToSlot(int target) {
    if (configuration() == nullptr) return;
    const int source = ui_->_nd_slot->currentIndex();
    for (int i = 0; i < kSlotSize; ++i)
        configuration()->setByteAt(kSlotSize * target + i,
                                   configuration()->byteAt(kSlotSize * source + i));
}

void QMXHEditor_nD::copyToSlot0(bool) { copyToSlot(0); }
void QMXHEditor_nD::copyToSlot1(bool) { copyToSlot(1); }
void QMXHEditor_nD::copyToSlot2(bool) { copyToSlot(2); }

void QMXHEditor_nD::copyToSlotAll(bool) {
    for (int target = 0; target < kSlots; ++target)
        if (target != ui_->_nd_slot->currentIndex()) copyToSlot(target);
}

void QMXHEditor_nD::on__nd_slot_currentIndexChanged(int) {
    if (filling_) return;
    ui_->_nd_groupSymbol->setEnabled(false);
    enableChannelWidgets(false);
    fillForm();
}

void QMXHEditor_nD::on__nd_holdTime_currentIndexChanged(int index) {
    if (filling_ || configuration() == nullptr) return;
    setByte(kHoldTime, index);
}

void QMXHEditor_nD::on__nd_groupSymbol_currentIndexChanged(int index) {
    if (filling_) return;
    QTreeWidgetItem* current = currentEntry();
    if (current == nullptr) return;
    setByte(groupRecord(entryGroup(current)) + kGroupSymbol, index);
    showChannel(current);
}

void QMXHEditor_nD::on__nd_channelSymbol_currentIndexChanged(int index) {
    if (writeChannelField(ui_->_nd_channelSymbol, index)) showChannel(currentEntry());
}

void QMXHEditor_nD::on__nd_port_currentIndexChanged(int index) {
    if (writeChannelField(ui_->_nd_port, index)) showReferenceOrder(index);
}

void QMXHEditor_nD::on__nd_refOrder_currentIndexChanged(int index) {
    if (filling_) return;
    const int channel = currentChannel();
    if (channel < 0) return;
    const int port = byte(channelRecord(channel) + kChannelPort);
    if (port < kPorts) setByte(kReferenceOrders + port, index);
}

void QMXHEditor_nD::on__nd_knobMap_currentIndexChanged(int index) {
    writeChannelField(ui_->_nd_knobMap, index);
}
void QMXHEditor_nD::on__nd_knobInverted_toggled(bool on) {
    writeChannelField(ui_->_nd_knobInverted, on);
}
void QMXHEditor_nD::on__nd_joystickMap_currentIndexChanged(int index) {
    writeChannelField(ui_->_nd_joystickMap, index);
}
void QMXHEditor_nD::on__nd_joystickInverted_toggled(bool on) {
    writeChannelField(ui_->_nd_joystickInverted, on);
}
void QMXHEditor_nD::on__nd_controlMode_currentIndexChanged(int index) {
    writeChannelField(ui_->_nd_controlMode, index);
}
void QMXHEditor_nD::on__nd_speedLevel_currentIndexChanged(int index) {
    writeChannelField(ui_->_nd_speedLevel, index);
}
void QMXHEditor_nD::on__nd_steps_currentIndexChanged(int index) {
    writeChannelField(ui_->_nd_steps, index);
}
void QMXHEditor_nD::on__nd_amplitude_currentIndexChanged(int index) {
    writeChannelField(ui_->_nd_amplitude, index);
}
void QMXHEditor_nD::on__nd_frequency_currentIndexChanged(int index) {
    writeChannelField(ui_->_nd_frequency, index);
}
void QMXHEditor_nD::on__nd_voltageIncrement_currentIndexChanged(int index) {
    writeChannelField(ui_->_nd_voltageIncrement, index);
}
void QMXHEditor_nD::on__nd_closedLoopIncrement_currentIndexChanged(int index) {
    writeChannelField(ui_->_nd_closedLoopIncrement, index);
}
