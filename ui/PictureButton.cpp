#include "ui/PictureButton.h"

#include <QMouseEvent>

namespace orv {

TPictureButton::TPictureButton(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
}

void TPictureButton::SetButtonEnabled(bool enabled) {
    // Not QWidget::setEnabled: a disabled label greys its picture, and the artwork already carries the
    // look of every state.
    enabled_ = enabled;
    setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
}

void TPictureButton::mousePressEvent(QMouseEvent* e) {
    emit pressed();
    e->accept();
}

void TPictureButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
    e->accept();
}

void TPictureButton::mouseMoveEvent(QMouseEvent* e) {
    emit hovered();
    e->accept();
}

void TPictureButton::enterEvent(QEnterEvent* e) {
    emit hovered();
    QLabel::enterEvent(e);
}

TPassiveLabel::TPassiveLabel(QWidget* parent) : QLabel(parent) {
    setMouseTracking(true);
}

void TPassiveLabel::mousePressEvent(QMouseEvent* e) {
    emit pressed();
    e->accept();
}

void TPassiveLabel::mouseMoveEvent(QMouseEvent* e) {
    emit hovered();
    QLabel::mouseMoveEvent(e);
}

} // namespace orv
