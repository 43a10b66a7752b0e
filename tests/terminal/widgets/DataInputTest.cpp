#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>

#include "DataInput.h"
#include "InputProperties.h"
#include "ScriptedDialogs.h"
#include "VXSlider.h"

namespace {

QSpinBox* spinBoxOf(DataInput& input) { return input.findChild<QSpinBox*>(); }
VXSlider* sliderOf(DataInput& input) { return input.findChild<VXSlider*>(); }

QAction* action(QWidget& widget, const QString& text) {
    for (QAction* candidate : widget.actions())
        if (candidate->text() == text) return candidate;
    return nullptr;
}

// An input as the window makes it: every property, the call flag last.
void configure(DataInput& input, int min, int max, int value, bool call, int button) {
    input.setName("Input");
    input.setMinValue(min);
    input.setMaxValue(max);
    input.setDefaultValue(value);
    input.setValue(value);
    input.setHasSlider(true);
    input.setShortCutToCall(button);
    input.setCallShortCut(call);
}

TEST(DataInputTest, NewInputAndItsName) {
    DataInput input;
    EXPECT_TRUE(input.name().isEmpty());
    EXPECT_FALSE(input.callShortCut());
    input.setName("Speed");
    EXPECT_EQ(spinBoxOf(input)->prefix(), "Speed: ");
    input.setValue(0);
    EXPECT_EQ(spinBoxOf(input)->text(), "Speed: 0");
}

TEST(DataInputTest, LoadingAnInputThatCallsAButtonAsksForNone) {
    DataInput input;
    QSignalSpy calls(&input, &DataInput::activateShortCut);
    // A minimum above 0 moves the value; the call flag is not yet set then.
    configure(input, 10, 100, 20, true, 1);
    EXPECT_EQ(input.value(), 20);
    EXPECT_EQ(calls.count(), 0);
    input.setValue(21);
    EXPECT_EQ(calls.count(), 1);
}

TEST(DataInputTest, SpinBoxAndSliderFollowEachOther) {
    DataInput input;
    configure(input, -10, 10, 0, false, 0);
    EXPECT_EQ(sliderOf(input)->minimum(), -10);
    EXPECT_EQ(sliderOf(input)->maximum(), 10);
    sliderOf(input)->setValue(7);
    EXPECT_EQ(input.value(), 7);
    input.setValue(-3);
    EXPECT_EQ(sliderOf(input)->value(), -3);
}

TEST(DataInputTest, EveryValueChangeAsksForTheButtonWhenCalling) {
    struct Row {
        bool call;
        int emitted;
    };
    for (const Row row : {Row{true, 2}, Row{false, 0}}) {
        DataInput input;
        configure(input, 0, 100, 50, row.call, 2);
        QSignalSpy calls(&input, &DataInput::activateShortCut);
        input.setValue(60);
        sliderOf(input)->setValue(70);
        input.setValue(70);  // no change, no call
        ASSERT_EQ(calls.count(), row.emitted);
        for (const QList<QVariant>& call : calls) EXPECT_EQ(call.at(0).toInt(), 2);
    }
}

TEST(DataInputTest, PropertiesApplyMinimumFirstAndCallFlagLast) {
    struct Row {
        const char* what;
        int min, max;
        int value, lowest, highest;
        int calls;  // each with the old button number, 4
    };
    const Row table[] = {
        {"maximum below the value lowers it", 0, 20, 20, 0, 20, 1},
        {"maximum below the minimum leaves both at the maximum", 60, 30, 30, 30, 30, 2},
        {"a range holding the value changes nothing", 0, 100, 50, 0, 100, 0},
        {"minimum above the value raises it", 55, 100, 55, 55, 100, 1},
    };
    for (const Row& row : table) {
        vxgui::ScriptedDialogs dialogs;
        DataInput input;
        configure(input, 0, 100, 50, true, 4);
        dialogs.answerDialog([&](QDialog& dialog) {
            auto& properties = dynamic_cast<InputProperties&>(dialog);
            EXPECT_EQ(properties.shortCutToCall(), 4);
            properties.setMinValue(row.min);
            properties.setMaxValue(row.max);
            properties.setCallShortCut(false);
            properties.setShortCutToCall(7);
            return int(QDialog::Accepted);
        });
        QSignalSpy calls(&input, &DataInput::activateShortCut);
        QSignalSpy changes(&input, &DataInput::propertiesChanged);
        input.editProperties();
        EXPECT_EQ(input.value(), row.value) << row.what;
        EXPECT_EQ(input.minValue(), row.lowest) << row.what;
        EXPECT_EQ(input.maxValue(), row.highest) << row.what;
        ASSERT_EQ(calls.count(), row.calls) << row.what;
        for (const QList<QVariant>& call : calls) EXPECT_EQ(call.at(0).toInt(), 4);
        EXPECT_FALSE(input.callShortCut());
        EXPECT_EQ(input.shortCutToCall(), 7);
        EXPECT_EQ(changes.count(), 1);
    }
}

TEST(DataInputTest, CancelledPropertiesChangeNothing) {
    vxgui::ScriptedDialogs dialogs;
    DataInput input;
    configure(input, 0, 100, 50, true, 4);
    dialogs.answerDialog([](QDialog& dialog) {
        dynamic_cast<InputProperties&>(dialog).setMaxValue(1);
        return int(QDialog::Rejected);
    });
    QSignalSpy calls(&input, &DataInput::activateShortCut);
    QSignalSpy changes(&input, &DataInput::propertiesChanged);
    input.editProperties();
    EXPECT_EQ(input.maxValue(), 100);
    EXPECT_EQ(calls.count(), 0);
    EXPECT_EQ(changes.count(), 0);
}

TEST(DataInputTest, UncheckedSliderIsHiddenAndReadBack) {
    vxgui::ScriptedDialogs dialogs;
    DataInput input;
    configure(input, 0, 100, 50, false, 0);
    input.show();
    EXPECT_TRUE(input.hasSlider());
    dialogs.answerDialog([](QDialog& dialog) {
        auto& properties = dynamic_cast<InputProperties&>(dialog);
        EXPECT_TRUE(properties.hasSlider());
        properties.setHasSlider(false);
        return int(QDialog::Accepted);
    });
    input.editProperties();
    EXPECT_FALSE(input.hasSlider());
    EXPECT_FALSE(sliderOf(input)->isVisible());
}

TEST(DataInputTest, RightClickOpensTheInputsMenu) {
    for (const bool onSlider : {false, true}) {
        DataInput input;
        configure(input, 0, 100, 50, false, 0);
        input.show();
        QWidget* target = onSlider ? static_cast<QWidget*>(sliderOf(input))
                                   : spinBoxOf(input)->findChild<QLineEdit*>();
        ASSERT_NE(target, nullptr);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2),
                                target->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(target, &click);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr) << onSlider;
        QStringList texts;
        for (QAction* entry : menu->actions()) texts << entry->text();
        EXPECT_EQ(texts, (QStringList{"Properties...", "Remove Input"})) << onSlider;
        menu->close();
    }
}

