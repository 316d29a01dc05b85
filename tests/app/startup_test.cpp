// Start-up and close through the real window, each in a working folder of its own: ini.cfg,
// the project, page 1, the port, and what a failure leaves.
#include "app/cardlink.h"
#include "app/starterproject.h"
#include "link/linkengine.h"
#include "link/serialport.h"
#include "tests/support/windowfixture.h"
#include "tools/cardsim_pty.h"

#include <QTabWidget>
#include <random>

#include <cerrno>

namespace {
const QString Missing = QStringLiteral("Datei nicht gefunden.");
const QString DiskFull = QStringLiteral("Zu wenig Speicherplatz.");
const QString PastEnd = QStringLiteral("Versuch hinter dem Dateiende zu lesen.");

Transport &Port(const Window &w)
{
    return w.link().transport();
}

// With "IF K1" checked, checking "aktiv" of Timer 1 clears the input, but only once the
// editor rules are live.
bool RulesLive(Window &w)
{
    auto *input = w.control<QCheckBox>("CheckBox2");
    if (!input->isChecked())
        w.click("CheckBox2");
    w.click("CheckBox10");
    return !input->isChecked();
}

// Fails every save of a file whose name ends with `suffix`, as a full disk does.
FileWriter FailingFor(const QString &suffix)
{
    return [suffix](QFileDevice &file, QByteArrayView data) {
        if (!file.fileName().endsWith(suffix))
            return file.write(data.data(), data.size()) == data.size();
        errno = ENOSPC;
        return false;
    };
}
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startShowsPageOneOfTheLastProjectAndOpensThePort();
    void startupFailuresAndOddSettings_data();
    void startupFailuresAndOddSettings();
    void dialogsStartInTheWorkingFolderOfTheStart();
    void closeSavesAndTheNextStartHasTheEditsBack();
    void closeWithoutProjectAsksForOne();
    void closeNeverCutsAFileThatIsNoProject_data();
    void closeNeverCutsAFileThatIsNoProject();
    void readOnlyProjectOpensAndSaveElsewhereLetsTheWindowGo();
    void startAndCloseLeaveAProjectByteForByte();
    void failedCloseKeepsWindowAndOldFiles_data();
    void failedCloseKeepsWindowAndOldFiles();
    void projectOutsideTheWorkingFolderIsFoundAgain();
    void starterProject();

private:
    QString linkPath(const QString &name) const
    {
        return m_config.filePath(QStringLiteral("zelkora/") + name);
    }

    QTemporaryDir m_config;
};

void StartupTest::initTestCase()
{
    // Port links of the test's own, so the card simulator can stand in for a port.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
}

void StartupTest::init()
{
    // Every port is linked to a device that is not there, so no test can reach a real port.
    QDir(m_config.path()).mkpath(QStringLiteral("zelkora"));
    for (int n = 1; n <= 9; ++n) {
        const QString link = linkPath(QStringLiteral("com%1").arg(n));
        QFile::remove(link);
        QVERIFY(QFile::link(m_config.filePath(QStringLiteral("absent")), link));
    }
}

