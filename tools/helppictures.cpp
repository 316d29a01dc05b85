// zelkora-helppictures FOLDER: photographs the window as a newcomer meets it, with the
// starter project, in each of its three views, and the transfer dialog, for the help
// document. Run by tools/help-pictures.sh under Xvfb, so the pictures show the real window.
#include "app/helpdocument.h"
#include "app/starterproject.h"
#include "app/unit1.h"
#include "app/unit2.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

bool Save(QWidget *widget, const QString &path)
{
    QTest::qWait(200); // let the window paint its last change
    if (widget->grab().save(path))
        return true;
    std::fprintf(stderr, "zelkora-helppictures: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: zelkora-helppictures FOLDER\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    InstallGermanQtTranslations(app);
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);

    // A working folder as the launcher seeds it, so start-up shows the starter project. The
    // configuration folder is empty too: COM 1 finds no link of the user's.
    QTemporaryDir work;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QDir::setCurrent(work.path());
    if (!WriteStarterProject(QStringLiteral("Relaiskarte.rel")))
        return 1;
    QFile settings(QStringLiteral("ini.cfg"));
    if (!settings.open(QIODevice::WriteOnly) ||
        settings.write("0\r\nRelaiskarte.rel\r\nLeer\r\n") < 0)
        return 1;
    settings.close();

    TForm1 form;
    form.FormCreate();
    form.createTransferDialog();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    QTest::qWait(1200); // the clock and the link state after the first second
    bool ok = Save(&form, out + QStringLiteral("/fenster-timer.png"));
    form.findChild<QPushButton *>(QStringLiteral("Panel5"))->click();
    ok = Save(&form, out + QStringLiteral("/fenster-lauflicht.png")) && ok;
    form.findChild<QPushButton *>(QStringLiteral("Panel10"))->click();
    ok = Save(&form, out + QStringLiteral("/fenster-config.png")) && ok;
    form.findChild<QPushButton *>(QStringLiteral("Panel4"))->click();

    auto *dialog = form.findChild<TForm2 *>();
    dialog->open();
    ok = Save(dialog, out + QStringLiteral("/dialog-uebertragung.png")) && ok;
    dialog->close();
    return ok ? 0 : 1;
}
