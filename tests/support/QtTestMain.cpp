// The main of the Qt tests: one application object, on the offscreen
// platform unless the environment names another, around all of them.
#include <gtest/gtest.h>

#include <QApplication>

// LeakSanitizer: allocations that Qt and fontconfig make once and keep until
// the process ends (the offscreen platform's screens among them). Read by
// the sanitizer itself, so listing the tests is covered too.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libQt5Core.so\n"
           "leak:libQt5Gui.so\n"
           "leak:libQt5Widgets.so\n"
           "leak:libqoffscreen.so\n"
           "leak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
