// The window's start and its idle load, as a user's desktop sees them; run under Xvfb:
//   xvfb-run -a build/bench/startup_bench [rounds]        default 5 rounds
// 1. Time from starting the program to its first window mapped on the screen, for the real
//    window and for a minimal Qt window that this benchmark builds itself (--minimal), median
//    of the rounds each.
// 2. The window's CPU use while it sits idle for 10 s in each state of its port: open (a
//    virtual card), not found (a link that points nowhere), no device (COM 5 where there is no
//    fifth port) and gone (the card hung up).
#include "tools/cardsim_pty.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string> &argv, const QString &cwd,
            const std::vector<std::string> &env)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!cwd.isEmpty() && ::chdir(QFile::encodeName(cwd).constData()) != 0)
            ::_exit(127);
        for (const std::string &e : env)
            ::putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

void End(pid_t pid)
{
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Milliseconds from the start of a program to the first top-level window it maps.
double TimeToWindow(Display *display, const std::vector<std::string> &argv, const QString &cwd,
                    const std::vector<std::string> &env)
{
    ::XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    ::XSync(display, True);
    const auto start = Clock::now();
    const pid_t pid = Spawn(argv, cwd, env);
    double ms = -1;
    while (Clock::now() - start < std::chrono::seconds(10)) {
        while (::XPending(display)) {
            XEvent event;
            ::XNextEvent(display, &event);
            if (event.type == MapNotify && ms < 0)
                ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        if (ms >= 0)
            break;
        ::usleep(200);
    }
    End(pid);
    return ms;
}

double CpuSeconds(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(::sysconf(_SC_CLK_TCK));
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && std::string(argv[1]) == "--minimal") {
        QApplication app(argc, argv);
        QWidget window;
        window.setWindowTitle(QStringLiteral("Minimal"));
        window.resize(680, 440);
        window.show();
        return app.exec();
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    Display *display = ::XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display: run under xvfb-run\n");
        return 1;
    }
    const std::string self =
        QFile::encodeName(QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath())
            .toStdString();
    const std::string program = ZELKORA_PROGRAM;
    QTemporaryDir work, config;
    const auto project = [&](int portIndex) {
        QFile ini(work.filePath(QStringLiteral("ini.cfg")));
        ini.open(QIODevice::WriteOnly);
        ini.write(QByteArray::number(portIndex) + "\r\nRelaiskarte.rel\r\nLeer\r\n");
        ini.close();
        QFile::remove(work.filePath(QStringLiteral("Relaiskarte.rel")));
        QFile::copy(QStringLiteral(ZELKORA_STARTER_PROJECT),
                    work.filePath(QStringLiteral("Relaiskarte.rel")));
        QFile::setPermissions(work.filePath(QStringLiteral("Relaiskarte.rel")),
                              QFile::ReadOwner | QFile::WriteOwner);
    };
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + config.path().toStdString(),
                                       "XDG_STATE_HOME=" + config.path().toStdString(),
                                       "QT_QPA_PLATFORM=xcb"};
    project(4);
    std::vector<double> minimal, real;
    for (int round = 0; round < rounds; ++round) {
        minimal.push_back(TimeToWindow(display, {self, "--minimal"}, {}, env));
        real.push_back(TimeToWindow(display, {program}, work.path(), env));
        QFile::remove(work.filePath(QStringLiteral("zelkora.lock")));
    }
    const double a = Median(minimal), b = Median(real);
    std::printf("start to first mapped window, median of %d: minimal Qt window %.1f ms, Zelkora "
                "%.1f ms, difference %.1f ms (target at most 50 ms)\n",
                rounds, a, b, b - a);

    // Idle load in each port state.
    const QString linkFolder = config.path() + QStringLiteral("/zelkora");
    QDir().mkpath(linkFolder);
    const QString com1 = linkFolder + QStringLiteral("/com1");
    struct State
    {
        const char *name;
        int portIndex;
    };
    for (const State &state :
         {State{"open", 0}, State{"not found", 0}, State{"no device", 4}, State{"gone", 0}}) {
        QFile::remove(com1);
        std::unique_ptr<CardSimPty> card;
        const std::string name = state.name;
        if (name == "open" || name == "gone") {
            card = std::make_unique<CardSimPty>(CardSimOptions{}, true);
            card->Open();
            card->LinkAs(config.path().toStdString(), 1);
            card->Start();
        } else if (name == "not found") {
            QFile::link(QStringLiteral("/dev/nirgends-zelkora"), com1);
        }
        project(state.portIndex);
        const pid_t pid = Spawn({program}, work.path(), env);
        QThread::msleep(2000);
        if (name == "gone")
            card.reset(); // the card hangs up; its link stays behind, pointing nowhere
        QThread::msleep(1000);
        const double before = CpuSeconds(pid);
        QThread::msleep(10000);
        const double used = CpuSeconds(pid) - before;
        End(pid);
        QFile::remove(work.filePath(QStringLiteral("zelkora.lock")));
        std::printf("idle for 10 s, port %-9s: %.2f %% of a core (target below 1 %%)\n", state.name,
                    used / 10.0 * 100.0);
    }
    ::XCloseDisplay(display);
    return 0;
}
