#pragma once

#include <QString>
#include <QStringList>

class QComboBox;

// The value lists of the hand-control configuration. Each is stored in the
// image as the index of its chosen item; the texts are the combo box items
// in index order. Both editors take their items from here.
namespace hclists {

QStringList holdTimes();
// The symbol names: digits, small and capital letters, then Greek letters
// by name.
QStringList symbols();
QStringList controlModes();
QStringList steps();
QStringList amplitudes();
QStringList frequencies();
QStringList voltageIncrements();
QStringList closedLoopIncrements();

// One character for a symbol index, the Greek ones as their letters; empty
// outside the symbol list.
QString symbolGlyph(int index);

// The nD editor's own lists.
QStringList ndSlots();
QStringList knobs();
QStringList joysticks();
QStringList referenceOrders();
QStringList ports();
QStringList speedLevels();

// Replaces the items of `box` by `items`.
void setItems(QComboBox* box, const QStringList& items);

}  // namespace hclists
