#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <QFile>
#include <QTemporaryDir>

#include "HandControlErrors.h"
#include "QMXHConfiguration.h"
#include "handcontrol/Controller.h"

using handcontroltest::Outcome;
using Ints = std::vector<int>;

namespace {

const std::string kMagic = "QMXH Configuration";
std::string header(const char (&versionAndType)[5]) {
    return kMagic + std::string(versionAndType, 4) + std::string(10, '\0');
}
std::string imageFor(int type) {
    std::string image(2048, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 5 + type);
    return image;
}

class Files : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString withContent(const std::string& content) const {
        QFile file(path("in.hcmc"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content.data(), static_cast<qint64>(content.size()));
        return file.fileName();
    }
    static std::string contentOf(const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<none>";
    }
    static void fill(QMXHConfiguration& c, int type) {
        int size = 0;
        c.setType(type, size);
        for (int i = 0; i < size; ++i)
            c.setByteAt(i, static_cast<uint8_t>(imageFor(type)[static_cast<size_t>(i)]));
    }
    static std::string imageOf(const QMXHConfiguration& c) {
        return std::string(reinterpret_cast<const char*>(c.data()), static_cast<size_t>(c.size()));
    }
    Outcome save(const QString& name, QMXHConfiguration& c) {
        return worker.run([&](ConfigTransporter& t) { t.saveConfigurationToFile(name, &c); });
    }
    Outcome load(const QString& name, QMXHConfiguration& c) {
        return worker.run([&](ConfigTransporter& t) { t.loadConfigurationFromFile(&c, name); });
    }
    // Abort pressed while the chunk at 88 (4 %) is written or read.
    QMetaObject::Connection abortAtFourPercent() {
        return QObject::connect(
            &worker.transporter, &ConfigTransporter::progress, &worker.transporter,
            [this](int value) {
                if (value == 4) worker.transporter.abortOperation();
            },
            Qt::DirectConnection);
    }

    QTemporaryDir dir;
    handcontroltest::Worker worker;
};

TEST_F(Files, BothTypesRoundTrip) {
    Ints chunks{0};
    for (int offset = 0; offset < 2048; offset += 8) chunks.push_back(offset * 100 / 2048);
    chunks.push_back(100);
    for (int type : {0x3D01, 0xFD01}) {
        QMXHConfiguration saved, loaded;
        fill(saved, type);
        const Outcome outcome = save(path("a.hcmc"), saved);
        EXPECT_EQ(outcome.errors, Ints{kHcNoError});
        EXPECT_EQ(outcome.progress, chunks);
        fill(loaded, 0x3D01 + 0xFD01 - type);
        EXPECT_EQ(load(path("a.hcmc"), loaded).progress, chunks);
        EXPECT_EQ(loaded.type(), type);
        EXPECT_EQ(loaded.slotSize(), QMXHConfiguration::geometryOf(type)->slotSize);
        EXPECT_EQ(imageOf(loaded), imageFor(type));
    }
    EXPECT_EQ(contentOf(path("a.hcmc")), header("\x01\x00\x01\xFD") + imageFor(0xFD01));
    QMXHConfiguration config;
    fill(config, 0x3D01);
    save(path("b.hcmc"), config);
    EXPECT_EQ(contentOf(path("b.hcmc")), header("\x01\x00\x01\x3D") + imageFor(0x3D01));
}

// A refused file leaves the configuration as it was, whichever check refuses it.
TEST_F(Files, BadFilesAreRefusedBeforeAnythingChanges) {
    const std::string valid = header("\x01\x00\x01\x3D") + imageFor(0x3D01);
    const std::pair<std::string, int> files[] = {
        {valid + '\0', kHcInvalidFileContent},
        {valid.substr(0, 2079), kHcInvalidFileContent},
        {header("\x01\x01\x01\x3D") + imageFor(0x3D01), kHcUnknownFileFormat},
        {kMagic.substr(0, 17), kHcInvalidFileContent},
        {kMagic, kHcUnknownFileFormat},
        {kMagic + '\x01', kHcUnknownConfiguration},
        {header("\x01\x00\x34\x12") + imageFor(0x3D01), kHcUnknownConfiguration},
    };
    for (const auto& [content, code] : files) {
        SCOPED_TRACE(content.size());
        QMXHConfiguration config;
        fill(config, 0xFD01);
        EXPECT_EQ(load(withContent(content), config).errors, Ints{code});
        EXPECT_EQ(config.type(), 0xFD01);
        EXPECT_EQ(imageOf(config), imageFor(0xFD01));
    }
    QMXHConfiguration config;
    EXPECT_EQ(load(path("missing.hcmc"), config).errors, Ints{kHcFileReadError});
}

TEST_F(Files, AFailedOrAbortedSaveOrLoadChangesNothing) {
    const std::string earlier(500, 'e');
    const QString name = withContent(earlier);
    QMXHConfiguration config;
    fill(config, 0x3D01);

    // A disk that takes 1000 bytes a file.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{1000, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome full = save(name, config);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(full.errors, Ints{kHcFileWriteError});
    EXPECT_EQ(contentOf(name), earlier);
    EXPECT_EQ(save(path("no/folder.hcmc"), config).errors, Ints{kHcFileWriteError});

    QMXHConfiguration other;
    fill(other, 0xFD01);
    ASSERT_EQ(save(path("other.hcmc"), other).errors, Ints{kHcNoError});
    abortAtFourPercent();
    EXPECT_EQ(save(name, config).errors, Ints{kHcAborted});
    EXPECT_EQ(contentOf(name), earlier);
    EXPECT_EQ(load(path("other.hcmc"), config).errors, Ints{kHcAborted});
    EXPECT_EQ(imageOf(config), imageFor(0x3D01));
}

}  // namespace
