#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

#include "ConfigurationFile.h"
#include "VXSlider.h"
#include "WindowFixture.h"

namespace {

using namespace terminaltest;
using TerminalRoad = WindowTest;

// The slider's own view of where its handle is.
class SliderProbe : public VXSlider {
public:
    static QPoint handleCentre(VXSlider& slider) {
        QStyleOptionSlider option;
        static_cast<SliderProbe&>(slider).initStyleOption(&option);
        return slider.style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider)
            .center();
    }
};

void mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// A data input that calls a button sends, for every step of its slider, the
// button's text with the input's value in it, over either port.
TEST_F(TerminalRoad, SliderMovesSendTheCalledButtonWithTheValue) {
    for (const int type : {SerialConnection, NetworkConnection}) {
        SCOPED_TRACE(type);
        action("action_New")->trigger();
        deleteRemoved();
        connectTo(type);
        addButton("Idle", "GNC");
        addButton("Set", "SST$(1),$0");
        addInput({"Type", 0, 3, 9, true, false, 0, true, 1});
        addInput({"Channel", 0, 2, 2, false, false, 0, false, 0});
        VXSlider* slider = inputs()[0]->findChild<VXSlider*>();
        ASSERT_NE(slider, nullptr);
        text.clearRecords();

        slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        slider->triggerAction(QAbstractSlider::SliderPageStepSub);
        // A drag of the handle to the slider's right end.
        window->show();
        const QPoint grip = SliderProbe::handleCentre(*slider);
        mouse(slider, QEvent::MouseButtonPress, grip, Qt::LeftButton);
        mouse(slider, QEvent::MouseMove, QPoint(slider->width() - 1, grip.y()), Qt::LeftButton);
        mouse(slider, QEvent::MouseButtonRelease, QPoint(slider->width() - 1, grip.y()),
              Qt::NoButton);
        window->hide();

        const std::vector<std::string> expected = {"SST2,4", "SST2,0", "SST2,9"};
        ASSERT_TRUE(text.waitForCommands(expected.size(), 5000ms)) << text.received();
        EXPECT_EQ(text.commandTexts(), expected);
        EXPECT_EQ(text.received(), ":SST2,4\n:SST2,0\n:SST2,9\n");
        connectButton()->click();
    }
}

// Loading inputs that call buttons sends nothing, whatever their limits do
// to their values; a call of a button that is not there does nothing.
TEST_F(TerminalRoad, LoadingSendsNothingAndMissingButtonsAreNotCalled) {
    TerminalConfiguration configuration;
    configuration.buttons = {{"A", "GNC"}, {"B", "GNC"}, {"C", "GNC"}};
    configuration.inputs = {
        {"Raised", 10, 0, 100, true, false, 0, true, 1},   // the minimum moves the value
        {"Lowered", 0, 50, 20, true, false, 0, true, 2},   // the maximum moves it
        {"Fifth", 0, 0, 10, true, false, 0, true, 5},      // only three buttons
    };
    ASSERT_TRUE(ConfigurationFile(QFileInfo(file("calls.xml"))).saveConfiguration(configuration));
    connectTo(NetworkConnection);
    text.clearRecords();
    dialogs.answerFile(file("calls.xml"));
    action("action_Open")->trigger();
    ASSERT_EQ(inputs().size(), 3);
    EXPECT_EQ(inputs()[0]->value(), 10);
    EXPECT_EQ(inputs()[1]->value(), 20);

    inputs()[2]->setValue(7);
    // What the controller gets next is the marker, and nothing before it.
    sendLine()->setText("GIV");
    QTest::keyClick(sendLine(), Qt::Key_Return);
    ASSERT_TRUE(text.waitForCommands(1, 5000ms));
    EXPECT_EQ(text.received(), ":GIV\n");
    // A call of an existing button does send.
    inputs()[1]->setValue(19);
    ASSERT_TRUE(text.waitForCommands(2, 5000ms));
    EXPECT_EQ(text.received(), ":GIV\n:GNC\n");
}

// Short-cut buttons send only while connected; copying fills the send line
// in either state, and a failed write says so.
TEST_F(TerminalRoad, ButtonsSendWhileConnectedAndCopyAlways) {
    addButton("Count", "GNC");
    ShortCutButton* button = buttons()[0];
    QAction* copy = nullptr;
    for (QAction* candidate : button->actions())
        if (candidate->text() == "Copy to 'Send'") copy = candidate;
    ASSERT_NE(copy, nullptr);

    button->click();
    copy->trigger();
    EXPECT_EQ(sendLine()->text(), "GNC");
    connectTo(NetworkConnection);
    text.clearRecords();
    sendLine()->clear();
    button->click();
    ASSERT_TRUE(text.waitForCommands(1, 5000ms));
    EXPECT_EQ(text.received(), ":GNC\n");
    EXPECT_TRUE(sendLine()->text().isEmpty());
    copy->trigger();
    EXPECT_EQ(sendLine()->text(), "GNC");

    // The controller goes away: the next write fails.
    server.closeAll();
    ASSERT_TRUE(server.waitOpenLinks(0, 5000ms));
    EXPECT_TRUE(waitFor([&] {
        button->click();
        return status() == "Ethernet write failed!";
    })) << status().toStdString();
}

}  // namespace
