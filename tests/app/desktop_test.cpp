// The window with the desktop around it, under Xvfb: "Hilfe" asks the desktop's opener
// (xdg-open, here a stand-in of the test's own first in PATH) for the right document, and
// Qt's dialogs speak German.
#include "app/filecommands.h"
#include "app/helpdocument.h"
#include "tests/support/windowfixture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

class DesktopTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_bin.isValid() && m_work.isValid());
        // The stand-in writes what it was asked to open into a file of its own.
        const QString opener = m_bin.filePath(QStringLiteral("xdg-open"));
        QFile script(opener);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$0.log\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner));
        qputenv("PATH", m_bin.path().toLocal8Bit() + ':' + qgetenv("PATH"));
        QVERIFY(QDir::setCurrent(m_work.path()));
        QVERIFY(InstallGermanQtTranslations(*qApp));
    }

    void helpOpensTheChmWhenItIsThereElseTheHelpDocument()
    {
        Window w;
        // No zelkora.chm in the working folder: the program's own help.
        w.click(QStringLiteral("BitBtn1"));
        const QString help = QFileInfo(QStringLiteral(ZELKORA_SOURCE_TREE "/docs/help/index.html"))
                                 .canonicalFilePath();
        QTRY_COMPARE_WITH_TIMEOUT(requests(), QStringList{QUrl::fromLocalFile(help).toString()},
                                  5000);
        clearRequests();

        QFile chm(QStringLiteral("zelkora.chm"));
        QVERIFY(chm.open(QIODevice::WriteOnly));
        chm.close();
        w.click(QStringLiteral("BitBtn1"));
        const QString chmUrl =
            QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("zelkora.chm")))
                .toString();
        QTRY_COMPARE_WITH_TIMEOUT(requests(), QStringList{chmUrl}, 5000);
        QFile::remove(QStringLiteral("zelkora.chm"));
        clearRequests();
    }

    void fileDialogsAndTheErrorBoxSpeakGerman()
    {
        Window w;
        QFileDialog *load = w.files().OpenDialog1();
        load->setOption(QFileDialog::DontUseNativeDialog);
        load->open(); // not modal for the test: look at it, then close it
        QVERIFY(QTest::qWaitForWindowExposed(load));
        const QStringList texts = buttonTexts(load);
        QVERIFY2(texts.contains(QStringLiteral("Öffnen")),
                 qPrintable(texts.join(QLatin1Char('|'))));
        QVERIFY2(texts.contains(QStringLiteral("Abbrechen")),
                 qPrintable(texts.join(QLatin1Char('|'))));
        load->reject();

        QFileDialog *save = w.files().SaveDialog1();
        save->setOption(QFileDialog::DontUseNativeDialog);
        save->open();
        QVERIFY(QTest::qWaitForWindowExposed(save));
        const QStringList saveTexts = buttonTexts(save);
        QVERIFY2(saveTexts.contains(QStringLiteral("Speichern")),
                 qPrintable(saveTexts.join(QLatin1Char('|'))));
        save->reject();

        QMessageBox box(QMessageBox::Critical, QStringLiteral("Zelkora"), QStringLiteral("x"),
                        QMessageBox::Ok);
        QCOMPARE(box.button(QMessageBox::Ok)->text().remove(QLatin1Char('&')),
                 QStringLiteral("OK"));
    }

private:
    static QStringList buttonTexts(QWidget *dialog)
    {
        QStringList texts;
        for (const QDialogButtonBox *box : dialog->findChildren<QDialogButtonBox *>())
            for (const QAbstractButton *button : box->buttons())
                texts << button->text().remove(QLatin1Char('&')); // the mnemonic's marker
        return texts;
    }
    QStringList requests() const
    {
        QFile log(m_bin.filePath(QStringLiteral("xdg-open.log")));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void clearRequests() { QFile::remove(m_bin.filePath(QStringLiteral("xdg-open.log"))); }

    QTemporaryDir m_bin;
    QTemporaryDir m_work;
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
