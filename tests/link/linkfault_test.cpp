// Faults on the line, injected by the virtual card on a pseudo-terminal, against a real card
// session: serial layer, engine and clock with their timers, as the window runs them.
#include "link/linkengine.h"
#include "link/serialport.h"
#include "tests/support/cardrig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <sys/resource.h>

namespace {

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

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
        SessionRig rig(m_config.path());
        CardSimOptions faulty;
        faulty.dropAckAfterBlock = 7;
        QVERIFY(rig.plugCardAndChoosePort(faulty));

        QVERIFY(rig.pressSend());
        const int waitingAfterBlock7 = LinkEngine::BlockDueStep(8) + 1; // the 8th block out
        QTRY_COMPARE_WITH_TIMEOUT(rig.session.LinkStep(), waitingAfterBlock7, 5000);
        // No time-out of its own: it keeps waiting, and keeps the card shown as there.
        QTest::qWait(2500);
        QCOMPARE(rig.session.LinkStep(), waitingAfterBlock7);
        QCOMPARE(rig.completions, 0);
        QVERIFY(rig.connected);

        QSignalSpy progress(&rig.session, &CardSession::progressChanged);
        rig.session.Reset();
        QCOMPARE(rig.session.LinkStep(), int(LinkEngine::Idle));
        QCOMPARE(progress.first().first().toInt(), 0);

        // The line is good again; the card has given up the broken upload by now.
        rig.card->SetOptions({});
        QVERIFY(rig.pressSend());
        QVERIFY(rig.waitForCompletions(1));
        QVERIFY2(rig.cardRecordedUploads(1), rig.why.c_str());
    }

    void surplusAcknowledgementsDisturbAndNoiseDoesNot_data()
    {
        QTest::addColumn<int>("extraAckAfterBlock");
        QTest::addColumn<int>("noiseBytes");
        QTest::addColumn<int>("disturbedAt"); // 0: completes
        QTest::newRow("surplus ack after the accept") << -1 << 0 << 0;
        QTest::newRow("surplus ack mid-upload") << 12 << 0 << 14;
        QTest::newRow("surplus ack after the last block") << 31 << 0 << 33;
        QTest::newRow("noise before every reply") << -1 << 3 << 0;
        QTest::newRow("noise and a surplus ack") << 5 << 7 << 7;
    }

    // A second acknowledgement for one block means the card and the program may count blocks
    // differently: the upload is given up there, never reported complete.
    void surplusAcknowledgementsDisturbAndNoiseDoesNot()
    {
        QFETCH(int, extraAckAfterBlock);
        QFETCH(int, noiseBytes);
        QFETCH(int, disturbedAt);
        SessionRig rig(m_config.path());
        CardSimOptions options;
        options.extraAckAfterBlock = extraAckAfterBlock;
        options.noiseBytes = noiseBytes;
        QVERIFY(rig.plugCardAndChoosePort(options));
        QSignalSpy disturbed(&rig.session.engine(), &LinkEngine::uploadDisturbed);

        QVERIFY(rig.pressSend());
        if (disturbedAt > 0) {
            QTRY_COMPARE_WITH_TIMEOUT(disturbed.size(), 1, 10000);
            QCOMPARE(disturbed.first().first().toInt(), disturbedAt);
            QCOMPARE(rig.completions, 0);
            // Given up: no step of an upload is left (a poll may have begun since).
            QCOMPARE(LinkEngine::PositionOf(rig.session.LinkStep()).phase,
                     LinkEngine::UploadPosition::NotUploading);
            return;
        }
        QVERIFY(rig.waitForCompletions(1));
        // The card's record: "D", every block once and in order, then the final block.
        QVERIFY2(rig.cardRecordedUploads(1), rig.why.c_str());
        QCOMPARE(disturbed.size(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(rig.connected, 3000);
        QVERIFY(rig.pressSend());
        QVERIFY(rig.waitForCompletions(2));
        QVERIFY2(rig.cardRecordedUploads(2), rig.why.c_str());
    }

    void wrongVersionWarnsAndDisablesSend()
    {
        SessionRig rig(m_config.path());
        CardSimOptions options;
        options.version = 136;
        QVERIFY(rig.plugCard(options));
        QVERIFY(rig.session.ComboBox1Change(QStringLiteral("COM 1")));

        QTRY_VERIFY_WITH_TIMEOUT(rig.wrongVersion, 4000);
        QVERIFY(rig.connected);
        QVERIFY(!rig.sendEnabled);
        // Every cycle that gets the wrong byte says so again.
        QSignalSpy reports(&rig.session, &CardSession::linkReported);
        QTRY_VERIFY_WITH_TIMEOUT(reports.size() >= 2, 4000);
        QCOMPARE(reports.last().at(1).toBool(), true);
    }

    void hangUpMidUploadNeitherCrashesNorSpins()
    {
        SessionRig rig(m_config.path());
        CardSimOptions options;
        options.hangupAfterBlock = 10;
        QVERIFY(rig.plugCardAndChoosePort(options));

        QVERIFY(rig.pressSend());
        QTRY_VERIFY_WITH_TIMEOUT(rig.card->HungUp(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.PortOpen(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.connected, 3000);
        QCOMPARE(rig.completions, 0);
        // The card's thread ended with the hang-up: what is measured is ours. Its link is made
        // to point nowhere, as an unplugged adapter's does (the pseudo-terminal's number may
        // be another test's at once).
        const QString link = QString::fromStdString(rig.card->LinkPath());
        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/ttyUSB0"), link));

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
        QVERIFY(!rig.connected);

        // The card is back; choosing the port again reconnects, and an upload goes through
        // once the user has reset the one that was broken off.
        QVERIFY(rig.plugCard({}));
        rig.session.Reset();
        // The first report may still rest on the acknowledgements from before the hang-up;
        // the second one is the verdict of a poll the new card answered.
        QVERIFY(rig.choosePort());
        QVERIFY(rig.pressSend());
        QVERIFY(rig.waitForCompletions(1));
        QVERIFY2(rig.cardRecordedUploads(1), rig.why.c_str());
    }

private:
    QTemporaryDir m_config;
};

QTEST_GUILESS_MAIN(LinkFaultTest)
#include "linkfault_test.moc"
