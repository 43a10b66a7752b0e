#include "ConfigurationFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>

#include "ScriptedDialogs.h"
#include "terminal/files/FileSupport.h"

namespace {

using filetest::canonical;
using filetest::errorBoxTexts;
using filetest::readAll;
using filetest::writeAll;

const TerminalConfiguration kSample = {
    {{"Count", "GNC"}, {"Position", "GP$0"}, {"Quotes", R"("<&>' \012)"}},
    {{"Channel", 0, 0, 5, true, false, Binary8Bit, true, 1},
     {"Speed", -100, 0, 100, false, true, Binary24Bit, false, 0}},
};

const char* const kSampleText = R"(<!DOCTYPE TextdeskConfiguration>
<TextdeskConfiguration version="1.0">
 <ShortCutButtons>
  <Button name="Count" textToSend="GNC"/>
  <Button name="Position" textToSend="GP$0"/>
  <Button name="Quotes" textToSend="&quot;&lt;&amp;>' \012"/>
 </ShortCutButtons>
 <DataInputs>
  <Input name="Channel" minValue="0" defaultValue="0" maxValue="5" hasSlider="1" )"
    R"(sendAsBinary="0" binaryFormat="0" callShortCut="1" shortCutToCall="1"/>
  <Input name="Speed" minValue="-100" defaultValue="0" maxValue="100" hasSlider="0" )"
    R"(sendAsBinary="1" binaryFormat="2" callShortCut="0" shortCutToCall="0"/>
 </DataInputs>
</TextdeskConfiguration>
)";

class ConfigurationFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return folder_.filePath(name); }
    ConfigurationFile file(const QString& name) const {
        return ConfigurationFile(QFileInfo(path(name)));
    }

    QTemporaryDir folder_;
    vxgui::ScriptedDialogs dialogs_;
};

