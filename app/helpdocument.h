#pragma once

#include <QString>
#include <QUrl>

class QCoreApplication;

// The window speaks German throughout, so Qt's own dialogs (file dialogs, the error box) do
// too, whatever the user's locale: Qt's German translations from where Qt keeps them.
// True when they were found.
bool InstallGermanQtTranslations(QCoreApplication &app);

// What "Hilfe" opens: "zelkora.chm" from the working folder when it is there, as the program
// always has; else the program's own help document, the installed copy beside the program
// or the one of the source tree it was built from. Empty when there is none.
QUrl HelpDocumentUrl();
