// The card link as the window wires it, through the real widgets, against the virtual card.

#include "app/cardlink.h"
#include "app/unit1.h"
#include "app/unit2.h"
#include "fleet/uploadjournal.h"
#include "link/cardsession.h"
#include "link/linkengine.h"
#include "link/networkport.h"
#include "link/portresolver.h"
#include "link/serialport.h"
#include "link/targetkey.h"
#include "tests/support/cardrig.h"
#include "tests/support/fakeenvironment.h"
#include "tests/support/windowfixture.h"
#include "tools/cardsim_pty.h"
#include "tools/ser2net_rig.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class CardLinkWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        qputenv("XDG_STATE_HOME", (m_config.path() + QStringLiteral("/state")).toLocal8Bit());
    }

    void init()
    {
        // A journal of each test's own: what one test left unfinished holds no other card.
        qputenv("XDG_STATE_HOME", stateFolder().toLocal8Bit());
        m_window = std::make_unique<Window>();
    }

    void cleanup()
    {
        m_window.reset();
        m_card.reset();
    }

    void typedTextReopensAndColours()
    {
        plugCard({}, 3);
        // Every keystroke is a change of the text; only the last one names a port.
        widget<QComboBox>("ComboBox1")->lineEdit()->selectAll();
        QTest::keyClicks(widget<QComboBox>("ComboBox1")->lineEdit(), QStringLiteral("COM 3"));
        QVERIFY(port().PortOpen());
        QVERIFY(widget<QComboBox>("ComboBox1")
                    ->styleSheet()
                    .contains(QStringLiteral("rgb(0, 255, 0)")));
        QCOMPARE(widget<QComboBox>("ComboBox1")->toolTip(), linkPath(3));

        // Text set by the program opens nothing.
        widget<QComboBox>("ComboBox1")->setEditText(QStringLiteral("COM 9"));
        QVERIFY(port().PortOpen());
        QCOMPARE(port().farEnd(), linkPath(3));

        // Only the fifth character counts: "COM 34" is Com3 again, reopened.
        widget<QComboBox>("ComboBox1")->lineEdit()->selectAll();
        QTest::keyClicks(widget<QComboBox>("ComboBox1")->lineEdit(), QStringLiteral("COM 34"));
        QVERIFY(port().PortOpen());
        QCOMPARE(port().farEnd(), linkPath(3));
        widget<QComboBox>("ComboBox1")->lineEdit()->selectAll();
        QTest::keyClicks(widget<QComboBox>("ComboBox1")->lineEdit(), QStringLiteral("CO"));
        QVERIFY(!port().PortOpen());
        QVERIFY(widget<QComboBox>("ComboBox1")
                    ->styleSheet()
                    .contains(QStringLiteral("rgb(255, 0, 0)")));
        QCOMPARE(widget<QComboBox>("ComboBox1")->toolTip(), QStringLiteral("Com:: nicht gefunden"));
    }

    void pickedEntryReopens()
    {
        plugCard({}, 2);
        widget<QComboBox>("ComboBox1")->setCurrentIndex(0); // by code: nothing opens
        QVERIFY(!port().PortOpen());
        widget<QComboBox>("ComboBox1")->setFocus();
        QTest::keyClick(widget<QComboBox>("ComboBox1"), Qt::Key_Down); // the user steps to "COM 2"
        QCOMPARE(widget<QComboBox>("ComboBox1")->currentText(), QStringLiteral("COM 2"));
        QVERIFY(port().PortOpen());
        QCOMPARE(widget<QComboBox>("ComboBox1")->toolTip(), linkPath(2));
    }

    void sendUploadsAndShowsTheDialogWhileTimersTick()
    {
        plugCard({}, 1);
        m_window->link().ConnectPort(); // "COM 1", as start-up opens it
        QVERIFY(port().PortOpen());
        QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("Label1")->text(), QStringLiteral("verbunden"),
                                  3000);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  (So|Mo|Di|Mi|Do|Fr|Sa)$"))
                    .match(widget<QLabel>("Label2")->text())
                    .hasMatch());

        // The page on show is captured before the upload: the label typed here goes out.
        widget<QLineEdit>("Edit2")->setText(QStringLiteral("77"));
        QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
        QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        TForm2 *dialog = &m_window->dialog();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 5000);
        QProgressBar *bar = widget<QProgressBar>("ProgressBar1");
        QCOMPARE(bar->value(), bar->maximum()); // full
        const auto uploads = m_card->Uploads();
        QCOMPARE(uploads.size(), std::size_t(1));
        QCOMPARE(int(uploads.front()[1 + 129]), 77); // seconds timer "An bei" of relay 1

        // Both timers go on while the dialog is open: the clock moves, the polls go on.
        const QString clockBefore = widget<QLabel>("Label2")->text();
        QTRY_VERIFY_WITH_TIMEOUT(widget<QLabel>("Label2")->text() != clockBefore, 2500);
        QCOMPARE(widget<QLabel>("Label1")->text(), QStringLiteral("verbunden"));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("Button1")),
                          Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(widget<QProgressBar>("ProgressBar1")->value(), 0);

        // The upload is in the journal, with what it reached and the final block as sent.
        // Its beginning was recorded before the first byte went out.
        const std::vector<UploadRecord> records = UploadJournal().read();
        QCOMPARE(records.size(), std::size_t(2));
        QCOMPARE(records[0].outcome, UploadRecord::Outcome::Begun);
        QCOMPARE(records[1].port, QStringLiteral("COM 1"));
        QCOMPARE(records[1].reached, linkPath(1));
        QCOMPARE(records[1].program, QStringLiteral("zelkora"));
        QCOMPARE(records[1].outcome, UploadRecord::Outcome::Complete);
        QCOMPARE(records[1].finalBlock,
                 QByteArray(reinterpret_cast<const char *>(uploads.front().data()) + 513, 9));

        // A journal that cannot be written stops no upload; the list's tooltip says so.
        QFile blocker(m_config.path() + QStringLiteral("/kein-ordner"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_STATE_HOME", blocker.fileName().toLocal8Bit());
        QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
        QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 5000);
        QCOMPARE(m_card->Uploads().size(), std::size_t(2));
        QVERIFY2(widget<QComboBox>("ComboBox1")
                     ->toolTip()
                     .contains(QStringLiteral("Nicht im Journal vermerkt")),
                 qPrintable(widget<QComboBox>("ComboBox1")->toolTip()));
        qputenv("XDG_STATE_HOME", stateFolder().toLocal8Bit());
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("Button1")),
                          Qt::LeftButton);
    }

    void messenShowsLabelsAndResetClearsBar()
    {
        CardSimOptions options;
        options.measurement = {128, 129, 255, 65};
        plugCard(options, 1);
        m_window->link().ConnectPort();
        QTest::mouseClick(widget<QPushButton>("Button3"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("Label50")->text(), QStringLiteral("65 % rel. LF"),
                                  2000);
        QCOMPARE(widget<QLabel>("Label44")->text(), QStringLiteral("128 °C"));
        QCOMPARE(widget<QLabel>("Label46")->text(), QStringLiteral("-127 °C"));
        QCOMPARE(widget<QLabel>("Label48")->text(), QStringLiteral("-1 °C"));

        widget<QProgressBar>("ProgressBar1")->setValue(30);
        QTest::mouseClick(widget<QPushButton>("Button2"), Qt::LeftButton);
        QCOMPARE(widget<QProgressBar>("ProgressBar1")->value(), 0);
        QCOMPARE(engine().LinkStep(), int(LinkEngine::Idle));
    }

    void wrongVersionWarnsAndDisablesSend()
    {
        CardSimOptions options;
        options.version = 136;
        plugCard(options, 1);
        m_window->link().ConnectPort();
        QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("Label39")->text(),
                                  QStringLiteral("Rel Karte falsche Version"), 3000);
        QCOMPARE(widget<QLabel>("Label1")->text(), QStringLiteral("verbunden"));
        QVERIFY(!widget<QPushButton>("Button1")->isEnabled());
    }

    void hangUpTurnsTheListRed()
    {
        CardSimOptions options;
        options.hangupAfterBlock = 4;
        plugCard(options, 1);
        m_window->link().ConnectPort();
        QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
        QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!port().PortOpen(), 3000);
        QVERIFY(widget<QComboBox>("ComboBox1")
                    ->styleSheet()
                    .contains(QStringLiteral("rgb(255, 0, 0)")));
        const QString tip = widget<QComboBox>("ComboBox1")->toolTip();
        QVERIFY2(tip.startsWith(linkPath(1) +
                                QStringLiteral(": Verbindung getrennt bei Block 5 von 32: ")) &&
                     tip.contains(QStringLiteral("zurücksetzen")),
                 qPrintable(tip));
        // The card waits for the rest of block 5: said once where the user looks.
        QTRY_VERIFY(heldBox());
        QVERIFY2(heldBox()->text().contains(QStringLiteral("bei Block 5 von 32")) &&
                     heldBox()->text().contains(QStringLiteral("zurücksetzen")) &&
                     heldBox()->text().contains(QStringLiteral("„Reset“")),
                 qPrintable(heldBox()->text()));
        QCOMPARE(UploadJournal().read().back().outcome, UploadRecord::Outcome::CutOff);
        QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("Label1")->text(), QStringLiteral("ni. verbunden"),
                                  2500);
        QTest::mouseClick(widget<QPushButton>("Button2"), Qt::LeftButton);
        QTRY_VERIFY(!heldBox());
    }

    // The user switches to another port in the middle of an upload: that is a choice, not a
    // lost line. The card switched to is charged with nothing; the card left behind keeps its
    // begun record, which holds it when it is opened again.
    void switchingPortsMidUploadChargesNoCard()
    {
        CardSimOptions stalls;
        stalls.dropAckAfterBlock = 6;
        plugCard(stalls, 1);
        CardPlug plug;
        plug.configDir = m_config.path().toStdString();
        plug.linkAs = 2;
        const std::unique_ptr<CardSimPty> other = PlugCard({}, plug);
        QVERIFY(other);
        m_window->link().ConnectPort();
        QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
        QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(LinkEngine::BlockOf(engine().LinkStep()), 7, 5000);

        QComboBox *list = widget<QComboBox>("ComboBox1");
        list->setFocus();
        list->lineEdit()->selectAll();
        QTest::keyClicks(list->lineEdit(), QStringLiteral("COM 2"));
        QTRY_VERIFY_WITH_TIMEOUT(port().PortOpen(), 2000);
        QCOMPARE(port().farEnd(), linkPath(2));
        QVERIFY(!heldBox());
        QVERIFY2(!list->toolTip().contains(QStringLiteral("zurücksetzen")),
                 qPrintable(list->toolTip()));
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(0, 255, 0)")));
        const std::vector<UploadRecord> records = UploadJournal().read();
        QVERIFY(!records.empty());
        for (const UploadRecord &r : records)
            QCOMPARE(r.outcome, UploadRecord::Outcome::Begun);
        QTest::mouseClick(widget<QPushButton>("Button2"), Qt::LeftButton);
    }

    // The adapter is not there at the start, comes, goes away in the middle of an upload and
    // comes back on another line: the list follows by itself, and nothing is opened while
    // the device is absent.
    void portComesAndGoesByItself()
    {
        QVERIFY(QDir().mkpath(m_config.path() + QStringLiteral("/zelkora")));
        QFile::remove(linkPath(1));
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/ttyUSB0"), linkPath(1)));
        m_window->link().ConnectPort();
        QComboBox *list = widget<QComboBox>("ComboBox1");
        QCOMPARE(list->toolTip(), linkPath(1) + QStringLiteral(": nicht gefunden"));
        QSignalSpy opensWhileAbsent(&port(), &Transport::tried);
        QTest::qWait(2500);
        QCOMPARE(opensWhileAbsent.count(), 0);
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(255, 0, 0)")));

        CardSimOptions options;
        options.hangupAfterBlock = 6;
        plugCard(options, 1);
        QTRY_VERIFY_WITH_TIMEOUT(port().PortOpen(), 2000);
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(0, 255, 0)")));
        QCOMPARE(list->toolTip(), linkPath(1));
        QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("Label1")->text(), QStringLiteral("verbunden"),
                                  3000);

        QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
        QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!port().PortOpen(), 5000);
        QVERIFY2(list->toolTip().startsWith(linkPath(1) +
                                            QStringLiteral(": Verbindung getrennt bei Block ")) &&
                     list->toolTip().contains(QStringLiteral("zurücksetzen")),
                 qPrintable(list->toolTip()));
        // The line is closed. Its pseudo-terminal's number may be taken by another test's at
        // once, so the link is made to point where an unplugged adapter's would: nowhere.
        QVERIFY(QFile::remove(linkPath(1)));
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/ttyUSB0"), linkPath(1)));
        QSignalSpy opensAfterLoss(&port(), &Transport::tried);
        QTest::qWait(2500);
        QCOMPARE(opensAfterLoss.count(), 0);

        plugCard({}, 1); // back, on a new pseudo-terminal
        QTRY_VERIFY_WITH_TIMEOUT(port().PortOpen(), 2000);
        // The broken-off upload waits until "Reset" (on the same device the journal's
        // unfinished record also holds the card until then; a new pseudo-terminal is another
        // device); then the polls go on and an upload goes through.
        QTest::mouseClick(widget<QPushButton>("Button2"), Qt::LeftButton);
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(0, 255, 0)")));
        QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("Label1")->text(), QStringLiteral("verbunden"),
                                  3000);
        QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
        QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->dialog().isVisible(), 5000);
        QCOMPARE(m_card->Uploads().size(), std::size_t(1));
        QCOMPARE(m_card->Uploads().front().size(), std::size_t(522));
        for (int i = 0; i < 512; ++i)
            QCOMPARE(int(m_card->Uploads().front()[1 + i]), int(m_window->form->configImage()[i]));
    }

    // A port another program holds: the list names the holder and is not retried by itself.
    void busyPortNamesItsHolderAndWaitsForTheUser()
    {
        plugCard({}, 2);
        SerialPort holder;
        holder.open(PortTarget::Parse(QStringLiteral("COM 2")));
        QVERIFY(holder.PortOpen());
        QComboBox *list = widget<QComboBox>("ComboBox1");
        list->setFocus();
        list->lineEdit()->selectAll();
        QTest::keyClicks(list->lineEdit(), QStringLiteral("COM 2"));
        QVERIFY(!port().PortOpen());
        QVERIFY2(list->toolTip().startsWith(linkPath(2) + QStringLiteral(": belegt von ")),
                 qPrintable(list->toolTip()));
        QVERIFY(list->toolTip().endsWith(
            QStringLiteral("(PID %1)").arg(QCoreApplication::applicationPid())));
        QSignalSpy opens(&port(), &Transport::tried);
        holder.ClosePort();
        QTest::qWait(1500);
        QCOMPARE(opens.count(), 0);
        QVERIFY(!port().PortOpen());
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Up); // the user picks it again
        QVERIFY(port().PortOpen());
    }

    // Each entry names the device it stands for right now.
    void entriesNameTheirDevices()
    {
        FakePortEnvironment environment;
        environment.ports = {
            {QStringLiteral("/dev/ttyUSB0"),
             QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A5XK3RJT-if00-port0"),
             QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
             QStringLiteral("A5XK3RJT")}};
        m_window->link().session().setEnvironment(environment);
        m_window->link().ConnectPort(); // COM 1: the adapter, which is not really there
        QComboBox *list = widget<QComboBox>("ComboBox1");
        // Named when the list opens (reading the system's ports is slow: not before).
        QVERIFY(list->itemData(0, Qt::ToolTipRole).toString().isEmpty());
        list->showPopup();
        list->hidePopup();
        QCOMPARE(list->itemData(0, Qt::ToolTipRole).toString(),
                 QStringLiteral("COM 1: /dev/serial/by-id/usb-FTDI_FT232R_A5XK3RJT-if00-port0, "
                                "FT232R USB UART, FTDI, Seriennummer A5XK3RJT"));
        QCOMPARE(list->itemData(1, Qt::ToolTipRole).toString(),
                 QStringLiteral("COM 2: kein Gerät (1 serieller Anschluss gefunden)"));
        QCOMPARE(list->toolTip(),
                 QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A5XK3RJT-if00-port0: "
                                "nicht gefunden"));
        // The adapter is unplugged: the entries say so when the list opens.
        environment.ports.clear();
        list->showPopup();
        QCOMPARE(list->itemData(0, Qt::ToolTipRole).toString(),
                 QStringLiteral("COM 1: kein Gerät (0 serielle Anschlüsse gefunden)"));
        list->hidePopup();
        m_window->link().session().setEnvironment(SystemPortEnvironment::Instance());
    }

    // COM 1 names a device server (ser2net, RFC 2217) in front of the card: the window uploads
    // through it, shows the server gone with its cause and comes back by itself.
    void deviceServerComesBackByItself()
    {
        if (!Ser2netRig::Available())
            QSKIP("ser2net is not installed (tools/setup.sh installs it)");
        m_card = PlugCard();
        QVERIFY(m_card);
        Ser2netRig server;
        std::string error;
        QVERIFY2(server.start({m_card->DevicePath()}, {}, &error), error.c_str());
        QVERIFY(QDir().mkpath(m_config.path() + QStringLiteral("/zelkora")));
        QVERIFY(nameAddress(1, server.rfc2217Url(0)));

        QComboBox *list = widget<QComboBox>("ComboBox1");
        QLabel *link = widget<QLabel>("Label1");
        m_window->link().ConnectPort(); // "COM 1", as start-up opens it
        QTRY_VERIFY_WITH_TIMEOUT(port().PortOpen(), 3000);
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(0, 255, 0)")));
        QCOMPARE(list->toolTip(), server.rfc2217Url(0));
        QTRY_COMPARE_WITH_TIMEOUT(link->text(), QStringLiteral("verbunden"), 3000);
        const auto uploadOnce = [&] {
            QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
            QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(m_window->dialog().isVisible(), 6000);
            QTest::mouseClick(
                m_window->dialog().findChild<QPushButton *>(QStringLiteral("Button1")),
                Qt::LeftButton);
        };
        uploadOnce();
        QCOMPARE(m_card->Uploads().size(), std::size_t(1));

        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!port().PortOpen(), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(link->text(), QStringLiteral("ni. verbunden"), 3000);
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(255, 0, 0)")));
        QTRY_VERIFY_WITH_TIMEOUT(
            list->toolTip().startsWith(server.rfc2217Url(0) + QStringLiteral(": ")) &&
                (list->toolTip().contains(QStringLiteral("getrennt")) ||
                 list->toolTip().contains(QStringLiteral("abgelehnt"))),
            3000);

        QVERIFY2(server.start(&error), error.c_str());
        QTRY_VERIFY_WITH_TIMEOUT(port().PortOpen(), 8000);
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(0, 255, 0)")));
        QTRY_COMPARE_WITH_TIMEOUT(link->text(), QStringLiteral("verbunden"), 3000);
        uploadOnce();
        QCOMPARE(m_card->Uploads().size(), std::size_t(2));

        // Lost in the middle of an upload: the tooltip says where, until "Reset".
        QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
        QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(LinkEngine::BlockOf(engine().LinkStep()) >= 8, 3000);
        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(list->toolTip().contains(QStringLiteral("zurücksetzen")), 3000);
        QVERIFY2(
            list->toolTip().contains(QRegularExpression(QStringLiteral("bei Block \\d+ von 32"))),
            qPrintable(list->toolTip()));
        QTest::mouseClick(widget<QPushButton>("Button2"), Qt::LeftButton);
        QVERIFY(!list->toolTip().contains(QStringLiteral("zurücksetzen")));
        const std::vector<UploadRecord> records = UploadJournal().read();
        QVERIFY(!records.empty());
        QCOMPARE(records.back().outcome, UploadRecord::Outcome::CutOff);
        QVERIFY(records.back().block >= 8);
        QFile::remove(linkPath(1));
    }

    // COM 1 names a device server behind TLS with client certificates: the tooltip names the
    // protection and the server's fingerprint; a server back with a certificate nobody trusts
    // is red with the new fingerprint, gets nothing and is not tried again by itself.
    void tlsServerWithAnotherCertificateIsRefused()
    {
        if (!Ser2netRig::Available())
            QSKIP("ser2net is not installed (tools/setup.sh installs it)");
        m_card = PlugCard();
        QVERIFY(m_card);
        const QString folder = m_config.path() + QStringLiteral("/zelkora");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/pki")));
        std::string error;
        TestPki pki;
        QString client;
        QVERIFY2(pki.make(folder + QStringLiteral("/pki"), &error), error.c_str());
        QVERIFY2(pki.makeClient(QStringLiteral("fenster"), &client, &error), error.c_str());
        QVERIFY2(AllowClient(folder + QStringLiteral("/auth"), QStringLiteral("fenster"), client,
                             &error),
                 error.c_str());
        // Where the window finds its identity and its CA: the configuration folder.
        for (const auto &[from, to] :
             {std::pair{client, QStringLiteral("client.crt")},
              std::pair{TestPki::KeyOf(client), QStringLiteral("client.key")},
              std::pair{pki.ca, QStringLiteral("ca.crt")}}) {
            QFile::remove(folder + QLatin1Char('/') + to);
            QVERIFY(QFile::copy(from, folder + QLatin1Char('/') + to));
        }
        QFile::setPermissions(folder + QStringLiteral("/client.key"),
                              QFile::ReadOwner | QFile::WriteOwner);
        Ser2netRig server;
        Ser2netRig::Options tls;
        tls.tls = Ser2netRig::Options::Tls{TestPki::KeyOf(pki.server).toStdString(),
                                           pki.server.toStdString(),
                                           (folder + QStringLiteral("/auth")).toStdString()};
        QVERIFY2(server.start({m_card->DevicePath()}, tls, &error), error.c_str());
        QVERIFY(nameAddress(1, server.rfc2217Url(0)));

        QComboBox *list = widget<QComboBox>("ComboBox1");
        m_window->link().ConnectPort();
        QTRY_VERIFY_WITH_TIMEOUT(port().PortOpen(), 5000);
        QVERIFY2(list->toolTip().startsWith(server.rfc2217Url(0) + QStringLiteral(": TLS 1.")) &&
                     list->toolTip().contains(TestPki::FingerprintOf(pki.server)),
                 qPrintable(list->toolTip()));
        QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("Label1")->text(), QStringLiteral("verbunden"),
                                  3000);

        server.stop();
        tls.tls->cert = pki.selfSigned.toStdString();
        tls.tls->key = TestPki::KeyOf(pki.selfSigned).toStdString();
        QVERIFY2(server.start({m_card->DevicePath()}, tls, &error), error.c_str());
        const std::size_t received = m_card->Received().size();
        QTRY_VERIFY_WITH_TIMEOUT(list->toolTip().contains(TestPki::FingerprintOf(pki.selfSigned)),
                                 10000);
        QVERIFY2(
            list->toolTip().contains(QStringLiteral("zelkora-cli trust ") + server.rfc2217Url(0)),
            qPrintable(list->toolTip()));
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(255, 0, 0)")));
        QSignalSpy attempts(&port(), &Transport::tried);
        QTest::qWait(NetworkPort::RetryMaxMs + 500); // longer than any retry would wait
        QCOMPARE(attempts.count(), 0);
        QCOMPARE(m_card->Received().size(), received);
        QFile::remove(linkPath(1));
    }

    // A card that may wait in the middle of an upload (the journal has its beginning and no
    // end; or the line was disturbed) takes every byte as part of it: nothing is sent to it,
    // the list is red and says why, until the user's "Reset"; then the polls go on.
    void aCardThatMayBeMidUploadGetsNothingUntilReset_data()
    {
        QTest::addColumn<bool>("leftByAnother"); // else disturbed in the window's own upload
        QTest::addColumn<QString>("tip");
        QTest::newRow("begun by a killed program") << true << QStringLiteral("nicht beendet");
        QTest::newRow("surplus acknowledgement") << false << QStringLiteral("Leitung gestört");
    }
    void aCardThatMayBeMidUploadGetsNothingUntilReset()
    {
        QFETCH(bool, leftByAnother);
        QFETCH(QString, tip);
        CardSimOptions options;
        options.extraAckAfterBlock = leftByAnother ? -1 : 12;
        plugCard(options, 1);
        QComboBox *list = widget<QComboBox>("ComboBox1");
        QLabel *link = widget<QLabel>("Label1");
        if (leftByAnother) {
            UploadRecord begun;
            begun.when = QDateTime::currentDateTime();
            begun.port = QStringLiteral("COM 1");
            begun.key = TargetKey(PortTarget::Parse(QStringLiteral("COM 1")),
                                  SystemPortEnvironment::Instance());
            begun.hash = UploadJournal::HashOf(ConfigImage{});
            begun.outcome = UploadRecord::Outcome::Begun;
            begun.program = QStringLiteral("zelkora-cli");
            QVERIFY(UploadJournal().append(begun, ConfigImage{}).isEmpty());
            m_window->link().ConnectPort();
        } else {
            m_window->link().ConnectPort();
            QTRY_COMPARE_WITH_TIMEOUT(link->text(), QStringLiteral("verbunden"), 3000);
            QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
            QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        }
        QTRY_VERIFY_WITH_TIMEOUT(list->toolTip().contains(tip), 8000);
        QVERIFY(port().PortOpen());
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(255, 0, 0)")));
        QVERIFY2(list->toolTip().contains(QStringLiteral("zurücksetzen")),
                 qPrintable(list->toolTip()));
        QVERIFY(!m_window->dialog().isVisible());
        // Said once where the user looks, in a box that waits for no one.
        QTRY_VERIFY(heldBox());
        QVERIFY2(heldBox()->text().contains(tip) &&
                     heldBox()->text().contains(QStringLiteral("Reset")),
                 qPrintable(heldBox()->text()));
        // No poll for two cycles (nothing is asked, so nothing answers), and "Send" waits.
        QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        QTest::qWait(2500);
        QCOMPARE(link->text(), QStringLiteral("ni. verbunden"));
        QCOMPARE(engine().LinkStep(), int(LinkEngine::Idle));
        QCOMPARE(m_card->Uploads().size(), std::size_t(0));
        const UploadRecord last = UploadJournal().read().back();
        QCOMPARE(last.outcome,
                 leftByAnother ? UploadRecord::Outcome::Begun : UploadRecord::Outcome::Disturbed);

        m_card->SetOptions({});
        QTest::mouseClick(widget<QPushButton>("Button2"), Qt::LeftButton);
        QVERIFY(!list->toolTip().contains(tip));
        QTRY_VERIFY(!heldBox());
        QTRY_COMPARE_WITH_TIMEOUT(link->text(), QStringLiteral("verbunden"), 3000);
        QVERIFY(list->styleSheet().contains(QStringLiteral("rgb(0, 255, 0)")));
        // The journal no longer holds an unfinished upload for the card.
        QVERIFY(!UploadJournal()
                     .state(TargetKey(PortTarget::Parse(QStringLiteral("COM 1")),
                                      SystemPortEnvironment::Instance()))
                     .unfinished());
    }

