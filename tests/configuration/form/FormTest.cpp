#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextDocument>
#include <QTextEdit>

#include <string>
#include <vector>

#include "configuration/pages/PageFixture.h"

namespace {

using pagetest::Form;

constexpr const char* kResources = ":/qmxconfiguration/Resources/GuiResources/";

QString textOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
    return QString();
}

TEST(Form, WidgetsByNameWithTheirTexts) {
    Form form;
    struct Case {
        const char* name;
        const char* type;
        const char* text;
    };
    const Case cases[] = {
        {"centralWidget", "QWidget", ""},
        {"groupBox", "QGroupBox", "Connection"},
        {"label_7", "QLabel", "Select QMX:"},
        {"locator", "QComboBox", ""},
        {"refreshButton", "QPushButton", "Refresh List"},
        {"connectButton", "QPushButton", "Connect"},
        {"groupBox_2", "QGroupBox", "Configuration"},
        {"readButton", "QPushButton", "Read"},
        {"writeButton", "QPushButton", "Write"},
        {"readXMLButton", "QPushButton", "Read XML"},
        {"writeXMLButton", "QPushButton", "Write XML"},
        {"tabWidget", "QTabWidget", ""},
        {"statusBar", "QStatusBar", ""},
        {"selectChannelGroup", "QGroupBox", "Select Channel"},
        {"label_2", "QLabel", "Channel:"},
        {"channelIndex", "QComboBox", ""},
        {"label_3", "QLabel", "Test:"},
        {"moveBackwardButton", "QPushButton", "Move Backward"},
        {"moveForwardButton", "QPushButton", "Move Forward"},
        {"configureSensorTypeGroup", "QGroupBox", "Configure Sensor Type"},
        {"label_4", "QLabel", "Sensor Type:"},
        {"sensorType", "QComboBox", ""},
        {"calibrateGroup", "QGroupBox", "Calibrate"},
        {"calibrateButton", "QPushButton", "Calibrate"},
        {"detectDistCodeInvButton", "QPushButton", "Auto Detect Dist-Code Inversion"},
        {"findRefButton", "QPushButton", "Find Ref."},
        {"label_5", "QLabel", "Direction:"},
        {"safeDirection", "QComboBox", ""},
        {"autoZero", "QCheckBox", "Auto Zero"},
        {"setCLFButton", "QPushButton", "Set Max CLF"},
        {"label", "QLabel", "Max CLF:"},
        {"closedLoopMaxFrequency", "QSpinBox", ""},
        {"stopButton", "QPushButton", "Stop"},
        {"closedLoopTestGroup", "QGroupBox", "Closed-loop test"},
        {"clTestIncrement", "QSpinBox", ""},
        {"clTestBackwardButton", "QPushButton", "Backward"},
        {"clTestForwardButton", "QPushButton", "Forward"},
        {"speedLevelTableStackedWidget", "QStackedWidget", ""},
        {"page", "QWidget", ""},
        {"importSLTButton", "QPushButton", "Import..."},
        {"exportSLTButton", "QPushButton", "Export..."},
        {"speedLevelTable", "QTableWidget", ""},
        {"page_2", "QWidget", ""},
        {"label_8", "QLabel", "Speed Level Table\nconfiguration not supported."},
        {"baudRateStackedWidget", "QStackedWidget", ""},
        {"page_3", "QWidget", ""},
        {"label_10", "QLabel", "Baud Rate:"},
        {"baudRate", "QSpinBox", ""},
        {"page_4", "QWidget", ""},
        {"label_9", "QLabel", "Baud rate configuration\nnot supported for this device."},
        {"indexMapStackedWidget", "QStackedWidget", ""},
        {"page_5", "QWidget", ""},
        {"indexMapLabelDLL", "QLabel", "Index Map configuration\n not supported by library"},
        {"page_6", "QWidget", ""},
        {"indexMapLabelTimeout", "QLabel", "Index Map not supported\nby Firmware"},
        {"page_7", "QWidget", ""},
        {"indexMapTable", "QTableWidget", ""},
        {"teVersion", "QTextEdit", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QList<QWidget*> found = form.window.findChildren<QWidget*>(c.name);
        ASSERT_EQ(found.size(), 1);
        EXPECT_STREQ(found[0]->metaObject()->className(), c.type);
        EXPECT_EQ(textOf(found[0]), c.text);
    }
    for (QLabel* centred : {form.ui.label_8, form.ui.label_9, form.ui.indexMapLabelDLL,
                            form.ui.indexMapLabelTimeout})
        EXPECT_EQ(centred->alignment(), Qt::AlignCenter);
    EXPECT_TRUE(form.ui.label_5->alignment() & Qt::AlignRight);

    EXPECT_EQ(form.window.objectName(), "QMXConfigurationClass");
    EXPECT_EQ(form.window.windowTitle(), "QMXConfiguration");
    EXPECT_EQ(form.window.size(), QSize(834, 674));
    EXPECT_EQ(form.window.centralWidget(), form.ui.centralWidget);
    EXPECT_EQ(form.window.statusBar(), form.ui.statusBar);

    // Tabs in order, with their pages and titles.
    const std::vector<std::pair<QWidget*, const char*>> tabs = {
        {form.ui.sensorTypesTab, "Sensor Types"},
        {form.ui.speedLevelTableTab, "Speed Level Table"},
        {form.ui.baudRateTab, "Baud Rate"},
        {form.ui.systemParametersTab, "System Parameters"},
        {form.ui.indexMapTab, "Index Map"},
        {form.ui.versionTab, "Version"},
    };
    ASSERT_EQ(form.ui.tabWidget->count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(form.ui.tabWidget->widget(i), tabs[i].first);
        EXPECT_EQ(form.ui.tabWidget->tabText(i), tabs[i].second);
    }
    EXPECT_TRUE(form.ui.systemParametersTab->children().isEmpty()) << "filled by its page";

    // The locator's tooltip: four lines of rich text.
    QTextDocument tooltip;
    tooltip.setHtml(form.ui.locator->toolTip());
    EXPECT_EQ(tooltip.toPlainText(),
              "Select a controller from the list or enter a locator string directly. "
              "Examples:\nUSB: \"usb:id:12345678\"\nSerial: \"serial:COM9\"\n"
              "Net: \"network:192.168.1.200:5000\"");
    QTextDocument note;
    note.setHtml(form.ui.label_6->text());
    EXPECT_EQ(note.toPlainText(), "Note: Changes here take\nimmediate effect.");
    EXPECT_EQ(form.ui.label_6->textFormat(), Qt::RichText);
}

TEST(Form, StartStates) {
    Form form;
    const Ui::QMXConfigurationClass& f = form.ui;
    for (QWidget* disabled : std::initializer_list<QWidget*>{
             f.readButton, f.writeButton, f.readXMLButton, f.writeXMLButton,
             f.selectChannelGroup, f.configureSensorTypeGroup, f.calibrateGroup,
             f.closedLoopTestGroup, f.closedLoopMaxFrequency, f.importSLTButton,
             f.exportSLTButton, f.baudRate})
        EXPECT_FALSE(disabled->isEnabledTo(&form.window)) << disabled->objectName().toStdString();
    for (QWidget* enabled : std::initializer_list<QWidget*>{
             f.locator, f.refreshButton, f.connectButton, f.tabWidget, f.calibrateButton,
             f.findRefButton, f.detectDistCodeInvButton, f.stopButton})
        EXPECT_TRUE(enabled->isEnabledTo(enabled->parentWidget()))
            << enabled->objectName().toStdString();

    EXPECT_EQ(f.tabWidget->currentIndex(), 0);
    EXPECT_EQ(f.speedLevelTableStackedWidget->currentWidget(), f.page_2);
    EXPECT_EQ(f.speedLevelTableStackedWidget->widget(0), f.page);
    EXPECT_EQ(f.baudRateStackedWidget->currentWidget(), f.page_4);
    EXPECT_EQ(f.baudRateStackedWidget->widget(0), f.page_3);
    EXPECT_EQ(f.indexMapStackedWidget->currentWidget(), f.page_7);
    EXPECT_EQ(f.indexMapStackedWidget->widget(0), f.page_5);
    EXPECT_EQ(f.indexMapStackedWidget->widget(1), f.page_6);

    EXPECT_TRUE(f.locator->isEditable());
    EXPECT_TRUE(f.locator->acceptDrops());
    EXPECT_EQ(f.locator->minimumWidth(), 120);
    EXPECT_EQ(f.connectButton->minimumWidth(), 90);
    EXPECT_EQ(f.sensorType->count(), 1);
    EXPECT_EQ(f.sensorType->itemText(0), "None");
    EXPECT_EQ(f.sensorType->minimumWidth(), 60);
    ASSERT_EQ(f.safeDirection->count(), 2);
    EXPECT_EQ(f.safeDirection->itemText(0), "Forward");
    EXPECT_EQ(f.safeDirection->itemText(1), "Backward");
    EXPECT_EQ(f.safeDirection->minimumWidth(), 75);
    EXPECT_FALSE(f.autoZero->isChecked());

    struct Spin {
        QSpinBox* box;
        int minimum, maximum, value, minimumWidth;
        const char* prefix;
    };
    const Spin spins[] = {
        {f.closedLoopMaxFrequency, 0, 100000000, 5000, 80, ""},
        {f.clTestIncrement, 0, 359999999, 1000000, 0, "Inc: "},
        {f.baudRate, 9600, 115200, 9600, 80, ""},
    };
    for (const Spin& s : spins) {
        SCOPED_TRACE(s.box->objectName().toStdString());
        EXPECT_EQ(s.box->minimum(), s.minimum);
        EXPECT_EQ(s.box->maximum(), s.maximum);
        EXPECT_EQ(s.box->value(), s.value);
        EXPECT_EQ(s.box->singleStep(), 1);
        EXPECT_EQ(s.box->minimumWidth(), s.minimumWidth);
        EXPECT_EQ(s.box->prefix(), s.prefix);
    }

    EXPECT_TRUE(f.speedLevelTable->alternatingRowColors());
    EXPECT_EQ(f.speedLevelTable->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(f.indexMapTable->alternatingRowColors());
    EXPECT_EQ(f.indexMapTable->selectionMode(), QAbstractItemView::NoSelection);
    EXPECT_TRUE(f.teVersion->isReadOnly());
    EXPECT_EQ(f.teVersion->textInteractionFlags(),
              Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

TEST(Form, FocusOrder) {
    Form form;
    const Ui::QMXConfigurationClass& f = form.ui;
    const std::vector<QWidget*> order = {
        f.readButton,    f.writeButton,     f.tabWidget,     f.channelIndex, f.moveBackwardButton,
        f.moveForwardButton, f.sensorType,  f.calibrateButton, f.findRefButton, f.safeDirection,
        f.autoZero,      f.stopButton,      f.speedLevelTable};
    // Each listed widget leads straight to the next one: on the way only its
    // own parts (a tab widget's bar and pages).
    for (size_t i = 0; i + 1 < order.size(); ++i) {
        SCOPED_TRACE(order[i]->objectName().toStdString());
        QWidget* next = order[i]->nextInFocusChain();
        while (next != order[i + 1] && order[i]->isAncestorOf(next))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << next->objectName().toStdString();
    }
}

TEST(Form, ImagesLoadFromTheirResourcePaths) {
    Form form;
    const char* images[] = {
        "CorporateDesign/DefaultAppIcon.ico", "Icons/Arrow/Green/CycleGreen.png",
        "Icons/LED/Flat/RoundNeutralOff.png", "Icons/LED/Flat/RoundGreenOn.png",
        "Icons/Misc/Magnifier.png",           "Icons/Misc/Lightning.png",
        "Icons/Misc/Import.png",              "Icons/Misc/Export.png",
    };
    for (const char* image : images) {
        SCOPED_TRACE(image);
        EXPECT_FALSE(QImage(QString(kResources) + image).isNull());
    }
    EXPECT_FALSE(form.window.windowIcon().isNull());
    const Ui::QMXConfigurationClass& f = form.ui;
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             f.refreshButton, f.connectButton, f.readButton, f.writeButton, f.readXMLButton,
             f.writeXMLButton, f.importSLTButton, f.exportSLTButton})
        EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
    // The Connect button's LED: neutral when off, green when on.
    const QIcon led = f.connectButton->icon();
    const QImage off = led.pixmap(16, QIcon::Normal, QIcon::Off).toImage();
    const QImage on = led.pixmap(16, QIcon::Normal, QIcon::On).toImage();
    EXPECT_EQ(off, QImage(QString(kResources) + "Icons/LED/Flat/RoundNeutralOff.png")
                       .convertToFormat(off.format()));
    EXPECT_EQ(on, QImage(QString(kResources) + "Icons/LED/Flat/RoundGreenOn.png")
                      .convertToFormat(on.format()));
}

// The window's button slots bind by the buttons' object names.
class Window : public QMainWindow {
    Q_OBJECT

public:
    std::vector<std::string> clicked;

public slots:
    void on_connectButton_clicked() { clicked.push_back("connect"); }
    void on_readButton_clicked() { clicked.push_back("read"); }
    void on_writeButton_clicked() { clicked.push_back("write"); }
    void on_refreshButton_clicked() { clicked.push_back("refresh"); }
    void on_writeXMLButton_clicked() { clicked.push_back("writeXML"); }
    void on_readXMLButton_clicked() { clicked.push_back("readXML"); }
};

TEST(Form, ConnectByNameBindsTheWindowsButtonSlots) {
    initConfigurationResources();
    Window window;
    Ui::QMXConfigurationClass form;
    form.setupUi(&window);
    for (QPushButton* button : {form.connectButton, form.readButton, form.writeButton,
                                form.refreshButton, form.writeXMLButton, form.readXMLButton}) {
        button->setEnabled(true);
        button->click();
    }
    EXPECT_EQ(window.clicked, (std::vector<std::string>{"connect", "read", "write", "refresh",
                                                        "writeXML", "readXML"}));
}

}  // namespace

#include "FormTest.moc"
