#include "ApplicationSettingsFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <functional>

#include "ScriptedDialogs.h"
#include "terminal/files/FileSupport.h"

namespace {

using filetest::canonical;
using filetest::errorBoxTexts;
using filetest::readAll;
using filetest::writeAll;

const char* const kDefaultText = R"(<!DOCTYPE TextdeskApplicationSettings>
<TextdeskApplicationSettings version="2.0">
 <QuickLoadSlots>
  <Slot file=""/>
  <Slot file=""/>
  <Slot file=""/>
  <Slot file=""/>
  <Slot file=""/>
  <Slot file=""/>
  <Slot file=""/>
  <Slot file=""/>
 </QuickLoadSlots>
 <PortConfiguration>
  <ConnctionType connection="0"/>
 </PortConfiguration>
 <SerialOptions>
  <BaudRates>
   <Entry rate="9600"/>
   <Entry rate="14400"/>
   <Entry rate="19200"/>
   <Entry rate="38400"/>
   <Entry rate="57600"/>
   <Entry rate="100000"/>
   <Entry rate="115200"/>
  </BaudRates>
  <SendInitialString send="1" string=":"/>
  <SendTerminalString send="1" string="\012"/>
  <ComPort portIndex="1" baudRateIndex="0"/>
 </SerialOptions>
 <NetworkConfiguration>
  <Interface ip="192.168.001.200" port="5000"/>
 </NetworkConfiguration>
</TextdeskApplicationSettings>
)";

// Settings that differ from the defaults in every value.
ApplicationSettingsData changedSettings() {
    ApplicationSettingsData settings;
    settings.slotFiles[0] = "/home/a/one.xml";
    settings.slotFiles[7] = "eight.xml";
    settings.connectionType = NetworkConnection;
    settings.baudRates = QStringList{"4800", "9600"};
    settings.baudRateIndex = 1;
    settings.comPort = 12;
    settings.sendInitialString = false;
    settings.initialString = "#";
    settings.sendTerminalString = false;
    settings.terminalString = R"(\015\012)";
    settings.networkIp = "010.000.000.001";
    settings.networkPort = 2101;
    return settings;
}

class SettingsFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return folder_.filePath(name); }

    QTemporaryDir folder_;
    vxgui::ScriptedDialogs dialogs_;
};

