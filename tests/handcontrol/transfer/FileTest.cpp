#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "HandControlErrors.h"
#include "QMXHConfiguration.h"
#include "handcontrol/Controller.h"

namespace {

using handcontroltest::Outcome;
using handcontroltest::Worker;

const std::string kMagic = "QMXH Configuration";

std::string headerOf(std::string versionAndType) {
    return kMagic + versionAndType + std::string(10, '\0');
}

// The image bytes i × 5 + type.
std::string imageFor(int type) {
    std::string image(2048, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 5 + type);
    return image;
}

class Files : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString withContent(const char* name, const std::string& content) const {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content.data(), static_cast<qint64>(content.size()));
        return path(name);
    }
    static std::string contentOf(const QString& name) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) return "<none>";
        return file.readAll().toStdString();
    }
    void fill(QMXHConfiguration& c, int type) {
        int size = 0;
        ASSERT_EQ(c.setType(type, size), kHcNoError);
        const std::string image = imageFor(type);
        for (int i = 0; i < size; ++i)
            c.setByteAt(i, static_cast<uint8_t>(image[static_cast<size_t>(i)]));
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

    QTemporaryDir dir;
    Worker worker;
};

// Progress of a file operation on a 2048-byte image that succeeds.
std::vector<int> chunkProgress() {
    std::vector<int> values{0};
    for (int offset = 0; offset < 2048; offset += 8) values.push_back(offset * 100 / 2048);
    values.push_back(100);
    return values;
}

TEST_F(Files, ASaveHoldsTheHeaderAndTheImage) {
    QMXHConfiguration config;
    fill(config, 0x3D01);
    const Outcome saved = save(path("a.hcmc"), config);
    EXPECT_EQ(saved.errors, std::vector<int>{kHcNoError});
    EXPECT_EQ(saved.progress, chunkProgress());
    const std::string content = contentOf(path("a.hcmc"));
    EXPECT_EQ(content.size(), 2080u);
    EXPECT_EQ(content, headerOf(std::string("\x01\x00\x01\x3D", 4)) + imageFor(0x3D01));
}

TEST_F(Files, BothTypesRoundTrip) {
    for (int type : {0x3D01, 0xFD01}) {
        SCOPED_TRACE(type);
        QMXHConfiguration saved;
        fill(saved, type);
        ASSERT_EQ(save(path("b.hcmc"), saved).errors, std::vector<int>{kHcNoError});
        QMXHConfiguration loaded;
        fill(loaded, type == 0x3D01 ? 0xFD01 : 0x3D01);
        const Outcome outcome = load(path("b.hcmc"), loaded);
        EXPECT_EQ(outcome.errors, std::vector<int>{kHcNoError});
        EXPECT_EQ(outcome.progress, chunkProgress());
        EXPECT_EQ(loaded.type(), type);
        EXPECT_EQ(loaded.slotSize(), QMXHConfiguration::geometryOf(type)->slotSize);
        EXPECT_EQ(imageOf(loaded), imageFor(type));
    }
}

// A refused file leaves the configuration as it was, whatever step refuses it.
TEST_F(Files, BadFilesAreRefusedBeforeAnythingChanges) {
    const std::string valid = headerOf(std::string("\x01\x00\x01\x3D", 4)) + imageFor(0x3D01);
    const struct {
        const char* name;
        std::string content;
        int code;
    } files[] = {
        {"one byte too many", valid + '\0', kHcInvalidFileContent},
        {"one byte too few", valid.substr(0, 2079), kHcInvalidFileContent},
        {"version 01 01", headerOf(std::string("\x01\x01\x01\x3D", 4)) + imageFor(0x3D01),
         kHcUnknownFileFormat},
        {"17 bytes", kMagic.substr(0, 17), kHcInvalidFileContent},
        {"18 bytes", kMagic, kHcUnknownFileFormat},
        {"19 bytes", kMagic + '\x01', kHcUnknownConfiguration},
        {"type 34 12", headerOf(std::string("\x01\x00\x34\x12", 4)) + imageFor(0x3D01),
         kHcUnknownConfiguration},
        {"another magic", "QMXH Configuratio!" + valid.substr(18), kHcInvalidFileContent},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        QMXHConfiguration config;
        fill(config, 0xFD01);
        const Outcome outcome = load(withContent("bad.hcmc", file.content), config);
        EXPECT_EQ(outcome.errors, std::vector<int>{file.code});
        EXPECT_EQ(outcome.progress, std::vector<int>{0});
        EXPECT_EQ(config.type(), 0xFD01);
        EXPECT_EQ(imageOf(config), imageFor(0xFD01));
    }
    QMXHConfiguration config;
    EXPECT_EQ(load(path("missing.hcmc"), config).errors, std::vector<int>{kHcFileReadError});
}

TEST_F(Files, AFailedOrAbortedSaveLeavesTheEarlierFile) {
    const std::string earlier(500, 'e');
    const QString name = withContent("c.hcmc", earlier);
    QMXHConfiguration config;
    fill(config, 0x3D01);

    // A disk that takes 1000 bytes a file.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{1000, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome full = save(name, config);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(full.errors, std::vector<int>{kHcFileWriteError});
    EXPECT_EQ(contentOf(name), earlier);

    // Abort pressed while the chunk at 88 is written.
    QMetaObject::Connection presser = QObject::connect(
        &worker.transporter, &ConfigTransporter::progress, &worker.transporter,
        [&](int value) {
            if (value == 4) worker.transporter.abortOperation();
        },
        Qt::DirectConnection);
    const Outcome aborted = save(name, config);
    EXPECT_EQ(aborted.errors, std::vector<int>{kHcAborted});
    EXPECT_EQ(aborted.progress.back(), 4);
    EXPECT_EQ(contentOf(name), earlier);

    // And an aborted load leaves the configuration.
    const QString good = path("d.hcmc");
    QMXHConfiguration other;
    fill(other, 0xFD01);
    QObject::disconnect(presser);
    ASSERT_EQ(save(good, other).errors, std::vector<int>{kHcNoError});
    presser = QObject::connect(
        &worker.transporter, &ConfigTransporter::progress, &worker.transporter,
        [&](int value) {
            if (value == 4) worker.transporter.abortOperation();
        },
        Qt::DirectConnection);
    EXPECT_EQ(load(good, config).errors, std::vector<int>{kHcAborted});
    EXPECT_EQ(config.type(), 0x3D01);
    EXPECT_EQ(imageOf(config), imageFor(0x3D01));

    QObject::disconnect(presser);

    // No folder to write in.
    EXPECT_EQ(save(path("no/such/folder.hcmc"), config).errors,
              std::vector<int>{kHcFileWriteError});
}

}  // namespace