void StartupTest::startShowsPageOneOfTheLastProjectAndOpensThePort()
{
    CardSimPty card;
    std::string error;
    QVERIFY2(card.Open(&error), error.c_str());
    QVERIFY2(card.LinkAs(m_config.path().toStdString(), 3, &error), error.c_str());

    Window w(Window::Later);
    w.write(QStringLiteral("Keller.rel"), ProjectBytes(QStringLiteral("Heizung")));
    w.write(QStringLiteral("ini.cfg"), SettingsBytes(2, QStringLiteral("Keller.rel")));
    w.start();
    QCOMPARE(w.boxTexts(), QStringList{});
    QCOMPARE(w.link().engine().LinkStep(), LinkEngine::Idle);
    QCOMPARE(w.files().ProjectPath(), QStringLiteral("Keller.rel"));
    QCOMPARE(w.statusText(), QStringLiteral(" Datei : Keller.rel"));
    QCOMPARE(w.form->currentPage(), 0);
    QCOMPARE(w.control<QLineEdit>("Edit9")->text(), QStringLiteral("Heizung"));
    QCOMPARE(w.control<QTabWidget>("TabbedNotebook1")->tabText(0), QStringLiteral("Heizung"));
    QCOMPARE(int(w.form->configImage()[ImageOffset::Reserved903]), 0);

    auto *ports = w.control<QComboBox>("ComboBox1");
    QCOMPARE(ports->currentIndex(), 2);
    QCOMPARE(ports->currentText(), QStringLiteral("COM 3"));
    QVERIFY(Port(w).PortOpen());
    QCOMPARE(Port(w).farEnd(), QString::fromStdString(card.LinkPath()));
    QVERIFY(ports->styleSheet().contains(QStringLiteral("rgb(0, 255, 0)")));
    QVERIFY(w.form->CaptureEnabled());
    QVERIFY(!w.form->DisplayInProgress());
    QVERIFY(RulesLive(w));
}

void StartupTest::startupFailuresAndOddSettings_data()
{
    QTest::addColumn<QByteArray>("ini"); // null: no ini.cfg
    QTest::addColumn<QByteArray>("project");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("projectPath");
    QTest::addColumn<bool>("shown");

    const QByteArray good = ProjectBytes(QStringLiteral("Heizung"));
    const QByteArray settings = "\r\np.rel\r\nLeer\r\n";
    QTest::newRow("no ini.cfg") << QByteArray() << good << QStringList{Missing} << -1 << "COM 1"
                                << "com1"
                                << "" << false;
    QTest::newRow("project missing") << SettingsBytes(2, QStringLiteral("fehlt.rel")) << good
                                     << QStringList{Missing} << 2 << "COM 3"
                                     << "com3"
                                     << "fehlt.rel" << false;
    QTest::newRow("project short")
        << SettingsBytes(1, QStringLiteral("p.rel")) << good.left(700)
        << QStringList{QStringLiteral("Versuch hinter dem Dateiende zu lesen.")} << 1 << "COM 2"
        << "com2"
        << "p.rel" << false;
    QTest::newRow("project empty")
        << SettingsBytes(1, QStringLiteral("p.rel")) << QByteArray("")
        << QStringList{QStringLiteral("Versuch hinter dem Dateiende zu lesen.")} << 1 << "COM 2"
        << "com2"
        << "p.rel" << false;
    QTest::newRow("one line") << QByteArray("3\r\n") << good << QStringList{} << 3 << "COM 4"
                              << "com4"
                              << "" << false;
    QTest::newRow("empty ini.cfg") << QByteArray("") << good << QStringList{} << 0 << "COM 1"
                                   << "com1"
                                   << "" << false;
    QTest::newRow("LF only, two lines")
        << QByteArray("4\np.rel\n") << good << QStringList{} << 4 << "COM 5"
        << "com5"
        << "p.rel" << true;
    QTest::newRow("line 1 above range") << "9" + settings << good << QStringList{} << -1 << ""
                                        << "Com:"
                                        << "p.rel" << true;
    QTest::newRow("line 1 negative") << "-1" + settings << good << QStringList{} << -1 << ""
                                     << "Com:"
                                     << "p.rel" << true;
    QTest::newRow("line 1 not a number")
        << "abc" + settings << good << QStringList{} << 0 << "COM 1"
        << "com1"
        << "p.rel" << true;
    QTest::newRow("line 1 trailing junk")
        << " 5 " + settings << good << QStringList{} << 5 << "COM 6"
        << "com6"
        << "p.rel" << true;
    QTest::newRow("line 1 hexadecimal") << "$7" + settings << good << QStringList{} << 7 << "COM 8"
                                        << "com8"
                                        << "p.rel" << true;
}

