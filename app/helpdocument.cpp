#include "app/helpdocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

bool InstallGermanQtTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_de"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QUrl HelpDocumentUrl()
{
    const QString chm = QDir::current().absoluteFilePath(QStringLiteral("zelkora.chm"));
    if (QFileInfo::exists(chm))
        return QUrl::fromLocalFile(chm);
    QStringList candidates;
    // Installed: the program lives in <prefix>/lib/zelkora, the help in <prefix>/share.
    if (QCoreApplication::instance())
        candidates << QCoreApplication::applicationDirPath() +
                          QStringLiteral("/../../share/zelkora/help/index.html");
#ifdef ZELKORA_SOURCE_HELP
    candidates << QStringLiteral(ZELKORA_SOURCE_HELP);
#endif
    for (const QString &candidate : candidates) {
        const QFileInfo file(candidate);
        if (file.isFile())
            return QUrl::fromLocalFile(file.canonicalFilePath());
    }
    return {};
}
