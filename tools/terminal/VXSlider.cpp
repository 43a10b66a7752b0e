#include "VXSlider.h"

#include <QCursor>
#include <QMouseEvent>

#include <algorithm>

VXSlider::VXSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

VXSlider::Clamped VXSlider::clampInto(QPoint position, QSize size) {
    const QPoint clamped(std::clamp(position.x(), 0, std::max(size.width() - 1, 0)),
                         std::clamp(position.y(), 0, std::max(size.height() - 1, 0)));
    return {clamped, clamped != position};
}

void VXSlider::mouseMoveEvent(QMouseEvent* event) {
    const Clamped clamped = clampInto(event->pos(), size());
    QMouseEvent inside(event->type(), clamped.position, event->button(), event->buttons(),
                       event->modifiers());
    QSlider::mouseMoveEvent(&inside);
    if (clamped.moved) QCursor::setPos(mapToGlobal(clamped.position));
}
