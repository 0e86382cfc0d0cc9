#pragma once
#include "platform/MessageBoxes.h"

class QWidget;

namespace orv {

// Message boxes drawn with widgets, with Polish button texts.
class WidgetMessageBoxes final : public MessageBoxes {
public:
    explicit WidgetMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    bool Question(const QString& text) override;
    void Information(const QString& text) override;
    void Error(const QString& text) override;

private:
    QWidget* owner_;
};

} // namespace orv
