#pragma once
#include <QString>

#include <functional>

namespace orv {

// Opens an address in the user's default browser; the outcome is not examined.
void OpenInBrowser(const QString& address);
// Ends the program's event loop after the current event.
void QuitProgram();

// Replacements for the two desktop actions (tests record them); an empty function restores the default.
void SetBrowserOpener(std::function<void(const QString&)> opener);
void SetQuitAction(std::function<void()> quit);

} // namespace orv
