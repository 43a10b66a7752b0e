#include "SpeedLevelTableConfig.h"

#include <QAction>
#include <QHeaderView>
#include <QStringList>
#include <QTableWidgetItem>

#include "QMXControl.h"
#include "CsvFile.h"
#include "Dialogs.h"
#include "PageMessages.h"
#include "QMXConnection.h"
#include "ui_QMXConfiguration.h"

namespace {

using configpages::showError;

constexpr int kTablePage = 0;
constexpr int kNotSupportedPage = 1;

// The columns in order, with their titles and valid ranges.
struct Column {
    const char* title;
    int32_t SpeedLevelEntry::*field;
    int32_t minimum;
    int32_t maximum;
};
constexpr Column kColumns[] = {
    {"Steps", &SpeedLevelEntry::steps, 0, 29999},
    {"Amplitude", &SpeedLevelEntry::amplitude, 1, 4095},
    {"Frequency", &SpeedLevelEntry::frequency, 0, 18500},
};
constexpr int kColumnCount = 3;

constexpr SpeedLevelEntry kInsertedEntry{1, 4095, 1000};

const QString kTitle = QStringLiteral("Speed Level Table");
const QString kFileCaption = QStringLiteral("Select File");
const QString kFileDirectory = QStringLiteral(".");
const QString kFileFilter = QStringLiteral("CSV files (*.csv)");
const QString kFileError = QStringLiteral("Error reading file. Code: %1");
const QString kReadError = QStringLiteral("Error reading speed level table. Code: %1");
const QString kWriteError =
    QStringLiteral("Error writing speed level table. Code: %1\nThe system should be reset.");

bool inRange(const Column& column, int32_t value) {
    return value >= column.minimum && value <= column.maximum;
}

}  // namespace

SpeedLevelTableConfig::SpeedLevelTableConfig(QObject* parent, Ui::QMXConfigurationClass* form,
                                             QMXConnection* connection)
    : QObject(parent),
      form_(form),
      connection_(connection),
      insertBeforeAction_(new QAction(QStringLiteral("Insert row before this row"), this)),
      insertAfterAction_(new QAction(QStringLiteral("Insert row after this row"), this)),
      removeAction_(new QAction(QStringLiteral("Remove this row"), this)) {
    setActionsEnabled(false);
    QTableWidget* table = form_->speedLevelTable;
    table->addAction(insertBeforeAction_);
    table->addAction(insertAfterAction_);
    table->addAction(removeAction_);
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(table, &QTableWidget::cellClicked, this,
            &SpeedLevelTableConfig::speedLevelTable_cellClicked);
    connect(table, &QTableWidget::cellChanged, this,
            &SpeedLevelTableConfig::speedLevelTable_cellChanged);
    connect(insertBeforeAction_, &QAction::triggered, this,
            &SpeedLevelTableConfig::insertRowBefore);
    connect(insertAfterAction_, &QAction::triggered, this, &SpeedLevelTableConfig::insertRowAfter);
    connect(removeAction_, &QAction::triggered, this, &SpeedLevelTableConfig::removeThisRow);
    connect(form_->importSLTButton, &QPushButton::clicked, this,
            &SpeedLevelTableConfig::importSLTButton_clicked);
    connect(form_->exportSLTButton, &QPushButton::clicked, this,
            &SpeedLevelTableConfig::exportSLTButton_clicked);
}

void SpeedLevelTableConfig::setActionsEnabled(bool enabled) {
    for (QAction* action : {insertBeforeAction_, insertAfterAction_, removeAction_})
        action->setEnabled(enabled);
}

void SpeedLevelTableConfig::setModified(bool modified) {
    if (modified_ != modified) {
        modified_ = modified;
        const int tab = form_->tabWidget->indexOf(form_->speedLevelTableTab);
        form_->tabWidget->setTabText(tab, configpages::tabTitle(kTitle, modified));
    }
    if (modified) emit speedLevelTableModified();
}

