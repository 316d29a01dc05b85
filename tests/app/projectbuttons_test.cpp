// "Load" and "Save" through the real window: dialogs, project bytes, status panel, error box.
#include "tests/support/windowfixture.h"

#include <QTabWidget>

#include <cerrno>

namespace {
const QString Missing = QStringLiteral("Datei nicht gefunden.");
const QString PastEnd = QStringLiteral("Versuch hinter dem Dateiende zu lesen.");

// A save whose bytes get half-way onto the disk before the system reports `error`.
FileWriter FailingWriter(int error)
{
    return [error](QFileDevice &file, QByteArrayView data) {
        file.write(data.data(), data.size() / 2);
        errno = error;
        return false;
    };
}
} // namespace

class ProjectButtonsTest : public QObject
{
    Q_OBJECT

private slots:
    void saveThenLoadGivesTheProjectBack();
    void loadClearsByte903AndIgnoresBytesPastTheImage();
    void dialogs();
    void cancelledDialogsChangeNothing();
    void failedLoadKeepsImageAndPage_data();
    void failedLoadKeepsImageAndPage();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();
};

void ProjectButtonsTest::saveThenLoadGivesTheProjectBack()
{
    Window w;
    w.form->outarray();
    w.type("Edit9", QStringLiteral("Heizung"));
    w.click("CheckBox10");
    auto *notebook = w.control<QTabWidget>("TabbedNotebook1");
    notebook->setCurrentIndex(2);
    w.click("CheckBox12");
    w.type("Edit17", QStringLiteral("Keller"));

    // No suffix typed: the dialog adds "rel"; the existing file is replaced without a question.
    w.write(QStringLiteral("projekt.rel"), QByteArray(1024, '\x11'));
    w.answers << QStringLiteral("projekt");
    w.click("Button5");
    QCOMPARE(w.boxTexts(), QStringList{});
    QCOMPARE(w.files().ProjectPath(), w.path(QStringLiteral("projekt.rel")));
    QCOMPARE(w.statusText(), QStringLiteral(" Datei : projekt.rel"));
    const QByteArray saved = w.read(QStringLiteral("projekt.rel"));
    QCOMPARE(saved.size(), 1024);
    QCOMPARE(saved, w.imageBytes());
    // The names were captured by the save itself, they have no handler of their own.
    QCOMPARE(saved.mid(ImageOffset::nameSlot(0), 8), QByteArray("Heizung\0", 8));
    QCOMPARE(saved.mid(ImageOffset::CardName, 7), QByteArray("Keller\0", 7));

    w.type("Edit9", QStringLiteral("Anders"));
    w.click("CheckBox12");
    w.form->inarray();
    QVERIFY(w.imageBytes() != saved);

    w.answers << QStringLiteral("projekt.rel");
    w.click("Button4");
    QCOMPARE(w.boxTexts(), QStringList{});
    QCOMPARE(w.imageBytes(), saved);
    QCOMPARE(w.statusText(), QStringLiteral(" Datei : projekt.rel"));
    QVERIFY(w.control<QCheckBox>("CheckBox12")->isChecked());
    QCOMPARE(w.control<QLineEdit>("Edit9")->text(), QStringLiteral("Heizung"));
    notebook->setCurrentIndex(0);
    QVERIFY(w.control<QCheckBox>("CheckBox10")->isChecked());
    QVERIFY(!w.control<QCheckBox>("CheckBox12")->isChecked());
    QCOMPARE(notebook->tabText(0), QStringLiteral("Heizung"));
}

void ProjectButtonsTest::loadClearsByte903AndIgnoresBytesPastTheImage()
{
    Window w;
    const QByteArray project = ProjectBytes(QStringLiteral("Pumpe"));
    QCOMPARE(int(uchar(project[ImageOffset::Reserved903])), 0x5A);
    w.write(QStringLiteral("lang.rel"), project + QByteArray(300, '\x7F'));
    w.answers << QStringLiteral("lang.rel");
    w.click("Button4");
    QCOMPARE(w.boxTexts(), QStringList{});
    QByteArray expected = project;
    expected[ImageOffset::Reserved903] = 0;
    QCOMPARE(w.imageBytes(), expected);
    QCOMPARE(w.control<QLineEdit>("Edit9")->text(), QStringLiteral("Pumpe"));
    // Loading leaves the file alone even though it is opened for writing too.
    QCOMPARE(w.read(QStringLiteral("lang.rel")).size(), 1324);
}

void ProjectButtonsTest::dialogs()
{
    Window w;
    QFileDialog *open = w.files().OpenDialog1();
    QFileDialog *save = w.files().SaveDialog1();
    for (QFileDialog *dialog : {open, save}) {
        QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("rel (*.rel)")});
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("rel"));
        QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
        QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(dialog->parentWidget(), w.form.get());
    }
    QCOMPARE(open->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);

    QTemporaryDir elsewhere;
    const QString far = QDir(elsewhere.path()).filePath(QStringLiteral("fern.rel"));
    w.answers << far << QStringLiteral("a.rel") << QString() << QString();
    w.click("Button5"); // save into another folder
    w.click("Button4"); // the open dialog still starts in the working folder
    w.click("Button5"); // cancelled: offered the last name chosen in the save dialog
    w.click("Button4");
    QCOMPARE(w.dialogs.size(), 4);
    const QString working = QDir::currentPath();
    QCOMPARE(w.dialogs[0].name, QStringLiteral("SaveDialog1"));
    QCOMPARE(w.dialogs[0].directory, working);
    QCOMPARE(w.dialogs[1].name, QStringLiteral("OpenDialog1"));
    QCOMPARE(w.dialogs[1].directory, working);
    QCOMPARE(w.dialogs[2].offered, far);
    QCOMPARE(w.dialogs[3].offered, w.path(QStringLiteral("a.rel")));
    QVERIFY(QFile::exists(far));
    // "a.rel" did not exist: the open dialog let it through and the load reported it.
    QCOMPARE(w.boxTexts(), QStringList{Missing});
    QVERIFY(IsErrorBox(w.boxes[0]));
}

