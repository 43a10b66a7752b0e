#include "QMXHEditor.h"

QMXHEditor::QMXHEditor(QWidget* parent) : QWidget(parent) {}

void QMXHEditor::setConfiguration(QMXHConfiguration* configuration) {
    configuration_ = configuration;
}

void QMXHEditor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateGeometry();
}