void StartupTest::startupFailuresAndOddSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(QByteArray, project);
    QFETCH(QStringList, boxes);
    QFETCH(int, port);
    QFETCH(QString, portText);
    QFETCH(QString, device);
    QFETCH(QString, projectPath);
    QFETCH(bool, shown);
    Window w(Window::Later);
    if (!ini.isNull())
        w.write(QStringLiteral("ini.cfg"), ini);
    w.write(QStringLiteral("p.rel"), project);
    w.start();
    QCOMPARE(w.boxTexts(), boxes);
    for (const BoxRecord &box : w.boxes)
        QVERIFY(IsErrorBox(box));
    QCOMPARE(w.files().ProjectPath(), projectPath);
    auto *ports = w.control<QComboBox>("ComboBox1");
    QCOMPARE(ports->currentIndex(), port);
    QCOMPARE(ports->currentText(), portText);
    // The port on show is opened even after a failure (here it is no real device).
    QCOMPARE(Port(w).farEnd(), device.startsWith(QLatin1String("com")) ? linkPath(device) : device);
    QVERIFY(ports->styleSheet().contains(QStringLiteral("rgb(255, 0, 0)")));

    QCOMPARE(w.control<QLineEdit>("Edit9")->text(),
             shown ? QStringLiteral("Heizung") : QStringLiteral("Relais 1"));
    QCOMPARE(w.statusText(), shown ? QStringLiteral(" Datei : p.rel") : QStringLiteral("Datei"));
    if (!shown)
        QVERIFY(w.imageBytes() == QByteArray(1024, '\0'));
    QVERIFY(!w.form->DisplayInProgress());
    QVERIFY(RulesLive(w));
}

void StartupTest::dialogsStartInTheWorkingFolderOfTheStart()
{
    Window w(Window::Later);
    w.write(QStringLiteral("ini.cfg"), SettingsBytes(0, QString()));
    w.create();
    // The folder the program runs in is the one current when start-up runs.
    QDir::current().mkdir(QStringLiteral("sub"));
    w.write(QStringLiteral("sub/ini.cfg"), SettingsBytes(0, QString()));
    QDir::setCurrent(w.path(QStringLiteral("sub")));
    w.files().OpenDialog1(); // made before start-up, as the window's own dialogs are
    w.start();
    w.click("Button4");
    w.click("Button5");
    QCOMPARE(w.dialogs.size(), 2);
    QCOMPARE(w.dialogs[0].directory, w.path(QStringLiteral("sub")));
    QCOMPARE(w.dialogs[1].directory, w.path(QStringLiteral("sub")));
}

void StartupTest::closeSavesAndTheNextStartHasTheEditsBack()
{
    Window w(Window::Later);
    w.write(QStringLiteral("p.rel"), ProjectBytes(QStringLiteral("Heizung")));
    w.write(QStringLiteral("ini.cfg"), SettingsBytes(2, QStringLiteral("p.rel")));
    w.start();
    w.click("CheckBox11");
    // The label has no handler of its own: only the close captures it.
    w.type("Edit9", QStringLiteral("Garten"));
    // A port typed into the list is the one in use, though no entry was picked.
    auto *ports = w.control<QComboBox>("ComboBox1");
    ports->lineEdit()->selectAll();
    QTest::keyClicks(ports->lineEdit(), QStringLiteral("COM 5"));
    QVERIFY(w.close());
    QVERIFY(!w.form->isVisible());
    QCOMPARE(w.boxTexts(), QStringList{});
    const QByteArray saved = w.read(QStringLiteral("p.rel"));
    QCOMPARE(saved, w.imageBytes());
    QCOMPARE(w.read(QStringLiteral("ini.cfg")), SettingsBytes(4, QStringLiteral("p.rel")));

    w.restart();
    QCOMPARE(w.boxTexts(), QStringList{});
    QCOMPARE(w.imageBytes(), saved);
    QCOMPARE(w.control<QLineEdit>("Edit9")->text(), QStringLiteral("Garten"));
    QVERIFY(w.control<QCheckBox>("CheckBox11")->isChecked());
    ports = w.control<QComboBox>("ComboBox1");
    QCOMPARE(ports->currentText(), QStringLiteral("COM 5"));

    // Closing again without an edit still writes both files.
    QFile::remove(w.path(QStringLiteral("p.rel")));
    QFile::remove(w.path(QStringLiteral("ini.cfg")));
    QVERIFY(w.close());
    QCOMPARE(w.read(QStringLiteral("p.rel")), saved);
    QCOMPARE(w.read(QStringLiteral("ini.cfg")), SettingsBytes(4, QStringLiteral("p.rel")));
}