private:
    // The box that says the card is held until "Reset", while it is shown.
    static QMessageBox *heldBox()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("CardHeldBox") && w->isVisible())
                return qobject_cast<QMessageBox *>(w);
        return nullptr;
    }
    // "COM n" as the address of a device server: the configuration file com<n> names it.
    bool nameAddress(int n, const QString &url)
    {
        QDir().mkpath(m_config.path() + QStringLiteral("/zelkora"));
        QFile::remove(linkPath(n));
        QFile address(linkPath(n));
        return address.open(QIODevice::WriteOnly) && address.write(url.toUtf8() + "\n") > 0;
    }

    QString stateFolder() const
    {
        return m_config.path() + QStringLiteral("/state-") +
               QString::fromLatin1(QTest::currentTestFunction());
    }
    void plugCard(const CardSimOptions &options, int n)
    {
        CardPlug plug;
        plug.configDir = m_config.path().toStdString();
        plug.linkAs = n;
        m_card.reset(); // the old card takes its link with it when it goes
        m_card = PlugCard(options, plug);
        QVERIFY(m_card);
    }
    QString linkPath(int n) const
    {
        return m_config.path() + QStringLiteral("/zelkora/com") + QString::number(n);
    }
    template <typename T> T *widget(const char *name) const
    {
        return Control<T>(m_window->form.get(), QLatin1String(name));
    }
    Transport &port() { return m_window->link().transport(); }
    LinkEngine &engine() { return m_window->link().engine(); }

    QTemporaryDir m_config;
    std::unique_ptr<Window> m_window;
    std::unique_ptr<CardSimPty> m_card;
};

QTEST_MAIN(CardLinkWindowTest)
#include "cardlink_test.moc"
