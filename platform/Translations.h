#pragma once

class QCoreApplication;

namespace orv {

// Installs Qt's own Polish texts (dialogs, context menus, standard buttons) whatever the user's locale,
// as the rest of the program speaks Polish. False when the catalogue is not installed; Qt then stays
// English.
bool InstallPolishQtTranslations(QCoreApplication& app);

} // namespace orv