TEST_F(ConfigurationFileTest, WrittenTextAndEmptyConfiguration) {
    ASSERT_TRUE(file("sample.xml").saveConfiguration(kSample));
    EXPECT_EQ(canonical(QString::fromUtf8(readAll(path("sample.xml")))),
              canonical(QString::fromUtf8(kSampleText)));
    ASSERT_TRUE(file("empty.xml").saveConfiguration({}));
    EXPECT_EQ(readAll(path("empty.xml")), QByteArray(R"(<!DOCTYPE TextdeskConfiguration>
<TextdeskConfiguration version="1.0">
 <ShortCutButtons/>
 <DataInputs/>
</TextdeskConfiguration>
)"));
    EXPECT_EQ(file("empty.xml").loadConfiguration(), TerminalConfiguration());
    EXPECT_EQ(file("sample.xml").loadConfiguration(), kSample);
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(ConfigurationFileTest, ReadingRulesAndRefusals) {
    const QString head = R"(<!DOCTYPE TextdeskConfiguration><TextdeskConfiguration version="1.0">)";
    const QString tail = "</TextdeskConfiguration>";
    DataInputRecord plainFormat0{"P", 1, 2, 3, true, false, Binary8Bit, false, 0};
    DataInputRecord noLimits{"L", 0, 7, 0, false, false, Binary16Bit, true, 4};
    DataInputRecord binary{"B", 0, 0, 0, false, true, Binary16Bit, false, 0};
    struct Case {
        const char* name;
        QString text;
        std::optional<TerminalConfiguration> loaded;
        QStringList boxes;
    };
    const Case cases[] = {
        {"format without the binary flag",
         head + R"(<DataInputs><Input name="P" minValue="1" defaultValue="2" maxValue="3"
            hasSlider="1" binaryFormat="2" callShortCut="0" shortCutToCall="0"/></DataInputs>)" +
             tail,
         TerminalConfiguration{{}, {plainFormat0}},
         {}},
        {"missing limits, odd numbers",
         head + R"(<DataInputs><Input name="L" defaultValue="7" hasSlider="x" sendAsBinary=""
            binaryFormat="1" callShortCut="1" shortCutToCall="4"/></DataInputs>)" + tail,
         TerminalConfiguration{{}, {noLimits}},
         {}},
        {"binary flag with its format",
         head + R"(<DataInputs><Input name="B" sendAsBinary="1" binaryFormat="1"/></DataInputs>)" +
             tail,
         TerminalConfiguration{{}, {binary}},
         {}},
        {"only the first lists, only their own elements",
         head + R"(<Other/><ShortCutButtons><Button name="a" textToSend="1"/><Input name="x"/>
            <Button name="b"/></ShortCutButtons><ShortCutButtons><Button name="c"/>
            </ShortCutButtons><DataInputs><Button name="d"/></DataInputs>)" + tail,
         TerminalConfiguration{{{"a", "1"}, {"b", ""}}, {}},
         {}},
        {"without lists", head + tail, TerminalConfiguration(), {}},
        {"older document type",
         R"(<!DOCTYPE QMXrs232TestConfiguration><QMXrs232TestConfiguration version="1.0">
            <ShortCutButtons><Button name="old" textToSend="GNC"/></ShortCutButtons>
            </QMXrs232TestConfiguration>)",
         TerminalConfiguration{{{"old", "GNC"}}, {}},
         {}},
        {"no version", R"(<!DOCTYPE TextdeskConfiguration><TextdeskConfiguration/>)",
         std::nullopt, {"Wrong file version!"}},
        {"other version",
         R"(<!DOCTYPE TextdeskConfiguration><TextdeskConfiguration version="2.0"/>)",
         std::nullopt, {"Wrong file version!"}},
        {"other type",
         R"(<!DOCTYPE TextdeskApplicationSettings><TextdeskApplicationSettings version="1.0"/>)",
         std::nullopt, {"Wrong document type!"}},
        {"no document type", R"(<TextdeskConfiguration version="1.0"/>)", std::nullopt,
         {"Wrong document type!"}},
        {"not XML",
         "<!DOCTYPE TextdeskConfiguration>\n<TextdeskConfiguration version=\"1.0\">\n <a>",
         std::nullopt, {"Parse error at line 3, column 5: unexpected end of file"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs_.clear();
        ASSERT_TRUE(writeAll(path("case.xml"), c.text.toUtf8()));
        EXPECT_EQ(file("case.xml").loadConfiguration(), c.loaded);
        EXPECT_EQ(errorBoxTexts(dialogs_), c.boxes);
    }
    dialogs_.clear();
    EXPECT_EQ(file("missing.xml").loadConfiguration(), std::nullopt);
    EXPECT_EQ(errorBoxTexts(dialogs_), QStringList{"Could not open file!"});
}

TEST_F(ConfigurationFileTest, TextsBeyondAsciiComeBackUnchanged) {
    const TerminalConfiguration configuration = {
        {{QString::fromUtf8("Käse → 步"), QString::fromUtf8("µ\\101 $0 ü")}},
        {{QString::fromUtf8("Größe ½"), -1, 0, 1, true, true, Binary32Bit, true, 9}},
    };
    const QString name = QString::fromUtf8("Ordner é/配置.xml");
    ASSERT_TRUE(QDir(folder_.path()).mkpath(QString::fromUtf8("Ordner é")));
    ASSERT_TRUE(file(name).saveConfiguration(configuration));
    EXPECT_TRUE(readAll(path(name)).contains(QString::fromUtf8("Käse → 步").toUtf8()));
    EXPECT_EQ(file(name).loadConfiguration(), configuration);
}

TEST_F(ConfigurationFileTest, AFailedSaveLeavesTheOldFile) {
    const QByteArray old = "old content\n";
    ASSERT_TRUE(writeAll(path("kept.xml"), old));
    EXPECT_EQ(filetest::saveUnderFileSizeLimit(64, [&] {
                  return file("kept.xml").saveConfiguration(kSample);
              }),
              "failed|Could not open file!");
    EXPECT_EQ(readAll(path("kept.xml")), old);
    EXPECT_EQ(QDir(folder_.path()).entryList(QDir::Files), QStringList{"kept.xml"});

    EXPECT_FALSE(file("no-folder/new.xml").saveConfiguration(kSample));
    EXPECT_EQ(errorBoxTexts(dialogs_), QStringList{"Could not open file!"});
}

}  // namespace
