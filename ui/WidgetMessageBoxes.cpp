#include "ui/WidgetMessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace orv {

bool WidgetMessageBoxes::Question(const QString& text) {
    QMessageBox box(QMessageBox::Question, kQuestionCaption, text, QMessageBox::NoButton, owner_);
    QPushButton* yes = box.addButton(QStringLiteral("Tak"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Nie"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void WidgetMessageBoxes::Information(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kProgramTitle, text, QMessageBox::Ok, owner_);
    box.exec();
}

void WidgetMessageBoxes::Error(const QString& text) {
    QMessageBox box(QMessageBox::Critical, kProgramTitle, text, QMessageBox::Ok, owner_);
    box.exec();
}

} // namespace orv
