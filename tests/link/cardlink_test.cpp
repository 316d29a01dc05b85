// The card link as the window wires it, through the real widgets, against the virtual card.

#include "cardlink.h"
#include "cardsim_pty.h"
#include "linkengine.h"
#include "serialport.h"
#include "unit1.h"
#include "unit2.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
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
    }

    void init()
    {
        m_window = std::make_unique<TForm1>();
        m_window->createTransferDialog();
        m_window->show();
        QVERIFY(m_window->cardLink());
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
        QCOMPARE(port().LastDevice(), linkPath(3));

        // Only the fifth character counts: "COM 34" is Com3 again, reopened.
        widget<QComboBox>("ComboBox1")->lineEdit()->selectAll();
        QTest::keyClicks(widget<QComboBox>("ComboBox1")->lineEdit(), QStringLiteral("COM 34"));
        QVERIFY(port().PortOpen());
        QCOMPARE(port().LastDevice(), linkPath(3));
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
        m_window->cardLink()->ConnectPort(); // "COM 1", as start-up opens it
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
        TForm2 *dialog = m_window->transferDialog();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 5000);
        QCOMPARE(widget<QProgressBar>("ProgressBar1")->value(), 71);
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
    }

    void messenShowsLabelsAndResetClearsBar()
    {
        CardSimOptions options;
        options.measurement = {128, 129, 255, 65};
        plugCard(options, 1);
        m_window->cardLink()->ConnectPort();
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
        m_window->cardLink()->ConnectPort();
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
        m_window->cardLink()->ConnectPort();
        QTRY_COMPARE_WITH_TIMEOUT(engine().LinkStep(), int(LinkEngine::Idle), 2000);
        QTest::mouseClick(widget<QPushButton>("Button1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!port().PortOpen(), 3000);
        QVERIFY(widget<QComboBox>("ComboBox1")
                    ->styleSheet()
                    .contains(QStringLiteral("rgb(255, 0, 0)")));
        QCOMPARE(widget<QComboBox>("ComboBox1")->toolTip(),
                 linkPath(1) + QStringLiteral(": getrennt"));
        QTRY_COMPARE_WITH_TIMEOUT(widget<QLabel>("Label1")->text(), QStringLiteral("ni. verbunden"),
                                  2500);
    }

private:
    void plugCard(const CardSimOptions &options, int n)
    {
        m_card = std::make_unique<CardSimPty>(options);
        QVERIFY(m_card->Open());
        QVERIFY(m_card->LinkAs(m_config.path().toStdString(), n));
        m_card->Start();
    }
    QString linkPath(int n) const
    {
        return m_config.path() + QStringLiteral("/zelkora/com") + QString::number(n);
    }
    template <typename T> T *widget(const char *name) const
    {
        T *found = m_window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    SerialPort &port() { return m_window->cardLink()->serialPort(); }
    LinkEngine &engine() { return m_window->cardLink()->engine(); }

    QTemporaryDir m_config;
    std::unique_ptr<TForm1> m_window;
    std::unique_ptr<CardSimPty> m_card;
};

QTEST_MAIN(CardLinkWindowTest)
#include "cardlink_test.moc"
