#include "ui/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace korimbo {

bool InstallQtTranslation(const QString& programFolder) {
    // The window speaks Japanese whatever the session's locale, so Qt's texts follow it, not the locale.
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const QStringList folders{programFolder + QStringLiteral("/translations"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
    }
    return false;
}

} // namespace korimbo
