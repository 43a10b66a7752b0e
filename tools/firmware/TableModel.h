#pragma once

#include <QAbstractTableModel>

namespace vxfw {
class UpdateSystem;
}

// The controllers of the connected system as a table: name, installed
// firmware, chosen candidate, update mark. Everything is read from and
// written to the update system; nothing is kept here.
class TableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kName = 0, kCurrent = 1, kAvailable = 2, kUpdate = 3, kColumns = 4 };

    explicit TableModel(vxfw::UpdateSystem& system, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // While true, a mark applies to every controller of the row's kind.
    void setApplyToType(bool applyToType);
    bool applyToType() const { return applyToType_; }

signals:
    // A mark changed, so whether anything is to be updated may have changed.
    void enableUpdateChanged();

private:
    QVariant display(int row, int column) const;

    vxfw::UpdateSystem& system_;
    bool applyToType_ = false;
};
