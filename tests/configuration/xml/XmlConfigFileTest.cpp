#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "XmlConfigFile.h"
#include "configuration/TempFiles.h"

namespace {

const QString kDocumentType = QStringLiteral("QMXConfigSettings");

class XmlConfigFileTest : public vxtest::TempFiles {
protected:
    XmlConfigFileTest() : TempFiles("in.xml") {}
};

TEST_F(XmlConfigFileTest, SavedCreatedDocumentHasTheExactFileFormat) {
    XmlConfigFile store;
    store.create(kDocumentType);
    store.setValue(QStringLiteral("T_5:name"), QStringLiteral("Speed"));
    store.setValue(QStringLiteral("T_5/Channel[0]:value"), QStringLiteral("-3"));
    store.setValue(QStringLiteral("T_5/Channel[1]:value"), QStringLiteral("7"));
    store.setValue(QStringLiteral("SensorTypes/Channel[0]:sensor"), QString::fromUtf8("\xc3\xa4"));
    ASSERT_EQ(store.save(path("out.xml")), QString());
    EXPECT_EQ(contentOf(path("out.xml")),
              "<!DOCTYPE QMXConfigSettings>\n"
              "<QMXConfigSettings version=\"1.0\">\n"
              "  <T_5 name=\"Speed\">\n"
              "    <Channel value=\"-3\"/>\n"
              "    <Channel value=\"7\"/>\n"
              "  </T_5>\n"
              "  <SensorTypes>\n"
              "    <Channel sensor=\"\xc3\xa4\"/>\n"
              "  </SensorTypes>\n"
              "</QMXConfigSettings>\n");
}

TEST_F(XmlConfigFileTest, PathsAddressElementsAndAttributes) {
    XmlConfigFile list;
    list.create(kDocumentType);
    list.setValue(QStringLiteral("SensorTypes/Channel[0]:sensor"), QStringLiteral("1"));
    list.setValue(QStringLiteral("SensorTypes/Channel[1]:sensor"), QStringLiteral("2"));
    // A missing index appends one element, whatever its number.
    list.setValue(QStringLiteral("SensorTypes/Channel[3]:sensor"), QStringLiteral("9"));
    // The same path twice replaces the value.
    list.setValue(QStringLiteral("SensorTypes/Channel[1]:sensor"), QStringLiteral("5"));
    list.setValue(QStringLiteral("P_8_22_47:name"), QStringLiteral("Gain"));
    struct Case {
        const char* path;
        const char* value;
    };
    const Case cases[] = {
        {"SensorTypes/Channel[0]:sensor", "1"},
        {"SensorTypes/Channel:sensor", "1"},
        {"SensorTypes/Channel[1]:sensor", "5"},
        {"SensorTypes/Channel[2]:sensor", "9"},
        {"SensorTypes/Channel[3]:sensor", ""},
        {"SensorTypes/Channel[5]:sensor", ""},
        {"SensorTypes/Channel[0]:missing", ""},
        {"P_8_22_47:name", "Gain"},
        {"Missing/Channel[0]:value", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(list.value(QString::fromLatin1(c.path)), QString::fromLatin1(c.value));
    }
    ASSERT_EQ(list.save(path("list.xml")), QString());
    const std::string saved = contentOf(path("list.xml"));
    EXPECT_EQ(saved.find("<SensorTypes>"), saved.rfind("<SensorTypes>"));
    EXPECT_NE(saved.find("<Channel sensor=\"9\"/>\n  </SensorTypes>"), std::string::npos);
}

TEST_F(XmlConfigFileTest, LoadingSavedFileAndItsErrors) {
    XmlConfigFile created;
    created.create(kDocumentType);
    created.setValue(QStringLiteral("Index_Map_0/Channel[0]:index"), QStringLiteral("2"));
    ASSERT_EQ(created.save(path("saved.xml")), QString());

    XmlConfigFile loaded;
    EXPECT_EQ(loaded.value(QStringLiteral("Index_Map_0/Channel[0]:index")), QString());
    ASSERT_EQ(loaded.load(path("saved.xml"), kDocumentType), QString());
    EXPECT_EQ(loaded.value(QStringLiteral("Index_Map_0/Channel[0]:index")), QStringLiteral("2"));
    EXPECT_EQ(loaded.value(QStringLiteral("Index_Map_0/Channel[5]:index")), QString());
    // A loaded document keeps its own document type when saved again.
    ASSERT_EQ(loaded.save(path("again.xml")), QString());
    EXPECT_EQ(contentOf(path("again.xml")), contentOf(path("saved.xml")));

    const std::string badThirdLine = "<!DOCTYPE QMXConfigSettings>\n<QMXConfigSettings>\n  <T_5 <\n</QMXConfigSettings>\n";
    struct Case {
        const char* what;
        QString file;
        QString type;
        QString error;
    };
    const Case cases[] = {
        {"any type accepted", path("saved.xml"), QString(), QString()},
        {"other type", path("saved.xml"), QStringLiteral("Other"), QStringLiteral("Wrong document type.")},
        {"missing type", withContent("<QMXConfigSettings/>\n"), kDocumentType, QStringLiteral("Wrong document type.")},
        {"missing file", path("none.xml"), kDocumentType, QStringLiteral("Configuration file does not exist.")},
        {"unreadable", dir.path(), kDocumentType, QStringLiteral("Can't open configuration file.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XmlConfigFile store;
        EXPECT_EQ(store.load(c.file, c.type), c.error);
        EXPECT_EQ(store.value(QStringLiteral("Index_Map_0/Channel[0]:index")).isEmpty(), !c.error.isEmpty());
    }
    XmlConfigFile broken;
    const QString error = broken.load(withContent(badThirdLine), kDocumentType);
    EXPECT_TRUE(error.startsWith(QStringLiteral("Config file parse error at line 3, column "))) << error.toStdString();
    EXPECT_TRUE(error.endsWith(QLatin1Char('.')));
}

TEST_F(XmlConfigFileTest, FailedWritesAreReported) {
    XmlConfigFile store;
    store.create(kDocumentType);
    EXPECT_EQ(store.save(path("missing/dir/out.xml")), QStringLiteral("Could not create output file."));

    // Past a file-size limit the write fails; the limit is set in a child so
    // that this process keeps its own.
    for (int i = 0; i < 200; ++i)
        store.setValue(QStringLiteral("T_%1/Channel[0]:value").arg(i), QString::number(i));
    const QString target = path("limited.xml");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(store.save(target) == QStringLiteral("Could not create output file.") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
