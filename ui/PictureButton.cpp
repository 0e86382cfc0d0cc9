#include "ui/PictureButton.h"

#include <QMouseEvent>

namespace orv {

TPictureButton::TPictureButton(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
}

// The widget itself stays enabled: a disabled label would grey its picture, and the pictures of a
// disabled button (dimmed tabs, the locked menu) are drawn as they should look.
void TPictureButton::SetButtonEnabled(bool enabled) {
    enabled_ = enabled;
    setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
}

void TPictureButton::mousePressEvent(QMouseEvent* e) {
    emit pressed();
    e->accept();
}

void TPictureButton::mouseReleaseEvent(QMouseEvent* e) {
    if (enabled_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
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
    e->accept();
}

TPage::TPage(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
}

void TPage::mousePressEvent(QMouseEvent* e) {
    emit pressed();
    e->accept();
}

void TPage::mouseMoveEvent(QMouseEvent* e) {
    emit hovered();
    e->accept();
}

} // namespace orv
