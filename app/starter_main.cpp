// zelkora-starter FILE: writes the starter project that run.sh gives a new working folder.
#include "app/starterproject.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: zelkora-starter FILE.rel\n", stderr);
        return 2;
    }
    // The window is built but never shown, so no display is needed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!WriteStarterProject(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "zelkora-starter: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
