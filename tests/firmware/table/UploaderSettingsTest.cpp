#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <filesystem>
#include <optional>
#include <string>

#include "UploaderSettings.h"
#include "firmware/files/FilesTestSupport.h"
#include "firmware/table/SettingsHome.h"

namespace {

class UploaderSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fwtest::configHome();
        uploader::setApplicationIdentity();
        QSettings().clear();
    }
    void TearDown() override {
        QSettings().clear();
        QCoreApplication::setOrganizationName(QString());
        QCoreApplication::setOrganizationDomain(QString());
        QCoreApplication::setApplicationName(QString());
        QCoreApplication::setApplicationVersion(QString());
    }
    fwtest::TempDir dir;
};

TEST_F(UploaderSettingsTest, IdentityAndWindowSettingsFile) {
    EXPECT_EQ(QCoreApplication::organizationName(), "Veltrax");
    EXPECT_TRUE(QCoreApplication::organizationDomain().endsWith(".example"));
    EXPECT_EQ(QCoreApplication::applicationName(), "QMXFirmwareUploader");
    EXPECT_EQ(QCoreApplication::applicationVersion(), "v3.3.9");

    const uploader::WindowSettings none = uploader::loadWindowSettings();
    EXPECT_TRUE(none.geometry.isEmpty());
    EXPECT_TRUE(none.locator.isEmpty());

    uploader::saveWindowSettings({QByteArray("\x01\x02geometry", 10), "network:10.0.0.7:5000"});
    const QString file = QString::fromStdString(fwtest::configHome()) + "/Veltrax/QMXFirmwareUploader.conf";
    ASSERT_TRUE(QFile::exists(file));
    QSettings raw(file, QSettings::IniFormat);
    EXPECT_EQ(raw.value("SystemLocator").toString(), "network:10.0.0.7:5000");
    const uploader::WindowSettings back = uploader::loadWindowSettings();
    EXPECT_EQ(back.geometry, QByteArray("\x01\x02geometry", 10));
    EXPECT_EQ(back.locator, "network:10.0.0.7:5000");
}

TEST(UploaderLocator, OnlyNetworkLocatorsComeBack) {
    struct Case {
        const char* locator;
        bool restored;
    };
    const Case kCases[] = {{"network:192.168.1.200:5000", true}, {"network:sn:123", true},
                           {"usb:ix:0", false},  {"serial:COM9", false},
                           {"Network:1.2.3.4", false}, {"", false}};
    for (const Case& c : kCases) EXPECT_EQ(uploader::restoresLocator(c.locator), c.restored) << c.locator;
}

struct ConfigCase {
    const char* name;
    std::string text;  // empty: no file
    std::optional<QString> path;
};

TEST_F(UploaderSettingsTest, ConfigurationFileRules) {
    const std::string doctype = "<!DOCTYPE QMXFirmwareUploaderConfig>\n";
    const ConfigCase kCases[] = {
        {"no file", "", std::nullopt},
        {"document type counts, root name does not",
         doctype + "<Other><Firmware path=\"custom.xml\"/></Other>", QString("custom.xml")},
        {"no document type",
         "<QMXFirmwareUploaderConfig><Firmware path=\"a.xml\"/></QMXFirmwareUploaderConfig>", std::nullopt},
        {"other document type",
         "<!DOCTYPE Other>\n<QMXFirmwareUploaderConfig><Firmware path=\"a.xml\"/></QMXFirmwareUploaderConfig>",
         std::nullopt},
        {"first Firmware wins",
         doctype + "<R><X/><Firmware path=\"first.xml\"/><Firmware path=\"second.xml\"/></R>", QString("first.xml")},
        {"first Firmware without path", doctype + "<R><Firmware/><Firmware path=\"second.xml\"/></R>", std::nullopt},
        {"Firmware deeper down", doctype + "<R><G><Firmware path=\"deep.xml\"/></G></R>", std::nullopt},
        {"empty path", doctype + "<R><Firmware path=\"\"/></R>", QString("")},
        {"malformed", doctype + "<R><Firmware path=\"a.xml\"></R>", std::nullopt},
    };
    for (const ConfigCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir / "QMXFirmwareUploaderConfig.xml";
        std::filesystem::remove(file);
        if (!c.text.empty()) fwtest::writeFile(file, c.text);
        const std::optional<QString> path = uploader::configuredUpdateFile(QString::fromStdString(file));
        EXPECT_EQ(path.value_or("(none)"), c.path.value_or("(none)"));
    }
}

}  // namespace
