// Whole card sessions against virtual cards on pseudo-terminals: the event loop stays free
// while a card is on the line, arrivals carry an upload, and sessions side by side each reach
// their own card.
#include "link/linkengine.h"
#include "tests/support/cardrig.h"
#include "tools/eventwait.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <array>
#include <memory>

class CardSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }

    void uploadLeavesTheEventLoopFree()
    {
        SessionRig rig(m_config.path(), 1);
        QVERIFY(rig.plugCardAndChoosePort({}, true));
        LoopBlockProbe probe;
        probe.start();
        QVERIFY(rig.pressSend());
        QVERIFY(rig.waitForCompletions(1));
        probe.stop();
        QVERIFY2(rig.cardRecordedUploads(1), rig.why.c_str());
        qInfo("longest event-loop block during the upload: %.2f ms", probe.longestMs());
        // A port that waited for its reads or writes would hold the loop for most of every
        // tick; the bounds leave room for a loaded machine and the sanitizers.
        QVERIFY2(probe.blockedShare(5.0) < 0.10,
                 qPrintable(QString::number(probe.blockedShare(5.0) * 100.0) + " %"));
        QVERIFY2(probe.longestMs() < 250.0, qPrintable(QString::number(probe.longestMs())));
    }

    void arrivalsAloneCarryTheUpload()
    {
        SessionRig rig(m_config.path(), 2);
        QVERIFY(rig.plugCardAndChoosePort());
        rig.session.stop(); // no ticks, no polls
        QTest::qWait(100);  // a poll reply still on its way is in
        rig.session.Reset();
        QVERIFY(rig.pressSend());
        rig.session.Step(); // "D" goes out; from here on only the card's bytes step the engine
        QVERIFY(rig.waitForCompletions(1, 5000));
        QVERIFY2(rig.cardRecordedUploads(1), rig.why.c_str());
    }

    void sessionsSideBySideEachReachTheirCard()
    {
        std::array<std::unique_ptr<SessionRig>, 2> rigs;
        for (int n = 0; n < 2; ++n) {
            rigs[n] = std::make_unique<SessionRig>(m_config.path(), 3 + n);
            QVERIFY(rigs[n]->plugCardAndChoosePort({}, true));
        }
        QVERIFY(rigs[0]->image[0] != rigs[1]->image[0]);
        for (auto &rig : rigs)
            QVERIFY(rig->pressSend());
        for (auto &rig : rigs) {
            QVERIFY(rig->waitForCompletions(1));
            QVERIFY2(rig->cardRecordedUploads(1), rig->why.c_str());
        }
    }

private:
    QTemporaryDir m_config;
};

QTEST_GUILESS_MAIN(CardSessionTest)
#include "session_test.moc"
