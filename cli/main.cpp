// zelkora-cli: projects as text, their differences, a week plan picture, and the card errands
// for many cards at once.

#include "cli/clicommands.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cerrno>
#include <cstdio>
#include <memory>
#ifdef _WIN32
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {
// Qt's notes about the environment (no XDG_RUNTIME_DIR on a server) are no concern of the
// tool's user; everything else still goes to standard error.
void FilterQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg && message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}
} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(FilterQtMessages);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    // Pictures need fonts and so a QGuiApplication, but never a screen: the offscreen
    // platform runs on a server, over ssh and in CI alike.
    std::unique_ptr<QCoreApplication> app;
    if (Cli::NeedsGui(arguments)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("zelkora-cli"));

    Cli::Streams streams;
#ifdef _WIN32
    streams.terminal = _isatty(_fileno(stdout)) != 0;
    streams.answerable = _isatty(_fileno(stdin)) != 0;
#else
    streams.terminal = isatty(STDOUT_FILENO) == 1;
    streams.answerable = isatty(STDIN_FILENO) == 1;
    winsize size{};
    if (streams.terminal && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 &&
        size.ws_col > 0) {
        streams.rows = size.ws_row;
        streams.columns = size.ws_col;
    }
    // Colours as terminal programs agree: not on a dumb terminal, not where NO_COLOR is set.
    const QByteArray term = qgetenv("TERM");
    streams.colours = streams.terminal && !term.isEmpty() && term != "dumb" &&
                      qEnvironmentVariableIsEmpty("NO_COLOR");
#endif
    int status = Cli::Run(arguments, streams);
    // What was written may still sit in the buffer: a full disk or a closed pipe shows only
    // when it leaves. A result that never arrived is no success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || std::fclose(stdout) != 0) {
        std::fprintf(stderr, "zelkora-cli: Standardausgabe: %s\n",
                     errno == ENOSPC ? "zu wenig Speicherplatz" : "lässt sich nicht schreiben");
        status = Cli::BadInput;
    }
    return status;
}
