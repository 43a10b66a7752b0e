#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <chrono>
#include <cstdio>

#include "VXSlider.h"
#include "support/Xvfb.h"

namespace {

constexpr int kSkipped = 77;

class ProbedSlider : public VXSlider {
public:
    QRect handle() {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    }
};

bool waitFor(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QTest::qWait(5);
    }
    return true;
}

TEST(VXSliderDragTest, DraggingPastTheEndKeepsThePointerOnTheLastColumn) {
    struct Row {
        int beyond;  // how far past the right end the pointer is moved
    };
    for (const Row row : {Row{50}, Row{1}, Row{400}}) {
        ProbedSlider slider;
        slider.setRange(0, 100);
        slider.setValue(0);
        slider.setGeometry(100, 100, 200, 30);
        slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
        const QPoint grip = slider.handle().center();
        QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, grip);
        const QPoint outside(slider.width() - 1 + row.beyond, grip.y());
        QMouseEvent move(QEvent::MouseMove, outside, slider.mapToGlobal(outside), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&slider, &move);
        const QPoint lastColumn = slider.mapToGlobal(QPoint(slider.width() - 1, grip.y()));
        EXPECT_TRUE(waitFor([&] { return QCursor::pos() == lastColumn; }))
            << row.beyond << ": pointer at " << QCursor::pos().x() << "," << QCursor::pos().y()
            << ", expected " << lastColumn.x() << "," << lastColumn.y();
        EXPECT_EQ(slider.value(), slider.maximum()) << row.beyond;
        QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, grip);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    vxtest::XvfbServer server;
    if (!server.running()) {
        std::fprintf(stderr, "no X server (Xvfb) could be started: skipped\n");
        return kSkipped;
    }
    qputenv("DISPLAY", QByteArray::fromStdString(server.display()));
    qputenv("QT_QPA_PLATFORM", "xcb");
    // No OpenGL: its X11 integration keeps memory LeakSanitizer cannot
    // attribute, and the slider does not need it.
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    int status;
    {
        QApplication application(argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
