#pragma once
#include "platform/DesktopServices.h"

#include <QStringList>

#include <functional>

namespace orv::test {

// Desktop services that only record: the addresses opened, the clipboard, the save requests and the
// quits. Installed while it lives.
class RecordingDesktop final : public DesktopServices {
public:
    RecordingDesktop() : scope_(*this) {}
    void OpenUrl(const QString& address) override {
        if (!address.isEmpty())
            opened << address;
    }
    void SetClipboardText(const QString& text) override { clipboard = text; }
    QString ChooseSaveFile(const SaveFileRequest& request) override {
        saveRequests.push_back(request);
        return saveAnswer ? saveAnswer() : QString();
    }
    void Quit() override { ++quits; }

    QStringList opened;
    QString clipboard;
    std::vector<SaveFileRequest> saveRequests;
    std::function<QString()> saveAnswer; // none: the user cancels
    int quits = 0;

private:
    DesktopServicesScope scope_;
};

} // namespace orv::test
