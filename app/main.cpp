#include "app/filecommands.h"
#include "app/helpdocument.h"
#include "app/unit1.h"
#include "config/fileaccess.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>
#include <QSessionManager>

#include <cstdio>
#include <cstdlib>

#ifndef Q_OS_WIN
#include "link/endsignals.h"

#include <csignal>
#endif

namespace {

// Without a platform QApplication aborts with a long diagnostic; say it in one line instead.
bool DisplayAvailable()
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD) || defined(Q_OS_OPENBSD) || defined(Q_OS_NETBSD)
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    if (!DisplayAvailable()) {
        std::fputs("zelkora: keine grafische Anzeige gefunden (DISPLAY und WAYLAND_DISPLAY sind "
                   "nicht gesetzt)\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    InstallGermanQtTranslations(app);
#ifndef Q_OS_WIN
    // "Every close saves", also when the system ends the program: caught from the first
    // moment (before the lock shows that the window runs), so an end during start-up, or
    // during a start-up box that waits in a loop of its own, saves once the window can.
    // A closed terminal, Ctrl-C and Ctrl-\ in it, a desktop or system going down: all save.
    EndSignals ends({SIGTERM, SIGHUP, SIGINT, SIGQUIT});
    // Until the window exists there is nothing to save: an end signal ends at once, also in
    // a box that waits in a loop of its own.
    QMetaObject::Connection endBeforeWindow = QObject::connect(
        &ends, &EndSignals::endRequested, &app, [](int number) { std::_Exit(128 + number); });
#endif
    const auto say = [](const QString &text) {
        std::fprintf(stderr, "zelkora: %s\n", qPrintable(text));
        QMessageBox::critical(nullptr, QStringLiteral("Zelkora"), text + QLatin1Char('.'));
    };

    // In a folder that others may write to, their ini.cfg or lock is not ours to act on: one
    // planted there would choose which of our files a close writes over, or keep us out.
    const QString folder = QDir::currentPath();
    const QString foreignLock = ForeignFileIn(folder, QStringLiteral("zelkora.lock"), false);
    const QString foreignSettings =
        ForeignFileIn(folder, QLatin1String(FileCommands::SettingsFileName), true);
    const bool guest = !foreignLock.isEmpty() || !foreignSettings.isEmpty();
    if (guest)
        say((foreignSettings.isEmpty() ? foreignLock : foreignSettings) +
            QStringLiteral("; Zelkora startet ohne Projekt"));

    // One window per working folder: a second one would load the same project and write its
    // image and ini.cfg over the other's when it closes. A lock left by a crash is stale and
    // taken over; a lock that cannot be made at all keeps the window from starting, since
    // nothing would then keep a second one off.
    QLockFile lock(QDir::current().filePath(QStringLiteral("zelkora.lock")));
    lock.setStaleLockTime(0);
    if (foreignLock.isEmpty() && !lock.tryLock(0)) {
        qint64 pid = 0;
        QString host, program;
        if (lock.error() == QLockFile::LockFailedError && lock.getLockInfo(&pid, &host, &program)) {
            say(QStringLiteral("Zelkora läuft in diesem Ordner schon (Prozess %1): %2")
                    .arg(pid)
                    .arg(folder));
        } else {
            say(QStringLiteral("Sperrdatei zelkora.lock in %1 lässt sich nicht anlegen (%2): "
                               "Zelkora startet hier nicht")
                    .arg(folder,
                         lock.error() == QLockFile::PermissionError
                             ? QStringLiteral("keine Berechtigung")
                         : lock.error() == QLockFile::LockFailedError
                             ? QStringLiteral("dort steht etwas anderes als eine Sperrdatei")
                             : QStringLiteral("Fehler des Dateisystems")));
        }
        return 1;
    }

    TForm1 form1;
    if (guest)
        form1.refuseSettingsFile();
    // The desktop session ending asks to commit the data: the close's saves, without asking.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1,
                     [&form1](QSessionManager &) { form1.saveForEnd(); });
    int endCode = -1;
#ifndef Q_OS_WIN
    QObject::disconnect(endBeforeWindow);
    QObject::connect(&ends, &EndSignals::endRequested, &form1, [&form1, &endCode](int) {
        if (endCode >= 0)
            return;
        endCode = form1.saveForEnd() ? 0 : 1;
        QCoreApplication::exit(endCode);
    });
#endif
    form1.FormCreate();
    if (endCode >= 0)
        return endCode;
    form1.createTransferDialog();
    form1.show();
    const int code = QApplication::exec();
    return endCode >= 0 ? endCode : code;
}
