// What every window test relies on: the user's settings in a folder of their
// own, and only first-generation systems listed, whatever library is built
// beside the tests (the test that loads the second-generation library leaves
// no controller of it to find).
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

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
        // Qt fixes the settings folder at its first use: had that happened
        // earlier, the tests would write into the user's own settings.
        const QString used = QSettings(kOrganisation, kApplication).fileName();
        if (used != settingsFile()) {
            std::fprintf(stderr, "settings would go to %s\n", qPrintable(used));
            std::abort();
        }
        return true;
    }();
    (void)prepared;
}

QString settingsFile() {
    return configHome().path() + QStringLiteral("/Veltrax/QMXConfigurationTool.conf");
}

}  // namespace windowtest
