#include "IndexMapConfig.h"

#include <QComboBox>
#include <QHeaderView>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableWidget>

#include <vector>

#include "PageMessages.h"
#include "QMXConnection.h"
#include "QMXControl.h"
#include "XmlConfigFile.h"
#include "ui_QMXConfiguration.h"

namespace {

constexpr int kLibraryPage = 0;
constexpr int kFirmwarePage = 1;
constexpr int kTablePage = 2;
constexpr int kIndexColumn = 0;
constexpr int kChannelColumn = 1;

// The first library version that handles the index map: 2.0.21.
constexpr uint32_t kFirstIndexMapLibrary = (2u << 24) | (0u << 16) | 21u;

const QString kTitle = QStringLiteral("Index Map");

QString entryPath(uint32_t index) {
    return QStringLiteral("Index_Map_%1/Channel[%2]:index").arg(0).arg(index);
}

uint32_t askLibrary() {
    unsigned int version = 0;
    VX_GetDLLVersion(&version);
    return version;
}

}  // namespace

std::function<uint32_t()> IndexMapConfig::libraryVersion = askLibrary;

IndexMapConfig::IndexMapConfig(QObject* parent, Ui::QMXConfigurationClass* form)
    : QObject(parent), form_(form) {
    connect(form_->indexMapTable, &QTableWidget::cellChanged, this,
            &IndexMapConfig::indexMapTableCellChanged);
    if (libraryVersion() < kFirstIndexMapLibrary) {
        form_->indexMapStackedWidget->setCurrentIndex(kLibraryPage);
        form_->tabWidget->setTabEnabled(form_->tabWidget->indexOf(form_->indexMapTab), false);
    }
    setIdentity();
}

void IndexMapConfig::setIdentity() {
    for (uint32_t i = 0; i < kMaxChannels; ++i) map_[i] = i;
}

void IndexMapConfig::setModified(bool modified) {
    modified_ = modified;
    const int tab = form_->tabWidget->indexOf(form_->indexMapTab);
    form_->tabWidget->setTabText(tab, configpages::tabTitle(kTitle, modified));
}

void IndexMapConfig::markEdited() {
    if (!modified_) setModified(true);
    emit indexMapModified();
}

void IndexMapConfig::updateTable() {
    updating_ = true;
    QTableWidget* table = form_->indexMapTable;
    table->clear();
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels(
        {QStringLiteral("Channel\nIndex"), QStringLiteral("Physical\nChannel")});
    table->setRowCount(static_cast<int>(count_));
    table->verticalHeader()->hide();
    QStringList choices;
    for (uint32_t i = 0; i < count_; ++i) choices << QString::number(i);
    for (uint32_t i = 0; i < count_; ++i) {
        const int row = static_cast<int>(i);
        auto* item = new QTableWidgetItem(QString::number(i));
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table->setItem(row, kIndexColumn, item);
        auto* box = new QComboBox;
        box->addItems(choices);
        // An entry that is none of the choices shows no selection.
        box->setCurrentIndex(map_[i] < count_ ? static_cast<int>(map_[i]) : -1);
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &IndexMapConfig::comboBoxValueChanged);
        table->setCellWidget(row, kChannelColumn, box);
    }
    table->resizeColumnsToContents();
    table->resizeRowsToContents();
    updating_ = false;
}

void IndexMapConfig::comboBoxValueChanged(int value) {
    if (busy_) return;
    busy_ = true;
    QTableWidget* table = form_->indexMapTable;
    const auto boxOf = [table](int row) {
        return qobject_cast<QComboBox*>(table->cellWidget(row, kChannelColumn));
    };
    int changed = -1;
    int holder = -1;
    for (int row = 0; row < table->rowCount() && row < static_cast<int>(kMaxChannels); ++row) {
        QComboBox* box = boxOf(row);
        if (!box || box->currentIndex() != value) continue;
        if (map_[row] != static_cast<uint32_t>(value))
            changed = row;
        else
            holder = row;
    }
    if (changed < 0) changed = value;
    if (holder < 0) holder = value;
    if (changed >= 0 && changed < static_cast<int>(count_) && holder >= 0 &&
        holder < static_cast<int>(count_)) {
        const uint32_t old = map_[changed];
        map_[holder] = old;
        if (QComboBox* box = boxOf(holder)) box->setCurrentIndex(static_cast<int>(old));
        map_[changed] = static_cast<uint32_t>(value);
        markEdited();
    }
    busy_ = false;
}

