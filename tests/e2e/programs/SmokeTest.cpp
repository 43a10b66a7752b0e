// Each GUI program started as a process of its own on the private X server,
// with a configuration folder and a working folder of its own: found by its
// title, closed as a window manager closes it, ending with exit code 0.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "ConsoleSession.h"
#include "e2e/programs/Display.h"
#include "support/XWindows.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A temporary folder, removed with everything in it.
class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/vxsmokeXXXXXX";
        if (const char* made = ::mkdtemp(pattern)) path_ = made;
    }
    ~Folder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct Program {
    const char* name;
    const char* path;
    const char* title;
    const char* writes;  // below the configuration folder; empty: nothing asked
};

class Smoke : public ::testing::TestWithParam<Program> {
protected:
    Smoke() : previous_(fs::current_path()) {
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        fs::current_path(work.path());
    }
    ~Smoke() override { fs::current_path(previous_); }

    Folder config;
    Folder work;

private:
    fs::path previous_;
};

TEST_P(Smoke, StartsShowsItsTitleAndClosesWithExitCodeZero) {
    const Program& program = GetParam();
    const auto started = std::chrono::steady_clock::now();
    nettest::ChildProcess child({program.path});
    ASSERT_TRUE(child.started());
    vxtest::XWindows windows(e2e::display());
    ASSERT_TRUE(windows.usable());
    const unsigned long window = windows.waitForWindow(program.title, 30s);
    ASSERT_NE(window, 0u) << "no window titled " << program.title;
    const auto [width, height] = windows.size(window);
    EXPECT_GT(width, 100);
    EXPECT_GT(height, 100);
    ASSERT_TRUE(windows.sendDeleteWindow(window));
    EXPECT_EQ(child.waitExit(30s), 0) << child.err();
    std::printf("%s: window %dx%d, closed after %lld ms\n", program.name, width, height,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - started)
                                           .count()));
    if (*program.writes) {
        EXPECT_TRUE(fs::exists(config.path() + "/" + program.writes)) << program.writes;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, Smoke,
    ::testing::Values(Program{"configuration", CONFIGURATION_PROGRAM,
                              "QMX Configuration Tool 1.7.10", "Veltrax/QMXConfigurationTool.conf"},
                      Program{"terminal", TERMINAL_PROGRAM, "Textdesk v1.2.18", ""},
                      Program{"uploader", UPLOADER_PROGRAM, "QMX Firmware Uploader v3.3.9",
                              "Veltrax/QMXFirmwareUploader.conf"},
                      Program{"handcontrol", HANDCONTROL_PROGRAM, "QMXH Configurator v2.0.3", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The hand-control configurator takes no options: anything beyond Qt's own
// ends it at once, without a window.
TEST(SmokeArguments, HandControlConfiguratorWithAnArgumentEndsWithoutAWindow) {
    nettest::ChildProcess child({HANDCONTROL_PROGRAM, "extra"});
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.waitExit(30s), 0) << child.err();
    vxtest::XWindows windows(e2e::display());
    ASSERT_TRUE(windows.usable());
    EXPECT_EQ(windows.waitForWindow("QMXH Configurator v2.0.3", 0ms), 0u);
}

}  // namespace
