#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <optional>

#include "ApplicationSettingsFile.h"
#include "ConfigurationFile.h"
#include "ScriptedDialogs.h"

namespace {

// The text with the attributes of every element in name order: their order
// is the writer's choice.
QString canonical(const QByteArray& utf8) {
    static const QRegularExpression tag(R"(<(\w+)((?:\s+\w+="[^"]*")*)(/?)>)");
    static const QRegularExpression attribute(R"(\w+="[^"]*")");
    const QString text = QString::fromUtf8(utf8);
    QString result;
    int last = 0;
    for (auto tags = tag.globalMatch(text); tags.hasNext();) {
        const QRegularExpressionMatch match = tags.next();
        QStringList attributes;
        for (auto found = attribute.globalMatch(match.captured(2)); found.hasNext();)
            attributes << found.next().captured();
        std::sort(attributes.begin(), attributes.end());
        result += text.mid(last, match.capturedStart() - last) + '<' + match.captured(1);
        for (const QString& a : attributes) result += ' ' + a;
        result += match.captured(3) + '>';
        last = match.capturedEnd();
    }
    return result + text.mid(last);
}

const TerminalConfiguration kSample = {
    {{"Count", "GNC"}, {"Quotes", R"("<&>' \012 $0)"}},
    {{"Channel", 0, 0, 5, true, false, Binary8Bit, true, 1},
     {"Speed", -100, 0, 100, false, true, Binary24Bit, false, 0}},
};

const char* const kSampleText = R"(<!DOCTYPE TextdeskConfiguration>
<TextdeskConfiguration version="1.0">
 <ShortCutButtons>
  <Button name="Count" textToSend="GNC"/>
  <Button name="Quotes" textToSend="&quot;&lt;&amp;>' \012 $0"/>
 </ShortCutButtons>
 <DataInputs>
  <Input name="Channel" minValue="0" defaultValue="0" maxValue="5" hasSlider="1" )"
    R"(sendAsBinary="0" binaryFormat="0" callShortCut="1" shortCutToCall="1"/>
  <Input name="Speed" minValue="-100" defaultValue="0" maxValue="100" hasSlider="0" )"
    R"(sendAsBinary="1" binaryFormat="2" callShortCut="0" shortCutToCall="0"/>
 </DataInputs>
</TextdeskConfiguration>
)";

const char* const kDefaultSettingsText = R"(<!DOCTYPE TextdeskApplicationSettings>
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

// Every value unlike the default one.
ApplicationSettingsData changedSettings() {
    ApplicationSettingsData s;
    s.slotFiles[0] = "/home/a/one.xml";
    s.slotFiles[3] = QString::fromUtf8("/tmp/Ordner é/配置 ½.xml");
    s.connectionType = NetworkConnection;
    s.baudRates = QStringList{"4800", "9600"};
    s.baudRateIndex = 1;
    s.comPort = 12;
    s.sendInitialString = s.sendTerminalString = false;
    s.initialString = QString::fromUtf8("ä→");
    s.terminalString = R"(\015\012)";
    s.networkIp = "010.000.000.001";
    s.networkPort = 2101;
    return s;
}

