#include "support/XWindows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

namespace vxtest {

namespace {

// Windows come and go while they are looked at; the default handler would
// end the process on such a window's BadWindow.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

XWindows::XWindows(const std::string& display) {
    XSetErrorHandler(ignoreErrors);
    display_ = XOpenDisplay(display.c_str());
}

XWindows::~XWindows() {
    if (display_) XCloseDisplay(display_);
}

std::string XWindows::title(unsigned long window) {
    const Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(display_, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data && type == utf8 && format == 8)
        text.assign(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
    if (!text.empty()) return text;
    char* name = nullptr;
    if (XFetchName(display_, window, &name) && name) {
        text = name;
        XFree(name);
    }
    return text;
}

unsigned long XWindows::find(const std::string& wanted) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
        return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        // A title set from now on is reported as a property change.
        XSelectInput(display_, children[i], PropertyChangeMask);
        if (title(children[i]) == wanted) found = children[i];
    }
    if (children) XFree(children);
    return found;
}

unsigned long XWindows::waitForWindow(const std::string& wanted,
                                      std::chrono::milliseconds deadline) {
    if (!display_) return 0;
    const auto end = std::chrono::steady_clock::now() + deadline;
    // New top-level windows are reported from here on, so none is missed
    // between a look and the wait.
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XSync(display_, False);
    for (;;) {
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
        }
        if (const unsigned long window = find(wanted)) return window;
        XSync(display_, False);
        if (XPending(display_)) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        pollfd ready{ConnectionNumber(display_), POLLIN, 0};
        poll(&ready, 1, static_cast<int>(left.count()));
    }
}

std::pair<int, int> XWindows::size(unsigned long window) {
    XWindowAttributes attributes{};
    if (!display_ || !XGetWindowAttributes(display_, window, &attributes)) return {0, 0};
    return {attributes.width, attributes.height};
}

bool XWindows::sendDeleteWindow(unsigned long window) {
    if (!display_) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
    return sent != 0;
}

}  // namespace vxtest
