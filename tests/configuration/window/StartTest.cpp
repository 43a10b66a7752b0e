#include <gtest/gtest.h>

#include <QFile>
#include <QSpinBox>

#include "WindowFixture.h"
#include "sim/Gen1Simulator.h"

namespace {

using namespace windowtest;

QStringList items(QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

TEST_F(WindowTest, StartsCentredWithTheSystemsFoundAndOnlyAStoredNetworkLocator) {
    vxsim::Gen1Simulator usb(vxsim::SystemSetup::standard(2, false));
    usb.attachUsb({"VX101", "Veltrax QMX-I", 101});
    rescanUsb();
    const QStringList found{"usb:id:101", "serial:COM1", "serial:COM3"};
    struct Case {
        const char* stored;  // null: no settings
        const char* shown;
    };
    const Case cases[] = {
        {nullptr, "usb:id:101"},
        {"network:192.168.1.200:5000", "network:192.168.1.200:5000"},
        {"usb:id:12345678", "usb:id:101"},
        {"serial:COM9", "usb:id:101"},
        {"NETWORK:192.168.1.200:5000", "usb:id:101"},
    };
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "no settings");
        {
            QSettings settings(kOrganisation, kApplication);
            settings.clear();
            if (c.stored) settings.setValue("SystemLocator", QString::fromLatin1(c.stored));
        }
        QMXConfiguration window;
        EXPECT_EQ(window.windowTitle(), "QMX Configuration Tool 1.7.10");
        EXPECT_EQ(window.pos(), QPoint(screen.width() / 2 - window.width() / 2,
                                       screen.height() / 2 - window.height() / 2));
        EXPECT_EQ(items(locator(window)), found);
        EXPECT_EQ(locator(window)->currentText(), QString::fromLatin1(c.shown));
        EXPECT_EQ(status(window), "Ready.");
        EXPECT_EQ(bar(window), kDisconnectedBar);
        EXPECT_FALSE(child<QSpinBox>(window, "closedLoopMaxFrequency")->isEnabled());
        EXPECT_TRUE(dialogs.boxes().empty());
    }
}

TEST_F(WindowTest, RefreshListsTheSystemsAgainAndKeepsATypedLocator) {
    QMXConfiguration window;
    EXPECT_EQ(items(locator(window)), (QStringList{"serial:COM1", "serial:COM3"}));

    vxsim::Gen1Simulator usb(vxsim::SystemSetup::standard(2, false));
    usb.attachUsb({"VX102", "Veltrax QMX-I", 102});
    rescanUsb();
    locator(window)->setEditText("network:192.0.2.2:5000");
    button(window, "refreshButton")->click();
    EXPECT_EQ(items(locator(window)), (QStringList{"usb:id:102", "serial:COM1", "serial:COM3"}));
    EXPECT_EQ(locator(window)->currentText(), "network:192.0.2.2:5000");
}

TEST_F(WindowTest, AFailedConnectShowsTheStatusForTwoSecondsAndChangesNothing) {
    struct Case {
        const char* locator;
        uint32_t status;
    };
    const Case cases[] = {
        {"network:127.0.0.1:1", 1},  // refused on loopback, both ways
        {"network:nohost", 21},      // no address for the direct way
        {"serial:", 1},              // no port of that name
    };
    QMXConfiguration window;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locator);
        connectTo(window, QString::fromLatin1(c.locator));
        EXPECT_EQ(status(window), QStringLiteral("Connect failed! Error %1").arg(c.status));
        EXPECT_EQ(messageTimeout(child<QStatusBar>(window, "statusBar")), 2000);
        EXPECT_EQ(bar(window), kDisconnectedBar);
        EXPECT_EQ(locator(window)->currentText(), QString::fromLatin1(c.locator));
        EXPECT_TRUE(dialogs.boxes().empty());
    }
}

TEST_F(WindowTest, ClosingStoresTheSettingsThatTheNextWindowRestores) {
    Controller controller(threeChannelSystem());
    struct Case {
        QString locator;
        bool restored;
    };
    const Case cases[] = {
        {controller.libraryLocator(), true},
        {controller.directLocator(), false},  // "NETWORK:" is not "network:"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locator.toStdString());
        const auto connections = [&] {
            return controller.binaryServer.openLinks() + controller.textServer.openLinks();
        };
        const size_t idle = connections();
        QByteArray geometry;
        {
            QMXConfiguration window;
            window.show();
            window.setGeometry(40, 60, 900, 760);
            connectTo(window, c.locator);
            ASSERT_EQ(status(window), "Connected.");
            EXPECT_EQ(connections(), idle + 1);
            geometry = window.saveGeometry();
            window.close();
            EXPECT_TRUE(waitFor([&] { return connections() == idle; }));
        }
        EXPECT_TRUE(QFile::exists(settingsFile()));
        {
            QSettings settings(kOrganisation, kApplication);
            EXPECT_EQ(settings.value("SystemLocator").toString(), c.locator);
            EXPECT_EQ(settings.value("WindowGeometry").toByteArray(), geometry);
            EXPECT_TRUE(settings.contains("WindowState"));
        }
        QMXConfiguration next;
        next.show();
        EXPECT_EQ(next.geometry(), QRect(40, 60, 900, 760));
        EXPECT_EQ(locator(next)->currentText(),
                  c.restored ? c.locator : QStringLiteral("serial:COM1"));
        EXPECT_EQ(bar(next), kDisconnectedBar);
    }
}

}  // namespace
