#include "link/cardsession.h"
#include "link/linkclock.h"
#include "link/linkengine.h"
#include "tests/support/fakeport.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

struct ClockCase
{
    QDateTime now;
    int weekdayIndex;
    const char *clockText;
    int todayMask;
    int hour, minute, second;
};

class ClockTest : public ::testing::TestWithParam<ClockCase>
{
};

TEST_P(ClockTest, TextMaskAndNumbers)
{
    const ClockCase &c = GetParam();
    LinkClock clock;
    QString shown;
    QObject::connect(&clock, &LinkClock::clockTextChanged,
                     [&shown](const QString &text) { shown = text; });
    clock.Timer2Timer(c.now);
    EXPECT_EQ(clock.WeekdayIndex(), c.weekdayIndex);
    EXPECT_EQ(clock.ClockText(), QString::fromUtf8(c.clockText));
    EXPECT_EQ(shown, clock.ClockText());
    EXPECT_EQ(clock.TodayMask(), c.todayMask);
    EXPECT_EQ(clock.ClockHour(), c.hour);
    EXPECT_EQ(clock.ClockMinute(), c.minute);
    EXPECT_EQ(clock.ClockSecond(), c.second);
    EXPECT_EQ(clock.Values().todayMask, c.todayMask);
    EXPECT_EQ(clock.Values().second, c.second);
}

QDateTime At(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

INSTANTIATE_TEST_SUITE_P(
    Days, ClockTest,
    ::testing::Values(ClockCase{At(2024, 3, 3, 10, 0, 0), 0, "10:00:00  So", 1, 10, 0, 0},
                      ClockCase{At(2024, 3, 4, 14, 5, 9), 1, "14:05:09  Mo", 2, 14, 5, 9},
                      ClockCase{At(2024, 3, 5, 23, 59, 59), 2, "23:59:59  Di", 4, 23, 59, 59},
                      // Just after midnight the new day's name and bit are in force.
                      ClockCase{At(2024, 3, 6, 0, 0, 1), 3, "00:00:01  Mi", 8, 0, 0, 1},
                      ClockCase{At(2024, 3, 7, 7, 0, 0), 4, "07:00:00  Do", 16, 7, 0, 0},
                      ClockCase{At(2024, 3, 8, 12, 30, 45), 5, "12:30:45  Fr", 32, 12, 30, 45},
                      ClockCase{At(2024, 3, 9, 9, 8, 7), 6, "09:08:07  Sa", 64, 9, 8, 7}));

// The once-a-second report speaks of the poll cycle that just ended; then the next poll
// starts.
struct StatusCase
{
    const char *name;
    bool portOpen;
    int reply; // -1: the card does not answer
    bool connected;
    bool wrongVersion;
};

struct Report
{
    bool connected = false;
    bool wrongVersion = true;
    int count = 0;
};

void Record(CardSession &session, Report &report)
{
    QObject::connect(&session, &CardSession::linkReported,
                     [&report](bool connected, bool wrongVersion) {
                         report = {connected, wrongVersion, report.count + 1};
                     });
}

class ClockStatusTest : public ::testing::TestWithParam<StatusCase>
{
};

TEST_P(ClockStatusTest, LabelsAfterOnePollCycle)
{
    const StatusCase &c = GetParam();
    FakePort port;
    port.isOpen = c.portOpen;
    ConfigImage image;
    CardSession session(port, image);
    const LinkEngine &engine = session.engine();
    Report report;
    Record(session, report);
    const QDateTime now = At(2024, 3, 4, 14, 5, 9);

    session.SecondTick(now);
    EXPECT_EQ(report.count, 1);
    EXPECT_FALSE(report.connected);
    EXPECT_FALSE(report.wrongVersion);
    EXPECT_EQ(engine.LinkStep(), 97);
    session.Step();
    if (c.reply >= 0)
        port.Queue({c.reply});
    session.Step();
    session.SecondTick(now.addSecs(1));
    EXPECT_EQ(session.clock().ClockSecond(), 10);
    EXPECT_EQ(report.connected, c.connected);
    EXPECT_EQ(report.wrongVersion, c.wrongVersion);
    // Every tick starts a new cycle, whether or not the last one was answered.
    EXPECT_EQ(engine.LinkStep(), 97);
    EXPECT_FALSE(engine.CardSeen());
    EXPECT_TRUE(engine.VersionOk());
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, ClockStatusTest,
    ::testing::Values(StatusCase{"Version137", true, 137, true, false},
                      StatusCase{"Version136", true, 136, true, true},
                      StatusCase{"AckOnly", true, 65, true, false},
                      StatusCase{"NoAnswer", true, -1, false, false},
                      // Nothing is read without a port, so nothing is seen either.
                      StatusCase{"PortClosed", false, 137, false, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ClockStatus, UploadKeepsLastVerdictAndStartsNoPoll)
{
    FakePort port;
    ConfigImage image;
    CardSession session(port, image);
    Report report;
    Record(session, report);
    const QDateTime now = At(2024, 3, 4, 14, 5, 9);
    session.SecondTick(now);
    session.Step();
    port.Queue({137});
    session.Step();
    session.Send();
    session.Step(); // "D" out, no acceptance: the upload waits at 4
    for (int s = 1; s <= 3; ++s) {
        session.SecondTick(now.addSecs(s));
        EXPECT_TRUE(report.connected);
        EXPECT_EQ(session.LinkStep(), 4);
    }
    EXPECT_EQ(report.count, 4);
}

} // namespace
