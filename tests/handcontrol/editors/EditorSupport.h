#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QSpinBox>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "QMXHConfiguration.h"

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace hctest {

using Image = std::vector<uint8_t>;
// Position → new value of every byte that differs.
using Changes = std::map<int, int>;

inline Image bytesOf(const QMXHConfiguration& configuration) {
    return Image(configuration.data(), configuration.data() + configuration.size());
}

inline Changes changesBetween(const Image& before, const Image& after) {
    Changes changes;
    for (size_t pos = 0; pos < before.size() && pos < after.size(); ++pos)
        if (before[pos] != after[pos]) changes[static_cast<int>(pos)] = after[pos];
    return changes;
}

// An image of `type` with every byte `fill`.
inline void makeImage(QMXHConfiguration& configuration, int type, uint8_t fill) {
    int size = 0;
    ASSERT_EQ(configuration.setType(type, size), 0);
    for (int pos = 0; pos < size; ++pos) configuration.setByteAt(pos, fill);
}

template <typename Widget>
Widget* child(QWidget& editor, const char* name) {
    auto* widget = editor.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// The value a field widget shows: a combo's index, a spin box's value, a
// check box's or checkable group's state.
inline int shownValue(QWidget* widget) {
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentIndex();
    if (auto* spin = qobject_cast<QSpinBox*>(widget)) return spin->value();
    if (auto* check = qobject_cast<QCheckBox*>(widget)) return check->isChecked();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->isChecked();
    ADD_FAILURE() << "no field widget: " << widget->objectName().toStdString();
    return -2;
}

inline void setShown(QWidget* widget, int value) {
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->setCurrentIndex(value);
    if (auto* spin = qobject_cast<QSpinBox*>(widget)) return spin->setValue(value);
    if (auto* check = qobject_cast<QCheckBox*>(widget)) return check->setChecked(value != 0);
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->setChecked(value != 0);
    ADD_FAILURE() << "no field widget: " << widget->objectName().toStdString();
}

}  // namespace hctest