TEST_F(SettingsFileTest, WrittenTextAndRoundTrip) {
    const ApplicationSettingsFile file(path("appSettings.xml"));
    ASSERT_TRUE(file.saveApplicationSettings(ApplicationSettingsData()));
    EXPECT_EQ(canonical(QString::fromUtf8(readAll(path("appSettings.xml")))),
              canonical(QString::fromUtf8(kDefaultText)));

    ApplicationSettingsData settings = changedSettings();
    settings.slotFiles[3] = QString::fromUtf8("/tmp/Ordner é/配置 ½.xml");
    settings.initialString = QString::fromUtf8("ä→");
    ASSERT_TRUE(file.saveApplicationSettings(settings));
    ApplicationSettingsData read;
    const auto result = file.loadApplicationSettings(read);
    EXPECT_TRUE(result.loaded);
    EXPECT_TRUE(result.statusMessage.isEmpty());
    EXPECT_EQ(read, settings);
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(SettingsFileTest, ReadingRulesAndRefusals) {
    const QString head =
        R"(<!DOCTYPE TextdeskApplicationSettings><TextdeskApplicationSettings version="%1">)";
    const QString tail = "</TextdeskApplicationSettings>";
    const QString network = R"(<PortConfiguration><ConnctionType connection="%1"/>
        </PortConfiguration><NetworkConfiguration><Interface ip="10.0.0.9" port="7"/>
        </NetworkConfiguration>)";
    using Change = std::function<void(ApplicationSettingsData&)>;
    // What reading leaves besides the change of each case: missing slots
    // are free, and the missing elements of SerialOptions clear the send
    // strings and the COM port.
    const Change bare = [](ApplicationSettingsData& s) {
        s.slotFiles.fill(QString());
        s.sendInitialString = s.sendTerminalString = false;
        s.initialString = s.terminalString = QString();
        s.comPort = s.baudRateIndex = 0;
    };
    struct Case {
        const char* name;
        QString text;
        bool loaded;
        Change change;
        QStringList boxes;
    };
    const Case cases[] = {
        {"version 1.0 keeps connection, address and port",
         head.arg("1.0") + network.arg("1") + tail, true, bare, {}},
        {"version 2.0 with connection 2 is serial",
         head.arg("2.0") + network.arg("2") + tail, true,
         [&](ApplicationSettingsData& s) {
             bare(s);
             s.connectionType = SerialConnection;
             s.networkIp = "10.0.0.9";
             s.networkPort = 7;
         },
         {}},
        {"version 2.0 with connection 1 is the network",
         head.arg("2.0") + network.arg("1") + tail, true,
         [&](ApplicationSettingsData& s) {
             bare(s);
             s.connectionType = NetworkConnection;
             s.networkIp = "10.0.0.9";
             s.networkPort = 7;
         },
         {}},
        {"version 2.0 without its elements", head.arg("2.0") + tail, true,
         [&](ApplicationSettingsData& s) {
             bare(s);
             s.connectionType = SerialConnection;
             s.networkIp = QString();
             s.networkPort = 0;
         },
         {}},
        {"serial options without the terminal string, empty rate list",
         head.arg("1.0") + R"(<QuickLoadSlots><Slot file="a.xml"/><Other/><Slot file="b.xml"/>
            </QuickLoadSlots><SerialOptions><BaudRates/><SendInitialString send="1" string="I"/>
            <ComPort portIndex="4" baudRateIndex="x"/></SerialOptions>)" + tail,
         true,
         [&](ApplicationSettingsData& s) {
             bare(s);
             s.slotFiles[0] = "a.xml";
             s.slotFiles[1] = "b.xml";
             s.baudRates.clear();
             s.sendInitialString = true;
             s.initialString = "I";
             s.comPort = 4;
         },
         {}},
        {"older document type",
         R"(<!DOCTYPE QMXrs232TestApplicationSettings><QMXrs232TestApplicationSettings
            version="1.0"><SerialOptions><BaudRates><Entry rate="300"/><Entry/></BaudRates>
            </SerialOptions></QMXrs232TestApplicationSettings>)",
         true,
         [&](ApplicationSettingsData& s) {
             bare(s);
             s.baudRates = QStringList{"300", ""};
         },
         {}},
        {"no version", head.arg("2.0").replace(R"( version="2.0")", "") + tail, false,
         nullptr, {"Wrong application settings file version!"}},
        {"version 3.0", head.arg("3.0") + tail, false, nullptr,
         {"Wrong application settings file version!"}},
        {"other type",
         R"(<!DOCTYPE TextdeskConfiguration><TextdeskConfiguration version="1.0"/>)", false,
         nullptr, {"Wrong document type!"}},
        {"not XML", head.arg("2.0"), false, nullptr,
         {"Parse error at line 1, column 82: unexpected end of file"}},
    };
    const ApplicationSettingsFile file(path("appSettings.xml"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs_.clear();
        ASSERT_TRUE(writeAll(path("appSettings.xml"), c.text.toUtf8()));
        const ApplicationSettingsData before = changedSettings();
        ApplicationSettingsData settings = before;
        ApplicationSettingsData expected = before;
        if (c.change) c.change(expected);
        const auto result = file.loadApplicationSettings(settings);
        EXPECT_EQ(result.loaded, c.loaded);
        EXPECT_TRUE(result.statusMessage.isEmpty());
        EXPECT_EQ(settings, expected);
        EXPECT_EQ(errorBoxTexts(dialogs_), c.boxes);
    }
}

TEST_F(SettingsFileTest, AMissingFileIsAStatusMessageNotABox) {
    ApplicationSettingsData settings = changedSettings();
    const auto result = ApplicationSettingsFile(path("none.xml")).loadApplicationSettings(settings);
    EXPECT_FALSE(result.loaded);
    EXPECT_EQ(result.statusMessage, "Could not open application settings file. Set defaults.");
    EXPECT_EQ(settings, changedSettings());
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(SettingsFileTest, TheDefaultPathIsInTheCurrentDirectory) {
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder_.path()));
    const bool saved = ApplicationSettingsFile().saveApplicationSettings(changedSettings());
    QDir::setCurrent(previous);
    ASSERT_TRUE(saved);
    ApplicationSettingsData settings;
    ASSERT_TRUE(
        ApplicationSettingsFile(path("appSettings.xml")).loadApplicationSettings(settings).loaded);
    EXPECT_EQ(settings, changedSettings());
}

TEST_F(SettingsFileTest, AFailedSaveLeavesTheOldFile) {
    const QByteArray old = "old settings\n";
    ASSERT_TRUE(writeAll(path("appSettings.xml"), old));
    EXPECT_EQ(filetest::saveUnderFileSizeLimit(256, [&] {
                  return ApplicationSettingsFile(path("appSettings.xml"))
                      .saveApplicationSettings(changedSettings());
              }),
              "failed|Could not open file!");
    EXPECT_EQ(readAll(path("appSettings.xml")), old);
    EXPECT_EQ(QDir(folder_.path()).entryList(QDir::Files), QStringList{"appSettings.xml"});
}

}  // namespace
