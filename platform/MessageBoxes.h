#pragma once
#include <QString>

namespace orv {

// The program's two message boxes. The windowed program installs boxes drawn with widgets; without
// one installed (command line, tests) the texts go to standard error and questions take the
// default answer.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Caption "Potwierdzenie", question icon, Yes ("Tak") and No ("Nie"). True for Yes.
    virtual bool Question(const QString& text) = 0;
    // OK button, the program's title as caption.
    virtual void Information(const QString& text) = 0;
    // Same box for failures that stop an action.
    virtual void Error(const QString& text) = 0;
};

inline const QString kQuestionCaption = QStringLiteral("Potwierdzenie");
inline const QString kProgramTitle = QStringLiteral("Orvanta");

// Installs the boxes used from now on (not owned); nullptr restores the console boxes.
void SetMessageBoxes(MessageBoxes* boxes);
MessageBoxes& Boxes();

// Console boxes answer questions with this value (Yes unless changed).
void SetConsoleDefaultAnswer(bool yes);

} // namespace orv
