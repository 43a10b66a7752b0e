#pragma once

#include <QStyledItemDelegate>

namespace vxfw {
class UpdateSystem;
}

// Edits the chosen firmware of a controller with a combo box of its
// candidates; the model offers an editor only where there is a choice.
class FirmwareDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit FirmwareDelegate(vxfw::UpdateSystem& system, QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

private:
    vxfw::UpdateSystem& system_;
};
