#pragma once

#include <QPoint>
#include <QSize>
#include <QSlider>

// A horizontal slider that keeps the mouse pointer on itself while its
// handle is dragged.
class VXSlider : public QSlider {
    Q_OBJECT

public:
    explicit VXSlider(QWidget* parent = nullptr);

    // `position` moved into a widget of `size` (0 to size - 1 on each axis);
    // `moved` tells whether it had to be.
    struct Clamped {
        QPoint position;
        bool moved = false;
    };
    static Clamped clampInto(QPoint position, QSize size);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};
