#include "helpdocument.h"
#include "unit1.h"

#include <QApplication>

#include <cstdio>

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
    TForm1 form1;
    form1.FormCreate();
    form1.createTransferDialog();
    form1.show();
    return QApplication::exec();
}
