#include "app/helpdocument.h"
#include "app/unit1.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>
#include <QSessionManager>

#include <cstdio>

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

    // One window per working folder: a second one would load the same project and write its
    // image and ini.cfg over the other's when it closes. A lock left by a crash is stale and
    // taken over; a folder that refuses the lock cannot be saved to either way.
    QLockFile lock(QDir::current().filePath(QStringLiteral("zelkora.lock")));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0) && lock.error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host, program;
        lock.getLockInfo(&pid, &host, &program);
        const QString text = QStringLiteral("Zelkora läuft in diesem Ordner schon (Prozess %1): %2")
                                 .arg(pid)
                                 .arg(QDir::currentPath());
        std::fprintf(stderr, "zelkora: %s\n", qPrintable(text));
        QMessageBox::critical(nullptr, QStringLiteral("Zelkora"), text + QLatin1Char('.'));
        return 1;
    }

    TForm1 form1;
    // The desktop session ending asks to commit the data: the close's saves, without asking.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1,
                     [&form1](QSessionManager &) { form1.saveForEnd(); });
    int endCode = -1;
#ifndef Q_OS_WIN
    // "Every close saves", also when the system ends the program: from the first moment, so
    // an end during a start-up box (which waits in a loop of its own) saves too.
    // A closed terminal, Ctrl-C and Ctrl-\ in it, a desktop or system going down: all save.
    EndSignals ends({SIGTERM, SIGHUP, SIGINT, SIGQUIT});
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
