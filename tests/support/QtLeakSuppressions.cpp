// LeakSanitizer: what Qt, its platform plugins (offscreen and X11) and
// fontconfig keep until the process ends.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libQt5Core.so\n"
           "leak:libQt5Gui.so\n"
           "leak:libQt5Widgets.so\n"
           "leak:libQt5XcbQpa.so\n"
           "leak:libqoffscreen.so\n"
           "leak:libqxcb.so\n"
           "leak:libxcb\n"
           "leak:libX11\n"
           "leak:libfontconfig.so\n"
           "leak:libdbus\n";
}
