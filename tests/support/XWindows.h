#pragma once

#include <chrono>
#include <string>
#include <utility>

// Xlib's display, declared here so that users need not include Xlib.
struct _XDisplay;

namespace vxtest {

// A client of an X server that does what a window manager does for a
// person: finds a program's top-level window by its title and asks it to
// close (WM_DELETE_WINDOW).
class XWindows {
public:
    // `display` as in DISPLAY (":3"). usable() is false when it cannot connect.
    explicit XWindows(const std::string& display);
    ~XWindows();
    XWindows(const XWindows&) = delete;
    XWindows& operator=(const XWindows&) = delete;

    bool usable() const { return display_ != nullptr; }

    // The window whose title is `title`, waiting for the server's events up
    // to `deadline`; 0 when none shows by then.
    unsigned long waitForWindow(const std::string& title, std::chrono::milliseconds deadline);
    // The title of `window` (_NET_WM_NAME, else WM_NAME); empty when it has none.
    std::string title(unsigned long window);
    // Width and height as the server has them; {0, 0} for a window that is gone.
    std::pair<int, int> size(unsigned long window);
    // The window manager's close request.
    bool sendDeleteWindow(unsigned long window);

private:
    unsigned long find(const std::string& title);

    ::_XDisplay* display_ = nullptr;
};

}  // namespace vxtest
