#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace orv {

bool InstallPolishQtTranslations(QCoreApplication& app) {
    // Owned by the application: translations must outlive every window.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("qt"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace orv
