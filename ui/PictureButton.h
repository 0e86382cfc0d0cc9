#pragma once
#include <QLabel>

namespace orv {

// A label that shows a picture and reports clicks, presses and pointer moves. A disabled button lets
// the pointer through to what lies beneath, normally the background.
class TPictureButton : public QLabel {
    Q_OBJECT
public:
    explicit TPictureButton(QWidget* parent = nullptr);
    void SetButtonEnabled(bool enabled);
    bool ButtonEnabled() const { return enabled_; }

signals:
    void clicked();
    void pressed();
    void hovered();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;

private:
    bool enabled_ = true;
};

// A passive label or picture. The window connects its presses (window move) and pointer moves
// (background reset); a press that is not connected does nothing, and neither event reaches the page.
class TPassiveLabel : public QLabel {
    Q_OBJECT
public:
    explicit TPassiveLabel(QWidget* parent = nullptr);

signals:
    void pressed();
    void hovered();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
};

// A page of the page control: presses start moving the window, pointer moves run the background reset.
class TPage : public QWidget {
    Q_OBJECT
public:
    explicit TPage(QWidget* parent = nullptr);

signals:
    void pressed();
    void hovered();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
};

} // namespace orv