void ProjectButtonsTest::cancelledDialogsChangeNothing()
{
    Window w(Window::Later);
    w.write(QStringLiteral("p.rel"), ProjectBytes(QStringLiteral("Licht")));
    w.start(false);
    w.answers << QStringLiteral("p.rel");
    w.click("Button4");
    const QByteArray image = w.imageBytes();
    w.type("Edit9", QStringLiteral("Neu"));
    w.click("Button4");
    w.click("Button5");
    QCOMPARE(w.dialogs.size(), 3);
    QCOMPARE(w.imageBytes(), image);
    QCOMPARE(w.control<QLineEdit>("Edit9")->text(), QStringLiteral("Neu"));
    QCOMPARE(w.files().ProjectPath(), w.path(QStringLiteral("p.rel")));
    QCOMPARE(QDir::current().entryList(QDir::Files), QStringList{QStringLiteral("p.rel")});
    QCOMPARE(w.boxes.size(), 0);
}

void ProjectButtonsTest::failedLoadKeepsImageAndPage_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QString>("message");
    QTest::newRow("zero length") << QByteArray("") << PastEnd;
    QTest::newRow("one byte short") << QByteArray(1023, '\x33') << PastEnd;
    QTest::newRow("half") << QByteArray(512, '\x44') << PastEnd;
    QTest::newRow("missing") << QByteArray() << Missing;
}

void ProjectButtonsTest::failedLoadKeepsImageAndPage()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    Window w(Window::Later);
    w.write(QStringLiteral("gut.rel"), ProjectBytes(QStringLiteral("Brunnen")));
    if (!content.isNull())
        w.write(QStringLiteral("bad.rel"), content);
    w.start(false);
    w.answers << QStringLiteral("gut.rel");
    w.click("Button4");
    w.click("CheckBox13");
    const QByteArray image = w.imageBytes();

    w.answers << QStringLiteral("bad.rel");
    w.click("Button4");
    QCOMPARE(w.boxTexts(), QStringList{message});
    QVERIFY(IsErrorBox(w.boxes[0]));
    QCOMPARE(w.imageBytes(), image);
    QCOMPARE(w.control<QLineEdit>("Edit9")->text(), QStringLiteral("Brunnen"));
    QVERIFY(w.control<QCheckBox>("CheckBox13")->isChecked());
    QCOMPARE(w.statusText(), QStringLiteral(" Datei : gut.rel"));
    // The project stays the one that was loaded: a close never writes over the file tried.
    QCOMPARE(w.files().ProjectPath(), w.path(QStringLiteral("gut.rel")));
    QVERIFY(w.close());
    QCOMPARE(w.read(QStringLiteral("bad.rel")), content);
}

void ProjectButtonsTest::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("error"); // 0: no writer of the test's own
    QTest::addColumn<QString>("message");
    QTest::newRow("disk full") << "alt.rel" << ENOSPC << QStringLiteral("Zu wenig Speicherplatz.");
    QTest::newRow("other error") << "alt.rel" << EIO << QStringLiteral("E/A-Fehler %1.").arg(EIO);
    QTest::newRow("no such folder") << "fehlt/alt.rel" << 0 << Missing;
}

void ProjectButtonsTest::failedSaveKeepsTheOldFile()
{
    QFETCH(QString, target);
    QFETCH(int, error);
    QFETCH(QString, message);
    Window w(Window::Later);
    const QByteArray old = ProjectBytes(QStringLiteral("Alt"));
    w.write(QStringLiteral("alt.rel"), old);
    w.start(false);
    if (error != 0)
        w.files().setWriter(FailingWriter(error));
    w.type("Edit9", QStringLiteral("Neu"));
    w.answers << target;
    w.click("Button5");
    QCOMPARE(w.boxTexts(), QStringList{message});
    QVERIFY(IsErrorBox(w.boxes[0]));
    QCOMPARE(w.read(QStringLiteral("alt.rel")), old);
    QCOMPARE(w.statusText(), QStringLiteral("Datei"));
    QCOMPARE(w.files().ProjectPath(), w.path(target));
    // The page was captured before the save was tried.
    QCOMPARE(w.imageBytes().mid(ImageOffset::nameSlot(0), 4), QByteArray("Neu\0", 4));
    QVERIFY(w.form->isVisible());
    QCOMPARE(QDir::current().entryList(QDir::Files), QStringList{QStringLiteral("alt.rel")});
}

QTEST_MAIN(ProjectButtonsTest)
#include "projectbuttons_test.moc"
