#include "TableModel.h"

#include <string>
#include <vector>

#include "UpdateSystem.h"

namespace {

const char* const kHeaders[TableModel::kColumns] = {"Controller", "Current firmware",
                                                    "Available firmware", "Update"};
const QString kNoFirmware = QStringLiteral("none");
// Marks a cell whose candidate can be changed.
const QString kMoreCandidates = QStringLiteral("   [...]");

QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

}  // namespace

TableModel::TableModel(vxfw::UpdateSystem& system, QObject* parent)
    : QAbstractTableModel(parent), system_(system) {}

// A cell has no children: a valid parent has neither rows nor columns.
int TableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    int32_t count = 0;
    if (!system_.getControllerCount(count).empty()) return 0;
    return count;
}

int TableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumns)
        return QVariant();
    return QString::fromLatin1(kHeaders[section]);
}

QVariant TableModel::display(int row, int column) const {
    std::string text;
    switch (column) {
    case kName:
        if (!system_.getControllerName(row, text).empty()) return QVariant();
        return latin1(text);
    case kCurrent:
        if (!system_.getCurrentFirmware(row, text).empty()) return QVariant();
        return latin1(text);
    case kAvailable: {
        std::vector<std::string> candidates;
        if (!system_.getAvailableFirmware(row, candidates).empty()) return QVariant();
        if (candidates.empty()) return kNoFirmware;
        int32_t selected = -1;
        if (!system_.getSelectedFirmware(row, selected).empty()) return QVariant();
        QString shown = selected >= 0 && static_cast<size_t>(selected) < candidates.size()
                            ? latin1(candidates[static_cast<size_t>(selected)])
                            : kNoFirmware;
        if (candidates.size() >= 2) shown += kMoreCandidates;
        return shown;
    }
    default:
        return QVariant();
    }
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return QVariant();
    if (role == Qt::DisplayRole) return display(index.row(), index.column());
    if (role == Qt::CheckStateRole && index.column() == kUpdate)
        return system_.getUpdateFlag(index.row()) ? Qt::Checked : Qt::Unchecked;
    return QVariant();
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const {
    // The root carries no flags: item views and model checkers expect that.
    if (!index.isValid()) return Qt::NoItemFlags;
    const Qt::ItemFlags standard = QAbstractTableModel::flags(index);
    if (index.column() != kAvailable && index.column() != kUpdate) return standard;
    std::vector<std::string> candidates;
    if (!system_.getAvailableFirmware(index.row(), candidates).empty()) return Qt::NoItemFlags;
    if (candidates.empty()) return index.column() == kUpdate ? Qt::NoItemFlags : standard;
    Qt::ItemFlags flags = standard | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled;
    if (index.column() == kAvailable && candidates.size() >= 2) flags |= Qt::ItemIsEditable;
    return flags;
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid()) return false;
    if (role == Qt::CheckStateRole) {
        if (!system_.setUpdateFlag(index.row(), applyToType_, value.toBool()).empty()) return false;
        // With a whole kind marked, any row's box may have changed.
        const int rows = rowCount();
        for (int row = 0; row < rows; ++row) {
            const QModelIndex cell = this->index(row, kUpdate);
            emit dataChanged(cell, cell);
        }
        emit enableUpdateChanged();
        return true;
    }
    if (role == Qt::EditRole && index.column() == kAvailable) {
        if (!system_.selectFirmware(index.row(), value.toInt()).empty()) return false;
        emit dataChanged(index, index);
        return true;
    }
    return false;
}

void TableModel::setApplyToType(bool applyToType) { applyToType_ = applyToType; }
