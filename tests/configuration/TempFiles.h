#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <string>

namespace vxtest {

// A temporary folder for a file-format test: files written with given
// bytes and read back whole.
class TempFiles : public ::testing::Test {
protected:
    explicit TempFiles(const char* inputName) : inputName_(inputName) {}

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    // The input file, holding exactly `content`.
    QString withContent(const std::string& content) const {
        const QString name = path(inputName_);
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content.data(), static_cast<qint64>(content.size()));
        return name;
    }
    std::string contentOf(const QString& name) const {
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll().toStdString();
    }

    QTemporaryDir dir;

private:
    const char* inputName_;
};

}  // namespace vxtest