void IndexMapConfig::indexMapTableCellChanged(int row, int column) {
    if (updating_ || row < 0 || row >= static_cast<int>(count_)) return;
    QTableWidget* table = form_->indexMapTable;
    QTableWidgetItem* item = table->item(row, column);
    if (!item) return;
    const auto putBack = [&] {
        updating_ = true;
        item->setText(QString::number(map_[row]));
        updating_ = false;
    };
    bool isNumber = false;
    const int number = item->text().toInt(&isNumber, 10);
    if (!isNumber) {
        putBack();
        form_->statusBar->showMessage(QStringLiteral("Invalid value!"), configpages::kNoticeMs);
        return;
    }
    if (static_cast<uint32_t>(number) >= count_) {
        putBack();
        return;
    }
    for (int other = 0; other < table->rowCount(); ++other) {
        QTableWidgetItem* otherItem = table->item(other, column);
        if (other == row || !otherItem || otherItem->text().toInt() != number) continue;
        map_[other] = map_[row];
        updating_ = true;
        otherItem->setText(QString::number(map_[other]));
        updating_ = false;
        break;
    }
    map_[row] = static_cast<uint32_t>(number);
    markEdited();
}

void IndexMapConfig::readFromController(QMXConnection* connection) {
    if (!form_->tabWidget->isTabEnabled(form_->tabWidget->indexOf(form_->indexMapTab))) return;
    uint32_t count = 0;
    // More channels than the map holds are refused like an unreadable count.
    if (connection->getNumberOfChannels(&count) != VX_OK || count > kMaxChannels) {
        form_->statusBar->showMessage(QStringLiteral("Could not read number of channels"),
                                      configpages::kNoticeMs);
        return;
    }
    count_ = count;
    for (uint32_t i = 0; i < count_; ++i) {
        uint8_t entry = 0;
        if (connection->readIndexFromIndexMap(static_cast<uint8_t>(i), &entry) != VX_OK) {
            form_->indexMapStackedWidget->setCurrentIndex(kFirmwarePage);
            return;
        }
        map_[i] = entry;
    }
    form_->indexMapStackedWidget->setCurrentIndex(kTablePage);
    updateTable();
}

bool IndexMapConfig::writeToController(QMXConnection* connection) {
    if (!modified_) return true;
    const QString failed = QStringLiteral("Error writing index map. Code: %1");
    for (uint32_t i = 0; i < count_; ++i) {
        const uint32_t status = connection->writeIndexToIndexMap(
            static_cast<uint8_t>(i), static_cast<uint8_t>(map_[i] & 0xFFu));
        if (status != VX_OK) {
            configpages::showError(failed, status);
            return false;
        }
    }
    if (const uint32_t status = connection->finalizeIndexMap(); status != VX_OK) {
        configpages::showError(failed, status);
        return false;
    }
    setModified(false);
    return true;
}

void IndexMapConfig::clear() {
    form_->indexMapTable->clear();
    form_->indexMapTable->setColumnCount(0);
    form_->indexMapTable->setRowCount(0);
    count_ = 0;
    setIdentity();
    setModified(false);
}

QString IndexMapConfig::readXML(const XmlConfigFile& store) {
    std::array<uint32_t, kMaxChannels> read = map_;
    std::vector<bool> seen(count_, false);
    for (uint32_t i = 0; i < count_; ++i) {
        const QString text = store.value(entryPath(i));
        if (!text.isEmpty()) {
            // A text that is no number reads as 0; a negative number wraps
            // to one far beyond any channel.
            bool isNumber = false;
            const int value = text.toInt(&isNumber, 10);
            read[i] = isNumber ? static_cast<uint32_t>(value) : 0;
        }
        if (read[i] >= count_ || seen[read[i]])
            return QStringLiteral("Invalid index map in XML file.");
        seen[read[i]] = true;
    }
    map_ = read;
    updateTable();
    markEdited();
    return {};
}

void IndexMapConfig::writeXML(XmlConfigFile& store) const {
    for (uint32_t i = 0; i < count_; ++i) store.setValue(entryPath(i), QString::number(map_[i]));
}
