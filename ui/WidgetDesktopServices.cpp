#include "ui/WidgetDesktopServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QUrl>

namespace orv {

void WidgetDesktopServices::OpenUrl(const QString& address) {
    if (!address.isEmpty())
        QDesktopServices::openUrl(QUrl(address, QUrl::StrictMode));
}

void WidgetDesktopServices::SetClipboardText(const QString& text) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

QString WidgetDesktopServices::ChooseSaveFile(const SaveFileRequest& request) {
    QWidget* parent = owner_ ? owner_ : QApplication::activeWindow();
    QFileDialog dialog(parent, request.caption, QDir::homePath());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The same Polish dialog on every desktop, whatever the platform's own would be.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(request.filters);
    dialog.setDefaultSuffix(request.suffix);
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

} // namespace orv
