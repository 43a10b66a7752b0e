#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSet>
#include <QString>
#include <QTest>
#include <QWidget>

#include <chrono>
#include <cstdio>

#include "e2e/programs/Display.h"
#include "support/XWindows.h"

namespace e2e {

// The distinct colours of `image`, counted up to `enough`.
inline int colours(const QImage& image, int enough = 16) {
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width() && seen.size() < enough; x += 3)
            seen.insert(image.pixel(x, y));
    return seen.size();
}

// Shows `window` if needed and saves what the X server shows of it as
// `name`.png in the screens folder. Checks that the server has it by
// `title`, at the window's size, and that the picture is not blank.
inline void saveScreen(QWidget& window, const QString& name, const QString& title) {
    if (!window.isVisible()) window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, 5000)) << name.toStdString();
    window.repaint();
    vxtest::XWindows x(display());
    ASSERT_TRUE(x.usable());
    EXPECT_EQ(x.title(window.winId()), title.toStdString());
    // A window grows to what its contents need once its layout requests
    // have been handled; the server and Qt then agree on its size.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    auto serverSize = [&] {
        const auto [w, h] = x.size(window.winId());
        return QSize(w, h);
    };
    do {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (serverSize() != window.size() && std::chrono::steady_clock::now() < end);
    const QSize size = serverSize();
    const int width = size.width();
    const int height = size.height();
    EXPECT_EQ(size, window.size());
    // The server has the pixels once Qt has flushed its backing store.
    QImage image;
    do {
        QApplication::processEvents();
        image = window.screen()->grabWindow(window.winId()).toImage();
    } while (colours(image) < 3 && std::chrono::steady_clock::now() < end);
    EXPECT_EQ(image.size(), QSize(width, height)) << name.toStdString();
    EXPECT_GE(colours(image), 3) << name.toStdString() << " is blank";
    const QString folder = QStringLiteral(VX_SCREENS_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + '/' + name + QStringLiteral(".png");
    ASSERT_TRUE(image.save(path)) << path.toStdString();
    std::printf("screenshot %s: %dx%d, \"%s\"\n", qPrintable(path), image.width(), image.height(),
                qPrintable(title));
}

// Asks `window` to close as a window manager does, and waits until it has.
inline bool closeAsWindowManager(QWidget& window) {
    vxtest::XWindows x(display());
    if (!x.sendDeleteWindow(window.winId())) return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (window.isVisible() && std::chrono::steady_clock::now() < end) QTest::qWait(5);
    return !window.isVisible();
}

}  // namespace e2e
