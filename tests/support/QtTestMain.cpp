// The main of the Qt tests: one application object, on the offscreen
// platform unless the environment names another, around all of them.
#include <gtest/gtest.h>

#include <QApplication>

#ifdef VX_TEST_IN_NETNS
#include <cstdio>
#include <string>

#include "support/netns/TestNamespace.h"
#endif

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
#ifdef VX_TEST_IN_NETNS
    // Programs that search the network run nowhere but in the test namespace.
    const std::string problem = vxtest::netns::checkTestNamespace();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: refusing to run: %s\n", argv[0], problem.c_str());
        return 1;
    }
#endif
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