void StartupTest::closeWithoutProjectAsksForOne()
{
    Window w(Window::Later);
    w.start();
    QCOMPARE(w.boxTexts(), QStringList{Missing});
    w.click("CheckBox13");
    const QByteArray image = w.imageBytes();

    // Cancelled: the window stays and nothing is lost or written.
    QVERIFY(!w.close());
    QVERIFY(w.form->isVisible());
    QCOMPARE(w.dialogs.size(), 1);
    QCOMPARE(w.dialogs[0].name, QStringLiteral("SaveDialog1"));
    QCOMPARE(w.dialogs[0].directory, QDir::currentPath());
    QCOMPARE(w.imageBytes(), image);
    QVERIFY(QDir::current().entryList(QDir::Files).isEmpty());
    QCOMPARE(w.boxes.size(), 1);

    w.answers << QStringLiteral("neu");
    QVERIFY(w.close());
    QCOMPARE(w.read(QStringLiteral("neu.rel")), image);
    QCOMPARE(w.read(QStringLiteral("ini.cfg")), SettingsBytes(0, QStringLiteral("neu.rel")));
    QCOMPARE(w.boxes.size(), 1);

    w.restart();
    QCOMPARE(w.boxTexts(), QStringList{});
    QVERIFY(w.control<QCheckBox>("CheckBox13")->isChecked());
}

void StartupTest::closeNeverCutsAFileThatIsNoProject_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("startBoxes");
    QTest::newRow("a text of 492 bytes") << QByteArray(492, 'x') << QStringList{PastEnd};
    QByteArray big(5 * 1024 * 1024, '\x11');
    QTest::newRow("5 MB, of which the head loads") << big << QStringList{};
}

void StartupTest::closeNeverCutsAFileThatIsNoProject()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, startBoxes);
    Window w(Window::Later);
    w.write(QStringLiteral("fremd.rel"), content);
    w.write(QStringLiteral("ini.cfg"), SettingsBytes(0, QStringLiteral("fremd.rel")));
    w.start();
    QCOMPARE(w.boxTexts(), startBoxes);
    w.click("CheckBox13");

    QVERIFY(!w.close()); // the dialog asks for a name; cancelled
    QCOMPARE(w.dialogs.size(), 1);
    QCOMPARE(w.dialogs[0].name, QStringLiteral("SaveDialog1"));
    QCOMPARE(w.read(QStringLiteral("fremd.rel")), content);

    w.answers << QStringLiteral("projekt.rel");
    QVERIFY(w.close());
    QCOMPARE(w.read(QStringLiteral("projekt.rel")), w.imageBytes());
    QCOMPARE(w.read(QStringLiteral("fremd.rel")), content);
    QCOMPARE(w.read(QStringLiteral("ini.cfg")), SettingsBytes(0, QStringLiteral("projekt.rel")));

    // A name ini.cfg cannot hold on one line is refused with the box.
    w.answers << QStringLiteral("zwei\nZeilen.rel");
    w.click("Button5");
    QCOMPARE(w.boxTexts().last(),
             QStringLiteral("Dateiname mit Zeilenumbruch kann nicht in ini.cfg stehen."));
    QCOMPARE(w.files().ProjectPath(), w.path(QStringLiteral("projekt.rel")));
}

