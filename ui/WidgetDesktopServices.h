#pragma once
#include "platform/DesktopServices.h"

class QWidget;

namespace orv {

// The desktop's browser and clipboard, and the save dialog drawn with widgets over the owner window.
class WidgetDesktopServices final : public DesktopServices {
public:
    explicit WidgetDesktopServices(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    void OpenUrl(const QString& address) override;
    void SetClipboardText(const QString& text) override;
    QString ChooseSaveFile(const SaveFileRequest& request) override;
    void Quit() override { QueueQuit(); }

private:
    QWidget* owner_;
};

} // namespace orv
