// What every window test relies on: the user's settings in a folder of their
// own, and only first-generation systems listed, whatever library is built
// beside the tests.
#include <QTemporaryDir>

#include "WindowFixture.h"
#include "common/CtlLibrary.h"

namespace windowtest {
namespace {

QTemporaryDir& configHome() {
    static QTemporaryDir folder;
    return folder;
}

}  // namespace

void prepareEnvironment() {
    static const bool prepared = [] {
        qputenv("XDG_CONFIG_HOME", configHome().path().toLocal8Bit());
        qmx::setVeltraxCTLFileName("libqmxtest-absent-veltraxctl.so");
        return true;
    }();
    (void)prepared;
}

QString settingsFile() {
    return configHome().path() + QStringLiteral("/Veltrax/QMXConfigurationTool.conf");
}

}  // namespace windowtest
