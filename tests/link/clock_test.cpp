#include "fakeport.h"
#include "linkclock.h"
#include "linkengine.h"

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
    FakePort port;
    ConfigImage image;
    LinkClock clock;
    LinkEngine engine(port, image, clock);
    QString shown;
    QObject::connect(&clock, &LinkClock::clockTextChanged,
                     [&shown](const QString &text) { shown = text; });
    clock.Timer2Timer(c.now, engine);
    EXPECT_EQ(clock.WeekdayIndex(), c.weekdayIndex);
    EXPECT_EQ(clock.ClockText(), QString::fromUtf8(c.clockText));
    EXPECT_EQ(shown, clock.ClockText());
    EXPECT_EQ(clock.TodayMask(), c.todayMask);
    EXPECT_EQ(clock.ClockHour(), c.hour);
    EXPECT_EQ(clock.ClockMinute(), c.minute);
    EXPECT_EQ(clock.ClockSecond(), c.second);
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

// The status texts report the poll cycle that just ended; then the next poll starts.
struct StatusCase
{
    const char *name;
    bool portOpen;
    int reply; // -1: the card does not answer
    const char *link;
    const char *version;
};

class ClockStatusTest : public ::testing::TestWithParam<StatusCase>
{
};

TEST_P(ClockStatusTest, LabelsAfterOnePollCycle)
{
    const StatusCase &c = GetParam();
    FakePort port;
    port.open = c.portOpen;
    ConfigImage image;
    LinkClock clock;
    LinkEngine engine(port, image, clock);
    QString link, version = QStringLiteral("untouched");
    QObject::connect(&clock, &LinkClock::linkTextChanged, [&link](const QString &t) { link = t; });
    QObject::connect(&clock, &LinkClock::versionTextChanged,
                     [&version](const QString &t) { version = t; });
    const QDateTime now = At(2024, 3, 4, 14, 5, 9);

    clock.Timer2Timer(now, engine);
    EXPECT_EQ(link, QStringLiteral("ni. verbunden"));
    EXPECT_EQ(version, QString());
    EXPECT_EQ(engine.LinkStep(), 97);
    engine.Timer1Timer();
    if (c.reply >= 0)
        port.Queue({c.reply});
    engine.Timer1Timer();
    clock.Timer2Timer(now.addSecs(1), engine);
    EXPECT_EQ(link, QString::fromUtf8(c.link));
    EXPECT_EQ(version, QString::fromUtf8(c.version));
    // Every tick starts a new cycle, whether or not the last one was answered.
    EXPECT_EQ(engine.LinkStep(), 97);
    EXPECT_FALSE(engine.CardSeen());
    EXPECT_TRUE(engine.VersionOk());
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, ClockStatusTest,
    ::testing::Values(StatusCase{"Version137", true, 137, "verbunden", ""},
                      StatusCase{"Version136", true, 136, "verbunden", "Rel Karte falsche Version"},
                      StatusCase{"AckOnly", true, 65, "verbunden", ""},
                      StatusCase{"NoAnswer", true, -1, "ni. verbunden", ""},
                      StatusCase{"PortClosed", false, 137, "ni. verbunden", ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ClockStatus, UploadKeepsLastVerdictAndStartsNoPoll)
{
    FakePort port;
    ConfigImage image;
    LinkClock clock;
    LinkEngine engine(port, image, clock);
    QString link;
    QObject::connect(&clock, &LinkClock::linkTextChanged, [&link](const QString &t) { link = t; });
    const QDateTime now = At(2024, 3, 4, 14, 5, 9);
    clock.Timer2Timer(now, engine);
    engine.Timer1Timer();
    port.Queue({137});
    engine.Timer1Timer();
    engine.Button1Click();
    engine.Timer1Timer(); // "D" out, no acceptance: the upload waits at 4
    for (int s = 1; s <= 3; ++s) {
        clock.Timer2Timer(now.addSecs(s), engine);
        EXPECT_EQ(link, QStringLiteral("verbunden"));
        EXPECT_EQ(engine.LinkStep(), 4);
    }
}

} // namespace
