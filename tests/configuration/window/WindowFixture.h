#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "QMXConfiguration.h"
#include "ScriptedDialogs.h"
#include "VeltraxIO.h"
#include "configuration/pages/PageFixture.h"
#include "platform/SerialPortSource.h"

namespace windowtest {

using namespace pagetest;

// The ports the tests offer: the window lists them after the library's
// systems.
inline const std::vector<std::string> kSerialPorts{"COM1", "COM3"};

// The user's settings are kept under these names.
inline const QString kOrganisation = QStringLiteral("Veltrax");
inline const QString kApplication = QStringLiteral("QMXConfigurationTool");

// Where the settings are stored: a temporary folder is the user's
// configuration folder (XDG_CONFIG_HOME) of the tests.
QString settingsFile();
// Sets both up, once, before the first window is made.
void prepareEnvironment();

// The I/O library keeps its USB list for a moment; a change must show at
// once.
inline void rescanUsb() {
    char list[4096];
    size_t length = sizeof list;
    VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan\n", list, &length);
}

template <class Widget>
Widget* child(QMXConfiguration& window, const char* name) {
    Widget* widget = window.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

inline QPushButton* button(QMXConfiguration& window, const char* name) {
    return child<QPushButton>(window, name);
}
inline QComboBox* locator(QMXConfiguration& window) { return child<QComboBox>(window, "locator"); }
inline QString status(QMXConfiguration& window) {
    return child<QStatusBar>(window, "statusBar")->currentMessage();
}

// The combo box of the index map's row `row`.
inline QComboBox* indexMapBox(QMXConfiguration& window, int row) {
    return qobject_cast<QComboBox*>(
        child<QTableWidget>(window, "indexMapTable")->cellWidget(row, 1));
}

// The connection bar and the configuration buttons: the names of those
// enabled, then the Connect button's text.
inline std::string bar(QMXConfiguration& window) {
    std::string text;
    for (const char* name : {"locator", "refreshButton", "connectButton", "readButton",
                             "writeButton", "readXMLButton", "writeXMLButton"}) {
        if (child<QWidget>(window, name)->isEnabled()) text += std::string(name) + ' ';
    }
    return text + "| " + button(window, "connectButton")->text().toStdString();
}

inline const std::string kDisconnectedBar = "locator refreshButton connectButton | Connect";
inline const std::string kConnectedBar =
    "connectButton readButton readXMLButton writeXMLButton | Disconnect";

// Three positioners with sensor types 1, 2 and 3, and a hand control module
// that holds the speed level table.
inline vxsim::SystemSetup threeChannelSystem() {
    vxsim::SystemSetup setup = vxsim::SystemSetup::standard(3, true);
    for (size_t i = 0; i < setup.channels.size(); ++i)
        setup.channels[i].sensorType = static_cast<uint8_t>(1 + i);
    return setup;
}

inline void connectTo(QMXConfiguration& window, const QString& system) {
    locator(window)->setEditText(system);
    button(window, "connectButton")->click();
}

// Every window test: no settings stored, the tests' serial ports, no box
// or file dialog shown. Prepared in the constructor, so that a fixture's
// own members may already make a window.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        prepareEnvironment();
        QSettings settings(kOrganisation, kApplication);
        settings.clear();
        settings.sync();
        rescanUsb();
    }

    vxplatform::ScopedSerialPorts ports{kSerialPorts};
    vxgui::ScriptedDialogs dialogs;
};

}  // namespace windowtest
