#include "FirmwareDelegate.h"

#include <QComboBox>
#include <string>
#include <vector>

#include "UpdateSystem.h"

FirmwareDelegate::FirmwareDelegate(vxfw::UpdateSystem& system, QObject* parent)
    : QStyledItemDelegate(parent), system_(system) {}

QWidget* FirmwareDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                        const QModelIndex& index) const {
    auto* combo = new QComboBox(parent);
    std::vector<std::string> candidates;
    if (system_.getAvailableFirmware(index.row(), candidates).empty()) {
        for (const std::string& version : candidates)
            combo->addItem(QString::fromLatin1(version.data(), static_cast<int>(version.size())));
        int32_t selected = -1;
        if (system_.getSelectedFirmware(index.row(), selected).empty())
            combo->setCurrentIndex(selected);
    }
    // The standard filter commits on Enter, Tab and loss of focus.
    combo->installEventFilter(const_cast<FirmwareDelegate*>(this));
    return combo;
}

void FirmwareDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        combo->setEditText(index.data(Qt::DisplayRole).toString());
}

void FirmwareDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        model->setData(index, combo->currentIndex(), Qt::EditRole);
}

void FirmwareDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex&) const {
    editor->setGeometry(option.rect);
}