class Files : public ::testing::Test {
protected:
    QString path(const QString& name) const { return folder_.filePath(name); }
    ConfigurationFile configuration(const QString& name) const {
        return ConfigurationFile(QFileInfo(path(name)));
    }
    QByteArray read(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void write(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    // The texts of the boxes shown since the last call; each must be the
    // error box.
    QStringList boxes() {
        QStringList texts;
        for (const vxgui::MessageBoxRequest& box : dialogs_.boxes()) {
            const bool errorBox = box.icon == QMessageBox::Critical && box.title == "Error" &&
                                  box.buttons == QStringList{"Darn"} && !box.parent;
            texts << (errorBox ? box.text : "another box: " + box.text);
        }
        dialogs_.clear();
        return texts;
    }

    QTemporaryDir folder_;
    vxgui::ScriptedDialogs dialogs_;
};

TEST_F(Files, WrittenTextsAndRoundTrips) {
    ASSERT_TRUE(configuration("sample.xml").saveConfiguration(kSample));
    EXPECT_EQ(canonical(read("sample.xml")), canonical(kSampleText));
    EXPECT_EQ(configuration("sample.xml").loadConfiguration(), kSample);
    ASSERT_TRUE(configuration("empty.xml").saveConfiguration({}));
    EXPECT_EQ(read("empty.xml"), R"(<!DOCTYPE TextdeskConfiguration>
<TextdeskConfiguration version="1.0">
 <ShortCutButtons/>
 <DataInputs/>
</TextdeskConfiguration>
)");
    EXPECT_EQ(configuration("empty.xml").loadConfiguration(), TerminalConfiguration());

    const TerminalConfiguration foreign = {
        {{QString::fromUtf8("Käse → 步"), QString::fromUtf8("µ\\101 ü")}},
        {{QString::fromUtf8("Größe ½"), -1, 0, 1, true, true, Binary32Bit, true, 9}}};
    const QString name = QString::fromUtf8("Ordner é/配置.xml");
    ASSERT_TRUE(QDir(folder_.path()).mkpath(QString::fromUtf8("Ordner é")));
    ASSERT_TRUE(configuration(name).saveConfiguration(foreign));
    EXPECT_TRUE(read(name).contains("K\xC3\xA4se"));
    EXPECT_EQ(configuration(name).loadConfiguration(), foreign);

    const ApplicationSettingsFile settingsFile(path("appSettings.xml"));
    ASSERT_TRUE(settingsFile.saveApplicationSettings(ApplicationSettingsData()));
    EXPECT_EQ(canonical(read("appSettings.xml")), canonical(kDefaultSettingsText));
    ASSERT_TRUE(settingsFile.saveApplicationSettings(changedSettings()));
    ApplicationSettingsData settings;
    EXPECT_TRUE(settingsFile.loadApplicationSettings(settings).loaded);
    EXPECT_EQ(settings, changedSettings());
    EXPECT_EQ(boxes(), QStringList());

    // Without a path: appSettings.xml in the current directory.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder_.path()));
    const bool saved = ApplicationSettingsFile().saveApplicationSettings(ApplicationSettingsData());
    QDir::setCurrent(previous);
    EXPECT_TRUE(saved);
    EXPECT_EQ(canonical(read("appSettings.xml")), canonical(kDefaultSettingsText));
}

TEST_F(Files, ConfigurationReadingAndRefusals) {
    const QString head = R"(<!DOCTYPE TextdeskConfiguration><TextdeskConfiguration version="1.0">)";
    const QString tail = "</TextdeskConfiguration>";
    const struct {
        QString text;
        std::optional<TerminalConfiguration> loaded;
        QString box;
    } cases[] = {
        {head + R"(<DataInputs><Input name="P" minValue="1" defaultValue="2" maxValue="3"
            hasSlider="1" binaryFormat="2"/><Input name="L" defaultValue="7" hasSlider="x"
            sendAsBinary="1" binaryFormat="1" callShortCut="1" shortCutToCall="4"/>
            </DataInputs>)" + tail,
         TerminalConfiguration{{},
                               {{"P", 1, 2, 3, true, false, Binary8Bit, false, 0},
                                {"L", 0, 7, 0, false, true, Binary16Bit, true, 4}}},
         ""},
        {head + R"(<Other/><ShortCutButtons><Button name="a" textToSend="1"/><Input/>
            <Button name="b"/></ShortCutButtons><ShortCutButtons><Button name="c"/>
            </ShortCutButtons><DataInputs><Button name="d"/></DataInputs>)" + tail,
         TerminalConfiguration{{{"a", "1"}, {"b", ""}}, {}}, ""},
        {head + tail, TerminalConfiguration(), ""},
        {R"(<!DOCTYPE QMXrs232TestConfiguration><QMXrs232TestConfiguration version="1.0">
            <ShortCutButtons><Button name="old"/></ShortCutButtons></QMXrs232TestConfiguration>)",
         TerminalConfiguration{{{"old", ""}}, {}}, ""},
        {"<!DOCTYPE TextdeskConfiguration><TextdeskConfiguration/>", {}, "Wrong file version!"},
        {R"(<!DOCTYPE TextdeskConfiguration><TextdeskConfiguration version="2.0"/>)", {},
         "Wrong file version!"},
        {R"(<TextdeskConfiguration version="1.0"/>)", {}, "Wrong document type!"},
        {head + "\n<a>", {}, "Parse error at line 2, column 4: unexpected end of file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        write("case.xml", c.text.toUtf8());
        EXPECT_EQ(configuration("case.xml").loadConfiguration(), c.loaded);
        EXPECT_EQ(boxes(), c.box.isEmpty() ? QStringList() : QStringList{c.box});
    }
    EXPECT_EQ(configuration("missing.xml").loadConfiguration(), std::nullopt);
    EXPECT_EQ(boxes(), QStringList{"Could not open file!"});
}

