// The main of the programs' end-to-end tests: a private X server for the
// whole run, its display in DISPLAY and the xcb platform for Qt, the user's
// configuration folder a temporary one; skipped (77) where there is no X
// server to start.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "e2e/programs/Display.h"
#include "support/XWindows.h"
#include "support/Xvfb.h"

#ifdef VX_E2E_QT
#include <QApplication>
#endif
#ifdef VX_E2E_IN_NETNS
#include "support/netns/TestNamespace.h"
#endif

namespace e2e {
namespace {
std::string& displayName() {
    static std::string name;
    return name;
}
}  // namespace
const std::string& display() { return displayName(); }
}  // namespace e2e

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef VX_E2E_IN_NETNS
    // The configuration tool searches the network: only inside the test namespace.
    const std::string problem = vxtest::netns::checkTestNamespace();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: refusing to run: %s\n", argv[0], problem.c_str());
        return 1;
    }
#endif
    // Large enough for every window to lie wholly on the screen.
    vxtest::XvfbServer server(std::chrono::seconds(20), "1600x1200x24", true);
    // The run's own client: the server lives as long as this process does.
    vxtest::XWindows keeper(server.display());
    if (!server.running() || !keeper.usable()) {
        std::fprintf(stderr, "%s: no X server (Xvfb) could be started; skipped\n", argv[0]);
        return 77;
    }
    e2e::displayName() = server.display();
    ::setenv("DISPLAY", server.display().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    // No OpenGL: its drivers keep memory that LeakSanitizer cannot name.
    ::setenv("QT_XCB_GL_INTEGRATION", "none", 1);
    char pattern[] = "/tmp/vxe2e-configXXXXXX";
    const char* home = ::mkdtemp(pattern);
    if (!home) return 1;
    ::setenv("XDG_CONFIG_HOME", home, 1);
    int status = 0;
    {
#ifdef VX_E2E_QT
        QApplication application(argc, argv);
#endif
        status = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return status;
}