// A project and ini.cfg that cannot be written (a folder of another user, a read-only mount):
// the close cannot save the project (box); "Save" to a writable place is enough, and ini.cfg
// that cannot be written either keeps no window open.
void StartupTest::readOnlyProjectOpensAndSaveElsewhereLetsTheWindowGo()
{
    Window w(Window::Later);
    w.write(QStringLiteral("p.rel"), ProjectBytes(QStringLiteral("Nur lesen")));
    w.write(QStringLiteral("ini.cfg"), SettingsBytes(0, QStringLiteral("p.rel")));
    w.start();
    QCOMPARE(w.control<QLineEdit>("Edit9")->text(), QStringLiteral("Nur lesen"));
    w.files().setWriter([](QFileDevice &file, QByteArrayView data) {
        if (QFileInfo(file.fileName()).fileName() == QStringLiteral("p.rel") ||
            file.fileName().endsWith(QStringLiteral("ini.cfg"))) {
            errno = EACCES;
            return false;
        }
        return file.write(data.data(), data.size()) == data.size();
    });
    QVERIFY(!w.close());
    QCOMPARE(w.boxTexts(), QStringList{QStringLiteral("Dateizugriff verweigert.")});
    QTemporaryDir elsewhere;
    w.answers << elsewhere.filePath(QStringLiteral("kopie.rel"));
    w.click("Button5");
    QVERIFY(w.close());
    QCOMPARE(w.boxes.size(), 1);
    QCOMPARE(QFile(elsewhere.filePath(QStringLiteral("kopie.rel"))).size(), 1024);
    QCOMPARE(w.read(QStringLiteral("ini.cfg")), SettingsBytes(0, QStringLiteral("p.rel")));
}

// Opened and closed without a touch, a project full of values the window cannot show is
// written back as it was (byte 903 aside, which the load clears).
void StartupTest::startAndCloseLeaveAProjectByteForByte()
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        QByteArray project(ConfigImage::Size, '\0');
        for (char &b : project)
            b = char(random());
        project[ImageOffset::GlobalFlags] = char(project[ImageOffset::GlobalFlags] & ~1);
        Window w(Window::Later);
        w.write(QStringLiteral("p.rel"), project);
        w.write(QStringLiteral("ini.cfg"), SettingsBytes(0, QStringLiteral("p.rel")));
        w.start();
        QVERIFY(w.close());
        QByteArray expected = project;
        expected[ImageOffset::Reserved903] = 0;
        const QByteArray saved = w.read(QStringLiteral("p.rel"));
        for (int i = 0; i < ConfigImage::Size; ++i)
            QVERIFY2(saved[i] == expected[i], qPrintable(QStringLiteral("seed %1, byte %2: %3 → %4")
                                                             .arg(seed)
                                                             .arg(i)
                                                             .arg(quint8(expected[i]))
                                                             .arg(quint8(saved[i]))));
    }
}

void StartupTest::failedCloseKeepsWindowAndOldFiles_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("projectWritten");
    QTest::newRow("project") << ".rel" << false;
    QTest::newRow("ini.cfg") << "ini.cfg" << true;
}