TEST_F(Files, SettingsReadingAndRefusals) {
    const QString head =
        R"(<!DOCTYPE TextdeskApplicationSettings><TextdeskApplicationSettings version="%1">)";
    const QString tail = "</TextdeskApplicationSettings>";
    const QString network = R"(<PortConfiguration><ConnctionType connection="%1"/>
        </PortConfiguration><NetworkConfiguration><Interface ip="10.0.0.9" port="7"/>
        </NetworkConfiguration>)";
    using Change = std::function<void(ApplicationSettingsData&)>;
    // Beside the change of each case: missing slots are free, missing
    // elements below SerialOptions clear the send strings and the COM port.
    const auto reading = [](const Change& change) {
        return [change](ApplicationSettingsData& s) {
            s.slotFiles.fill(QString());
            s.sendInitialString = s.sendTerminalString = false;
            s.initialString = s.terminalString = QString();
            s.comPort = s.baudRateIndex = 0;
            change(s);
        };
    };
    const auto serialAt = [](const QString& ip, int port) {
        return [=](ApplicationSettingsData& s) {
            s.connectionType = SerialConnection;
            s.networkIp = ip;
            s.networkPort = port;
        };
    };
    const struct {
        QString text;
        Change change;
        QString box;
    } cases[] = {
        // Version 1.0 keeps connection, address and port.
        {head.arg("1.0") + network.arg("1") + tail, reading([](auto&) {}), ""},
        {head.arg("2.0") + network.arg("2") + tail, reading(serialAt("10.0.0.9", 7)), ""},
        {head.arg("2.0") + network.arg("1") + tail,
         reading([](ApplicationSettingsData& s) {
             s.networkIp = "10.0.0.9";
             s.networkPort = 7;
         }),
         ""},
        {head.arg("2.0") + tail, reading(serialAt("", 0)), ""},
        {head.arg("1.0") + R"(<QuickLoadSlots><Slot file="a"/><Other/><Slot file="b"/>
            </QuickLoadSlots><SerialOptions><BaudRates/><SendInitialString send="1" string="I"/>
            <ComPort portIndex="4" baudRateIndex="x"/></SerialOptions>)" + tail,
         reading([](ApplicationSettingsData& s) {
             s.slotFiles[0] = "a";
             s.slotFiles[1] = "b";
             s.baudRates.clear();
             s.sendInitialString = true;
             s.initialString = "I";
             s.comPort = 4;
         }),
         ""},
        {R"(<!DOCTYPE QMXrs232TestApplicationSettings><QMXrs232TestApplicationSettings
            version="1.0"><SerialOptions><BaudRates><Entry rate="300"/><Entry/></BaudRates>
            </SerialOptions></QMXrs232TestApplicationSettings>)",
         reading([](ApplicationSettingsData& s) { s.baudRates = QStringList{"300", ""}; }), ""},
        {"<!DOCTYPE TextdeskApplicationSettings><TextdeskApplicationSettings/>", {},
         "Wrong application settings file version!"},
        {head.arg("3.0") + tail, {}, "Wrong application settings file version!"},
        {R"(<!DOCTYPE TextdeskConfiguration><TextdeskConfiguration version="1.0"/>)", {},
         "Wrong document type!"},
        {head.arg("2.0"), {}, "Parse error at line 1, column 82: unexpected end of file"},
    };
    const ApplicationSettingsFile file(path("appSettings.xml"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        write("appSettings.xml", c.text.toUtf8());
        ApplicationSettingsData settings = changedSettings(), expected = changedSettings();
        if (c.change) c.change(expected);
        const auto result = file.loadApplicationSettings(settings);
        EXPECT_EQ(result.loaded, bool(c.change));
        EXPECT_EQ(result.statusMessage, "");
        EXPECT_EQ(settings, expected);
        EXPECT_EQ(boxes(), c.box.isEmpty() ? QStringList() : QStringList{c.box});
    }
    ApplicationSettingsData settings = changedSettings();
    const auto missing =
        ApplicationSettingsFile(path("none.xml")).loadApplicationSettings(settings);
    EXPECT_FALSE(missing.loaded);
    EXPECT_EQ(missing.statusMessage, "Could not open application settings file. Set defaults.");
    EXPECT_EQ(settings, changedSettings());
    EXPECT_EQ(boxes(), QStringList());
}

// A full disk: in a child process, files may not grow past 64 bytes
// (SIGXFSZ ignored, so the write fails with EFBIG).
TEST_F(Files, ASaveThatFailsKeepsTheOldFile) {
    const std::function<bool()> saves[] = {
        [&] { return configuration("kept.xml").saveConfiguration(kSample); },
        [&] {
            return ApplicationSettingsFile(path("kept.xml")).saveApplicationSettings({});
        },
    };
    for (const auto& save : saves) {
        write("kept.xml", "old\n");
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64, 64};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const QString outcome = save() ? "saved|" : "failed|";
            const QByteArray report = (outcome + boxes().join('|')).toUtf8();
            ::_exit(::write(fds[1], report.constData(), report.size()) == report.size() ? 0 : 1);
        }
        ::close(fds[1]);
        char buffer[256];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        ::close(fds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(QByteArray(buffer, n > 0 ? int(n) : 0), "failed|Could not open file!");
        EXPECT_EQ(read("kept.xml"), "old\n");
        EXPECT_EQ(QDir(folder_.path()).entryList(QDir::Files), QStringList{"kept.xml"});
    }
    EXPECT_FALSE(configuration("no-folder/new.xml").saveConfiguration(kSample));
    EXPECT_EQ(boxes(), QStringList{"Could not open file!"});
}

}  // namespace
