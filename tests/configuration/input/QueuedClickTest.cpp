// User input that arrives while Connect runs, sent as real X events to a
// private X server (Xvfb), so that it travels the window system's queue as
// a user's click would.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <QApplication>
#include <QStatusBar>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "configuration/window/WindowFixture.h"
#include "support/Xvfb.h"
#include "support/netns/TestNamespace.h"

namespace {

using namespace windowtest;

constexpr int kSkipped = 77;
constexpr uint32_t kSpaceKeysym = 0x20;

std::string display;

// A second client of the X server that types on the keyboard: it sends key
// events to the window, as the server would for a user's key.
class Keyboard {
public:
    explicit Keyboard(const std::string& name) : connection_(xcb_connect(name.c_str(), nullptr)) {}
    ~Keyboard() { xcb_disconnect(connection_); }
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    bool usable() const { return !xcb_connection_has_error(connection_) && spaceKey() != 0; }

    // A press and a release of the space bar.
    void tapSpace(xcb_window_t window) {
        for (const uint8_t type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
            xcb_key_press_event_t event{};
            event.response_type = type;
            event.detail = spaceKey();
            event.root = root();
            event.event = window;
            event.same_screen = 1;
            // A release and a press at the same time would be taken for
            // the key repeating.
            event.time = ++time_;
            // No event mask: the event goes to the client that made the
            // window, whatever it selected.
            xcb_send_event(connection_, 0, window, 0, reinterpret_cast<const char*>(&event));
        }
    }

    // Returns once the server has handled everything sent before.
    void sync() {
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

private:
    xcb_window_t root() const {
        return xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }

    xcb_keycode_t spaceKey() const {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
        xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
            connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr);
        if (!mapping) return 0;
        const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping);
        xcb_keycode_t found = 0;
        for (int key = 0; key < count && !found; ++key) {
            for (int level = 0; level < mapping->keysyms_per_keycode; ++level) {
                if (symbols[key * mapping->keysyms_per_keycode + level] == kSpaceKeysym)
                    found = static_cast<xcb_keycode_t>(setup->min_keycode + key);
            }
        }
        std::free(mapping);
        return found;
    }

    xcb_connection_t* connection_;
    xcb_timestamp_t time_ = 0;
};

class QueuedClick : public WindowTest {};

TEST_F(QueuedClick, ReachesTheWindowOnlyAfterTheConnectBeforeItHasEnded) {
    Keyboard keyboard(display);
    ASSERT_TRUE(keyboard.usable());
    Controller controller(threeChannelSystem());
    QMXConfiguration window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    locator(window)->setEditText(controller.libraryLocator());
    button(window, "connectButton")->setFocus();
    QStringList messages;
    QObject::connect(child<QStatusBar>(window, "statusBar"), &QStatusBar::messageChanged,
                     [&](const QString& message) {
                         if (!message.isEmpty()) messages << message;
                     });

    // Two clicks in a row: the second waits in the queue while the first
    // connects and reads, then disconnects.
    keyboard.tapSpace(static_cast<xcb_window_t>(window.winId()));
    keyboard.tapSpace(static_cast<xcb_window_t>(window.winId()));
    keyboard.sync();
    ASSERT_TRUE(waitFor([&] { return status(window) == "Disonnected."; }))
        << messages.join(", ").toStdString();
    EXPECT_EQ(messages, (QStringList{"Connecting...", "Reading configuration...",
                                     "Configuration read.", "Connected.", "Disonnected."}))
        << messages.join(", ").toStdString();
    EXPECT_EQ(controller.binaryServer.accepted(), 1u);
    EXPECT_EQ(bar(window), kDisconnectedBar);
    EXPECT_TRUE(dialogs.boxes().empty());
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string problem = vxtest::netns::checkTestNamespace();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: refusing to run: %s\n", argv[0], problem.c_str());
        return 1;
    }
    vxtest::XvfbServer server;
    if (!server.running()) {
        std::fprintf(stderr, "no X server (Xvfb) could be started: skipped\n");
        return kSkipped;
    }
    display = server.display();
    qputenv("DISPLAY", QByteArray::fromStdString(display));
    qputenv("QT_QPA_PLATFORM", "xcb");
    // No OpenGL: its X11 integration keeps memory LeakSanitizer cannot
    // attribute, and the window does not need it.
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    int status;
    {
        QApplication application(argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