TEST(DataInputTest, RemoveAsksTheWindowWithoutForce) {
    DataInput input;
    QSignalSpy removals(&input, &DataInput::remove);
    action(input, "Remove Input")->trigger();
    ASSERT_EQ(removals.count(), 1);
    EXPECT_EQ(removals.at(0).at(0).value<DataInput*>(), &input);
    EXPECT_FALSE(removals.at(0).at(1).toBool());
}

TEST(InputPropertiesTest, FormatAndButtonNumberFollowTheirCheckBoxes) {
    InputProperties properties;
    EXPECT_EQ(properties.inputName(), "Test Input");
    EXPECT_EQ(properties.maxValue(), 100);
    EXPECT_EQ(properties.defaultValue(), 0);
    EXPECT_EQ(properties.minValue(), -100);
    EXPECT_TRUE(properties.hasSlider());
    EXPECT_EQ(properties.size(), QSize(272, 227));
    struct Row {
        const char* box;
        const char* field;
    };
    for (const Row row : {Row{"sendAsBinary", "binaryFormat"}, Row{"callShortCut", "shortCutToCall"}}) {
        auto* box = properties.findChild<QCheckBox*>(row.box);
        auto* field = properties.findChild<QWidget*>(row.field);
        ASSERT_TRUE(box && field) << row.box;
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(box->layoutDirection(), Qt::RightToLeft);
        EXPECT_FALSE(field->isEnabled()) << row.field;
        box->click();
        EXPECT_TRUE(field->isEnabled()) << row.field;
        box->click();
        EXPECT_FALSE(field->isEnabled()) << row.field;
    }
}

TEST(VXSliderTest, PositionsAreKeptOnTheSlider) {
    struct Row {
        QPoint in;
        QPoint out;
        bool moved;
    };
    const QSize size(100, 20);
    const Row table[] = {{{50, 10}, {50, 10}, false}, {{150, 10}, {99, 10}, true},
                         {{100, 10}, {99, 10}, true}, {{-5, 10}, {0, 10}, true},
                         {{50, 20}, {50, 19}, true},  {{0, -1}, {0, 0}, true}};
    for (const Row& row : table) {
        const VXSlider::Clamped clamped = VXSlider::clampInto(row.in, size);
        EXPECT_EQ(clamped.position, row.out);
        EXPECT_EQ(clamped.moved, row.moved);
    }
    EXPECT_EQ(VXSlider().orientation(), Qt::Horizontal);
}

}  // namespace
