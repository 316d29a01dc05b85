// Faults on the line, injected by the virtual card on a pseudo-terminal, against the real
// serial layer and engine, wired to their timers as the window wires them.
#include "cardsim_pty.h"
#include "configimage.h"
#include "linkclock.h"
#include "linkengine.h"
#include "serialport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <sys/resource.h>

namespace {

// Sunday 14:05:09, so the final block's clock bytes are known: 9, 5, 14 and Sunday's bit.
const QDateTime FixedNow(QDate(2024, 1, 7), QTime(14, 5, 9));

std::vector<std::uint8_t> ExpectedUpload(const ConfigImage &image)
{
    std::vector<std::uint8_t> bytes{68};
    for (int i = 0; i < ConfigImage::UploadSize; ++i)
        bytes.push_back(image[i]);
    for (int b : {9, 5, 14, 1})
        bytes.push_back(std::uint8_t(b));
    for (int offset : {244, 245, 246, 248, 247})
        bytes.push_back(image[offset]);
    return bytes;
}

QByteArray firstDifferenceText;
const char *firstDifference(const std::vector<std::uint8_t> &got,
                            const std::vector<std::uint8_t> &want)
{
    std::size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        ++i;
    firstDifferenceText = QStringLiteral("%1 bytes recorded, %2 expected, first difference at %3")
                              .arg(got.size())
                              .arg(want.size())
                              .arg(i)
                              .toLatin1();
    return firstDifferenceText.constData();
}

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The link as the window holds it: port, engine and clock, Timer1 at 20 ms, Timer2 at 1 s.
struct Rig
{
    explicit Rig(const QString &configDir) : m_configDir(configDir)
    {
        for (int i = 0; i < ConfigImage::Size; ++i)
            image[i] = std::uint8_t(i * 151 + 7);
        QObject::connect(&timer1, &QTimer::timeout, &engine, [this] { engine.Timer1Timer(); });
        QObject::connect(&timer2, &QTimer::timeout, &clock,
                         [this] { clock.Timer2Timer(FixedNow, engine); });
        QObject::connect(&clock, &LinkClock::linkTextChanged, &clock,
                         [this](const QString &text) { linkText = text; });
        QObject::connect(&clock, &LinkClock::versionTextChanged, &clock,
                         [this](const QString &text) { versionText = text; });
        QObject::connect(&engine, &LinkEngine::sendDisabled, &engine,
                         [this] { sendEnabled = false; });
        QObject::connect(&engine, &LinkEngine::uploadCompleted, &engine, [this] { ++completions; });
        timer1.start(20);
        timer2.start(1000);
    }

    bool plugCard(const CardSimOptions &options)
    {
        card = std::make_unique<CardSimPty>(options);
        std::string error;
        if (!card->Open(&error) || !card->LinkAs(m_configDir.toStdString(), 1, &error)) {
            qWarning("virtual card: %s", error.c_str());
            return false;
        }
        card->Start();
        return true;
    }

    // Chooses "COM 1" in the port list and waits for a poll the card answered; the first
    // second also fills the clock bytes that the final block sends.
    bool choosePort()
    {
        if (!port.ComboBox1Change(QStringLiteral("COM 1")))
            return false;
        QSignalSpy reports(&clock, &LinkClock::linkTextChanged);
        return QTest::qWaitFor([&] { return reports.size() >= 2; }, 4000) &&
               linkText == QStringLiteral("verbunden");
    }

    bool plugCardAndChoosePort(const CardSimOptions &options)
    {
        return plugCard(options) && choosePort();
    }

    // Whether the card recorded `count` uploads, the last one "D", every block once and in
    // order, and the final block; `why` then says where it went wrong.
    bool cardRecordedUploads(std::size_t count)
    {
        const auto uploads = card->Uploads();
        why = "wrong number of uploads";
        if (uploads.size() != count)
            return false;
        const auto expected = ExpectedUpload(image);
        why = firstDifference(uploads.back(), expected);
        return uploads.back() == expected;
    }

    // "Send" as the user presses it: only an idle engine starts an upload.
    bool pressSend()
    {
        if (!QTest::qWaitFor([this] { return engine.LinkStep() == LinkEngine::Idle; }, 3000))
            return false;
        engine.Button1Click();
        return engine.LinkStep() == LinkEngine::UploadAsked;
    }

    QString m_configDir;
    SerialPort port;
    ConfigImage image;
    LinkClock clock;
    LinkEngine engine{port, image, clock};
    QTimer timer1;
    QTimer timer2;
    QString linkText = QStringLiteral("ni. verbunden");
    QString versionText;
    bool sendEnabled = true;
    int completions = 0;
    const char *why = "";
    std::unique_ptr<CardSimPty> card;
};

} // namespace

class LinkFaultTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        // The serial layer finds com1 in the user's configuration folder.
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }

    void missingAcknowledgementWaitsUntilReset()
    {
        Rig rig(m_config.path());
        CardSimOptions faulty;
        faulty.dropAckAfterBlock = 7;
        QVERIFY(rig.plugCardAndChoosePort(faulty));

        QVERIFY(rig.pressSend());
        const int waitingAfterBlock7 = 6 + 2 * 7;
        QTRY_COMPARE_WITH_TIMEOUT(rig.engine.LinkStep(), waitingAfterBlock7, 5000);
        // No time-out of its own: it keeps waiting, and keeps the card shown as there.
        QTest::qWait(2500);
        QCOMPARE(rig.engine.LinkStep(), waitingAfterBlock7);
        QCOMPARE(rig.completions, 0);
        QCOMPARE(rig.linkText, QStringLiteral("verbunden"));

        QSignalSpy progress(&rig.engine, &LinkEngine::progressChanged);
        rig.engine.Button2Click();
        QCOMPARE(rig.engine.LinkStep(), int(LinkEngine::Idle));
        QCOMPARE(progress.first().first().toInt(), 0);

        // The line is good again; the card has given up the broken upload by now.
        rig.card->SetOptions({});
        QVERIFY(rig.pressSend());
        QTRY_COMPARE_WITH_TIMEOUT(rig.completions, 1, 10000);
        QVERIFY2(rig.cardRecordedUploads(1), rig.why);
    }

    void surplusAcknowledgementsAndNoiseSendEveryBlockOnce_data()
    {
        QTest::addColumn<int>("extraAckAfterBlock");
        QTest::addColumn<int>("noiseBytes");
        QTest::newRow("surplus ack after the accept") << -1 << 0;
        QTest::newRow("surplus ack mid-upload") << 12 << 0;
        QTest::newRow("surplus ack after the last block") << 31 << 0;
        QTest::newRow("noise before every reply") << -1 << 3;
        QTest::newRow("noise and a surplus ack") << 5 << 7;
    }

    void surplusAcknowledgementsAndNoiseSendEveryBlockOnce()
    {
        QFETCH(int, extraAckAfterBlock);
        QFETCH(int, noiseBytes);
        Rig rig(m_config.path());
        CardSimOptions options;
        options.extraAckAfterBlock = extraAckAfterBlock;
        options.noiseBytes = noiseBytes;
        QVERIFY(rig.plugCardAndChoosePort(options));

        QVERIFY(rig.pressSend());
        QTRY_COMPARE_WITH_TIMEOUT(rig.completions, 1, 10000);
        // The card's record: "D", every block once and in order, then the final block.
        QVERIFY2(rig.cardRecordedUploads(1), rig.why);
        // A surplus acknowledgement must not lock the engine: the polls go on.
        QTRY_COMPARE_WITH_TIMEOUT(rig.linkText, QStringLiteral("verbunden"), 3000);
        QVERIFY(rig.pressSend());
        QTRY_COMPARE_WITH_TIMEOUT(rig.completions, 2, 10000);
        QVERIFY2(rig.cardRecordedUploads(2), rig.why);
    }

    void wrongVersionWarnsAndDisablesSend()
    {
        Rig rig(m_config.path());
        CardSimOptions options;
        options.version = 136;
        QVERIFY(rig.plugCard(options));
        QVERIFY(rig.port.ComboBox1Change(QStringLiteral("COM 1")));

        QTRY_COMPARE_WITH_TIMEOUT(rig.versionText, QStringLiteral("Rel Karte falsche Version"),
                                  4000);
        QCOMPARE(rig.linkText, QStringLiteral("verbunden"));
        QVERIFY(!rig.sendEnabled);
        // Every cycle that gets the wrong byte says so again.
        QSignalSpy reports(&rig.clock, &LinkClock::versionTextChanged);
        QTRY_VERIFY_WITH_TIMEOUT(reports.size() >= 2, 4000);
        QCOMPARE(reports.last().first().toString(), QStringLiteral("Rel Karte falsche Version"));
    }

    void hangUpMidUploadNeitherCrashesNorSpins()
    {
        Rig rig(m_config.path());
        CardSimOptions options;
        options.hangupAfterBlock = 10;
        QVERIFY(rig.plugCardAndChoosePort(options));

        QVERIFY(rig.pressSend());
        QTRY_VERIFY_WITH_TIMEOUT(rig.card->HungUp(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.port.PortOpen(), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.linkText, QStringLiteral("ni. verbunden"), 3000);
        QCOMPARE(rig.completions, 0);
        rig.card.reset(); // the card's own thread is gone: what is measured is ours

        // Both timers keep running against the dead line.
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = ProcessCpuSeconds();
        QTest::qWait(5000);
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        const double share = cpu / (double(wall.elapsed()) / 1000.0);
        qInfo("CPU after the hang-up: %.3f s in %.2f s of wall time (%.2f %% of one core)", cpu,
              double(wall.elapsed()) / 1000.0, share * 100.0);
        QVERIFY2(share < 0.05, qPrintable(QString::number(share * 100.0) + " % of one core"));
        QCOMPARE(rig.linkText, QStringLiteral("ni. verbunden"));

        // The card is back; choosing the port again reconnects, and an upload goes through
        // once the user has reset the one that was broken off.
        QVERIFY(rig.plugCard({}));
        rig.engine.Button2Click();
        // The first report may still rest on the acknowledgements from before the hang-up;
        // the second one is the verdict of a poll the new card answered.
        QVERIFY(rig.choosePort());
        QVERIFY(rig.pressSend());
        QTRY_COMPARE_WITH_TIMEOUT(rig.completions, 1, 10000);
        QVERIFY2(rig.cardRecordedUploads(1), rig.why);
    }

private:
    QTemporaryDir m_config;
};

QTEST_GUILESS_MAIN(LinkFaultTest)
#include "linkfault_test.moc"