void SpeedLevelTableConfig::updateTable() {
    updating_ = true;
    QTableWidget* table = form_->speedLevelTable;
    table->clear();
    table->setColumnCount(kColumnCount);
    QStringList titles;
    for (const Column& column : kColumns) titles.append(QString::fromLatin1(column.title));
    table->setHorizontalHeaderLabels(titles);
    table->setRowCount(count_);
    for (int row = 0; row < count_; ++row) {
        for (int c = 0; c < kColumnCount; ++c) {
            auto* item = new QTableWidgetItem(QString::number(entries_[row].*kColumns[c].field));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, c, item);
        }
    }
    table->resizeColumnsToContents();
    table->resizeRowsToContents();
    setActionsEnabled(false);
    updating_ = false;
}

void SpeedLevelTableConfig::speedLevelTable_cellClicked(int row, int column) {
    currentRow_ = row;
    currentColumn_ = column;
    form_->speedLevelTable->selectRow(row);
    insertBeforeAction_->setEnabled(count_ < kMaxEntries);
    insertAfterAction_->setEnabled(count_ < kMaxEntries);
    removeAction_->setEnabled(count_ > 1);
}

void SpeedLevelTableConfig::speedLevelTable_cellChanged(int row, int column) {
    if (updating_ || row < 0 || row >= count_ || column < 0 || column >= kColumnCount) return;
    QTableWidgetItem* item = form_->speedLevelTable->item(row, column);
    if (item == nullptr) return;
    const Column& range = kColumns[column];
    int32_t& stored = entries_[row].*range.field;
    bool isNumber = false;
    const int value = item->text().toInt(&isNumber, 10);
    // Putting the stored value back changes the cell again; that change is
    // the page's own.
    auto restore = [&] {
        updating_ = true;
        item->setText(QString::number(stored));
        updating_ = false;
    };
    if (!isNumber) {
        restore();
        form_->statusBar->showMessage(QStringLiteral("Invalid value!"), configpages::kNoticeMs);
        return;
    }
    if (!inRange(range, value)) {
        restore();
        form_->statusBar->showMessage(
            QStringLiteral("Valid range is %1..%2.").arg(range.minimum).arg(range.maximum),
            configpages::kRangeHintMs);
        return;
    }
    stored = value;
    setModified(true);
}

void SpeedLevelTableConfig::insertAt(int row) {
    if (count_ >= kMaxEntries || row < 0 || row > count_) return;
    for (int i = count_; i > row; --i) entries_[i] = entries_[i - 1];
    entries_[row] = kInsertedEntry;
    ++count_;
    changedByUser();
}

void SpeedLevelTableConfig::insertRowBefore() { insertAt(currentRow_); }

void SpeedLevelTableConfig::insertRowAfter() { insertAt(currentRow_ + 1); }

void SpeedLevelTableConfig::removeThisRow() {
    if (count_ <= 1 || currentRow_ < 0 || currentRow_ >= count_) return;
    for (int i = currentRow_; i + 1 < count_; ++i) entries_[i] = entries_[i + 1];
    --count_;
    changedByUser();
}

void SpeedLevelTableConfig::changedByUser() {
    updateTable();
    setModified(true);
}

void SpeedLevelTableConfig::readFromController(QMXConnection*) {
    uint32_t size = 0;
    const uint32_t status = connection_->readSpeedLevelTableSize(&size);
    if (status == VX_TIMEOUT) {
        form_->speedLevelTableStackedWidget->setCurrentIndex(kNotSupportedPage);
        count_ = 0;
        setActionsEnabled(false);
        setModified(false);
        return;
    }
    if (status != VX_OK) {
        showError(kReadError, status);
        return;
    }
    form_->speedLevelTableStackedWidget->setCurrentIndex(kTablePage);
    std::array<SpeedLevelEntry, kMaxEntries> read{};
    // The connection refuses an index beyond the table (9), so a reported
    // size above 32 ends the read before anything is stored.
    for (uint32_t index = 0; index < size; ++index) {
        uint32_t steps = 0, amplitude = 0, frequency = 0;
        const uint32_t entryStatus =
            connection_->readSpeedLevelTableEntry(index, &steps, &amplitude, &frequency);
        if (entryStatus != VX_OK) {
            showError(kReadError, entryStatus);
            return;
        }
        read[index] = {static_cast<int32_t>(steps), static_cast<int32_t>(amplitude),
                       static_cast<int32_t>(frequency)};
    }
    count_ = static_cast<int>(size);
    entries_ = read;
    updateTable();
    setModified(false);
    form_->importSLTButton->setEnabled(true);
    form_->exportSLTButton->setEnabled(true);
}

