#include <QFile>

#include "ConfigurationFile.h"
#include "VeltraxIO.h"
#include "WindowFixture.h"
#include "common/CtlLibrary.h"

namespace hcwindowtest {

void prepareEnvironment() {
    static const bool prepared = [] {
        qmx::setVeltraxCTLFileName("libqmxtest-absent-veltraxctl.so");
        return true;
    }();
    (void)prepared;
}

void rescanUsb() {
    char list[4096];
    size_t length = sizeof list;
    VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan\n", list, &length);
}

QString WindowTest::fileOf(int type) {
    QByteArray content = hcmc::header(type);
    const int size = QMXHConfiguration::geometryOf(type)->imageSize;
    for (int i = 0; i < size; ++i) content.append(static_cast<char>(i * 7 + 3));
    const QString name = dir.filePath(QStringLiteral("%1.hcmc").arg(type, 0, 16));
    QFile file(name);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    return name;
}

void WindowTest::loadBad() {
    QFile file(dir.filePath(QStringLiteral("bad.hcmc")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("QMXH Configuratio!");
    file.close();
    dialogs.answerFile(file.fileName());
    trigger("actionLoad_from_file");
}

}  // namespace hcwindowtest