void StartupTest::failedCloseKeepsWindowAndOldFiles()
{
    QFETCH(QString, failing);
    QFETCH(bool, projectWritten);
    Window w(Window::Later);
    const QByteArray oldProject = ProjectBytes(QStringLiteral("Heizung"));
    const QByteArray oldSettings = "2\r\np.rel\r\n"; // written by hand, without line 3
    w.write(QStringLiteral("p.rel"), oldProject);
    w.write(QStringLiteral("ini.cfg"), oldSettings);
    w.start();
    w.click("CheckBox12");
    w.files().setWriter(FailingFor(failing));
    // Once the project is safe, ini.cfg alone keeps no window open: it is said on standard
    // error instead of a box that would come back at every close.
    QCOMPARE(w.close(), projectWritten);
    QCOMPARE(w.form->isVisible(), !projectWritten);
    QCOMPARE(w.boxTexts(), projectWritten ? QStringList{} : QStringList{DiskFull});
    if (!projectWritten)
        QVERIFY(IsErrorBox(w.boxes[0]));
    QCOMPARE(w.read(QStringLiteral("p.rel")), projectWritten ? w.imageBytes() : oldProject);
    QCOMPARE(w.read(QStringLiteral("ini.cfg")), oldSettings);
    QCOMPARE(QDir::current().entryList(QDir::Files),
             (QStringList{QStringLiteral("ini.cfg"), QStringLiteral("p.rel")}));
    if (projectWritten)
        return;

    // Once the disk has room again the next close goes through.
    w.files().setWriter({});
    QVERIFY(w.close());
    QCOMPARE(w.read(QStringLiteral("p.rel")), w.imageBytes());
    QCOMPARE(w.read(QStringLiteral("ini.cfg")), SettingsBytes(2, QStringLiteral("p.rel")));
}

void StartupTest::projectOutsideTheWorkingFolderIsFoundAgain()
{
    QTemporaryDir elsewhere;
    const QString far = QDir(elsewhere.path()).filePath(QStringLiteral("fern.rel"));
    {
        QFile file(far);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ProjectBytes(QStringLiteral("Fern")));
    }
    Window w(Window::Later);
    w.write(QStringLiteral("p.rel"), ProjectBytes(QStringLiteral("Nah")));
    w.write(QStringLiteral("ini.cfg"), SettingsBytes(0, QStringLiteral("p.rel")));
    w.start();
    w.answers << far;
    w.click("Button4");
    QCOMPARE(w.statusText(), QStringLiteral(" Datei : fern.rel"));
    QVERIFY(w.close());
    QCOMPARE(w.read(QStringLiteral("ini.cfg")), SettingsBytes(0, far));

    w.restart();
    QCOMPARE(w.boxTexts(), QStringList{});
    QCOMPARE(w.files().ProjectPath(), far);
    QCOMPARE(w.statusText(), QStringLiteral(" Datei : fern.rel"));
    QCOMPARE(w.control<QLineEdit>("Edit9")->text(), QStringLiteral("Fern"));
}

void StartupTest::starterProject()
{
    // The committed starter is what the window captures from its initial controls today.
    QFile committed(QStringLiteral(ZELKORA_STARTER_PROJECT));
    QVERIFY(committed.open(QIODevice::ReadOnly));
    const QByteArray starter = committed.readAll();
    QCOMPARE(starter, ImageBytes(StarterImage()));

    Window w(Window::Later);
    w.write(QStringLiteral("Relaiskarte.rel"), starter);
    w.write(QStringLiteral("ini.cfg"), SettingsBytes(0, QStringLiteral("Relaiskarte.rel")));
    w.start();
    QCOMPARE(w.boxTexts(), QStringList{});
    QCOMPARE(w.imageBytes(), starter);
    QCOMPARE(w.statusText(), QStringLiteral(" Datei : Relaiskarte.rel"));
    QCOMPARE(w.panel(1)->text(), QStringLiteral(" Relaiskarte : Relaiskarte"));
    auto *notebook = w.control<QTabWidget>("TabbedNotebook1");
    for (int p = 0; p < 8; ++p)
        QCOMPARE(notebook->tabText(p), QStringLiteral("Relais %1").arg(p + 1));
    QCOMPARE(w.control<QLineEdit>("Edit17")->text(), QStringLiteral("Relaiskarte"));
    QCOMPARE(w.control<QComboBox>("ComboBox1")->currentText(), QStringLiteral("COM 1"));
    QVERIFY(!w.form->DisplayInProgress());
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