bool SpeedLevelTableConfig::writeToController(QMXConnection*) {
    if (!modified_) return true;
    if (const uint32_t status = connection_->writeSpeedLevelTableSize(count_)) {
        showError(kWriteError, status);
        return false;
    }
    for (int index = 0; index < count_; ++index) {
        const SpeedLevelEntry& entry = entries_[index];
        const uint32_t status = connection_->writeSpeedLevelTableEntry(
            static_cast<uint32_t>(index), static_cast<uint32_t>(entry.steps),
            static_cast<uint32_t>(entry.amplitude), static_cast<uint32_t>(entry.frequency));
        if (status != VX_OK) {
            showError(QStringLiteral("Error writing speed level entry %1. Code: %2\n"
                                     "The system should be reset.")
                          .arg(index)
                          .arg(status));
            return false;
        }
    }
    if (const uint32_t status = connection_->writeSpeedLevelTableToEEPROM()) {
        showError(kWriteError, status);
        return false;
    }
    setModified(false);
    return true;
}

void SpeedLevelTableConfig::clear() {
    updating_ = true;
    form_->speedLevelTable->clear();
    form_->speedLevelTable->setRowCount(0);
    form_->speedLevelTable->setColumnCount(0);
    updating_ = false;
    form_->speedLevelTableStackedWidget->setCurrentIndex(kTablePage);
    form_->importSLTButton->setEnabled(false);
    form_->exportSLTButton->setEnabled(false);
    setModified(false);
}

void SpeedLevelTableConfig::importSLTButton_clicked() {
    const QString name = vxgui::openFileName(nullptr, kFileCaption, kFileDirectory, kFileFilter);
    if (name.isEmpty()) return;
    CsvFile file;
    if (const int result = file.read(name)) {
        showError(kFileError.arg(result));
        form_->statusBar->showMessage(QString());
        return;
    }
    if (file.columnCount() != kColumnCount || file.rowCount() > kMaxEntries) {
        showError(QStringLiteral("Error reading file. Wrong file format."));
        form_->statusBar->showMessage(QString());
        return;
    }
    std::array<SpeedLevelEntry, kMaxEntries> imported{};
    for (int row = 0; row < file.rowCount(); ++row) {
        for (int c = 0; c < kColumnCount; ++c) {
            const int value = file.cell(row, c);
            if (!inRange(kColumns[c], value)) {
                showError(QStringLiteral("Error reading file. Invalid value range."));
                form_->statusBar->showMessage(QString());
                return;
            }
            imported[row].*kColumns[c].field = value;
        }
    }
    entries_ = imported;
    count_ = file.rowCount();
    updateTable();
    setModified(true);
    form_->statusBar->showMessage(QStringLiteral("Successfully read speed level table file."));
}

void SpeedLevelTableConfig::exportSLTButton_clicked() {
    QString name = vxgui::saveFileName(nullptr, kFileCaption, kFileDirectory, kFileFilter);
    if (name.isEmpty()) return;
    if (!name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) name += QLatin1String(".csv");
    CsvFile file;
    for (int row = 0; row < count_; ++row)
        for (int c = 0; c < kColumnCount; ++c)
            file.setCell(row, c, entries_[row].*kColumns[c].field);
    if (const int result = file.write(name)) {
        showError(kFileError.arg(result));
        form_->statusBar->showMessage(QString());
        return;
    }
    form_->statusBar->showMessage(QStringLiteral("Successfully wrote speed level table file."));
}
