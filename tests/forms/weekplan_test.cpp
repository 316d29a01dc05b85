#include "forms/planlayout.h"
#include "forms/plansvg.h"
#include "forms/projecttext.h"
#include "forms/weekplan.h"
#include "tests/support/edgeimages.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>

namespace {
using namespace ImageOffset;

struct BarCase
{
    int relay, day;
    double from, to;
    PlanSource source;
};

TEST(WeekPlan, BarsWhereTheTimersAndTheRandomWindowSwitch)
{
    const WeekPlan plan = MakeWeekPlan(SmallWeek());
    std::vector<BarCase> expected;
    for (int day = 0; day < 5; ++day)
        expected.push_back({0, day, 6.5, 7.0, PlanSource::Timer1});
    expected.push_back({0, 5, 22.0, 24.0, PlanSource::Timer2});
    expected.push_back({0, 6, 0.0, 2.0, PlanSource::Timer2});
    for (int day = 0; day < 7; ++day) {
        expected.push_back({1, day, 23.0, 24.0, PlanSource::Random});
        expected.push_back({1, (day + 1) % 7, 0.0, 1.0, PlanSource::Random});
    }
    ASSERT_EQ(plan.bars.size(), expected.size());
    for (const BarCase &e : expected) {
        const bool found = std::any_of(plan.bars.begin(), plan.bars.end(), [&](const PlanBar &b) {
            return b.relay == e.relay && b.day == e.day && b.source == e.source &&
                   std::abs(b.fromHour - e.from) < 1e-9 && std::abs(b.toHour - e.to) < 1e-9;
        });
        EXPECT_TRUE(found) << "relay " << e.relay << " day " << e.day << " " << e.from << "-"
                           << e.to;
    }
}

TEST(WeekPlan, RelaysNotDrivenByTimeAreNamed)
{
    const WeekPlan plan = MakeWeekPlan(SmallWeek());
    EXPECT_EQ(plan.title, QStringLiteral("Wochenplan Halle"));
    EXPECT_EQ(plan.relays[0].title, QStringLiteral("Relais 1: Pumpe"));
    const std::vector<std::pair<int, QString>> notes = {
        {2, QStringLiteral("Eingänge: K1 OR K3")},
        {3, QStringLiteral("Sekundentimer: an bei 5 s, aus bei 9 s")},
        {4, QStringLiteral("Sensor 3 LF: an unter 40 % rel. LF, aus über 60 % rel. LF")},
        {5, QStringLiteral("Timer 1: keine gültige Uhrzeit (25:61:00 bis 00:00:00)")},
        {6, QStringLiteral("keine Funktion aktiv")},
    };
    for (const auto &[relay, note] : notes)
        EXPECT_EQ(plan.relays[static_cast<std::size_t>(relay)].notes, QStringList{note}) << relay;
    EXPECT_TRUE(plan.relays[0].notes.isEmpty());
}

TEST(WeekPlan, SvgIsAnA4PageWithEachBarAsAnElement)
{
    const WeekPlan plan = MakeWeekPlan(SmallWeek());
    QXmlStreamReader xml(WeekPlanSvg(plan));
    int bars = 0;
    bool sawRoot = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto attributes = xml.attributes();
        if (xml.name() == QLatin1String("svg")) {
            sawRoot = true;
            EXPECT_EQ(attributes.value("width"), QLatin1String("210.00mm"));
            EXPECT_EQ(attributes.value("height"), QLatin1String("297.00mm"));
        }
        if (xml.name() != QLatin1String("rect") ||
            attributes.value("class") != QLatin1String("balken"))
            continue;
        ++bars;
        PlanBar bar;
        bar.relay = attributes.value("data-relais").toInt() - 1;
        bar.day = QStringList{"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"}.indexOf(
            attributes.value("data-tag").toString());
        bar.fromHour = attributes.value("data-von").toDouble();
        bar.toHour = attributes.value("data-bis").toDouble();
        const QString source = attributes.value("data-quelle").toString();
        bar.source = source == QLatin1String("Timer 1")   ? PlanSource::Timer1
                     : source == QLatin1String("Timer 2") ? PlanSource::Timer2
                                                          : PlanSource::Random;
        const PlanPage::Box box = PlanPage::BarBox(bar);
        EXPECT_NEAR(attributes.value("x").toDouble(), box.x, 0.01);
        EXPECT_NEAR(attributes.value("y").toDouble(), box.y, 0.01);
        EXPECT_NEAR(attributes.value("width").toDouble(), box.w, 0.01);
        EXPECT_EQ(attributes.value("fill").toString(), PlanSourceColor(bar.source));
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(sawRoot);
    EXPECT_EQ(bars, int(plan.bars.size()));
}

// Relays with many notes and long input lists, and names with control characters: the SVG
// stays valid XML and every note stays inside its panel, as on a printed form.
TEST(WeekPlan, NotesStayInsideTheirPanelAndNamesAreWrittenVisibly)
{
    ConfigImage image = RandomImage(7);
    for (int p = 0; p < 8; ++p) {
        image[logicInputs(p)] = 0xFF;  // every input
        image[mode(p)] = 0x3F;         // AND, and every "aktiv"
        image[temperature(p)] |= 0x01; // temperature on
        image[secTimer(p)] |= 0x01;
    }
    image[GlobalFlags] &= std::uint8_t(~1); // timers, not the running light
    WriteNameSlot(image, 0, QStringLiteral("Pumpe\x01\nSüd"));
    WriteNameSlot(image, 8, QStringLiteral("Halle\x07"));
    const WeekPlan plan = MakeWeekPlan(image);
    const QByteArray svg = WeekPlanSvg(plan);
    QXmlStreamReader xml(svg);
    struct Panel
    {
        double x, y, w, h;
    };
    std::vector<Panel> panels;
    int notes = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const auto a = xml.attributes();
        if (xml.name() == QLatin1String("rect") && a.value("stroke") == QLatin1String("#999999"))
            panels.push_back({a.value("x").toDouble(), a.value("y").toDouble(),
                              a.value("width").toDouble(), a.value("height").toDouble()});
        if (xml.name() == QLatin1String("text") && a.value("class") == QLatin1String("notiz")) {
            const double x = a.value("x").toDouble(), y = a.value("y").toDouble();
            const double size = a.value("font-size").toDouble();
            const QString text = xml.readElementText();
            ++notes;
            const auto inside = std::find_if(panels.begin(), panels.end(), [&](const Panel &p) {
                return x >= p.x && x <= p.x + p.w && y - size >= p.y && y <= p.y + p.h;
            });
            ASSERT_NE(inside, panels.end()) << text.toStdString() << " at " << x << "," << y;
            EXPECT_LE(x + text.size() * 0.6 * size, inside->x + inside->w) << text.toStdString();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(panels.size(), 8u);
    EXPECT_GE(notes, 8);
    EXPECT_TRUE(svg.contains("Pumpe\\x01\\x0aS")) << "the name's control characters";
    EXPECT_TRUE(svg.contains("Wochenplan Halle\\x07"));
    // The listing keeps its lines, the file its bytes.
    const QString shown = ShowProject(image);
    EXPECT_TRUE(shown.contains(QStringLiteral("Relais 1 (Pumpe\\x01\\x0aSüd)\n")));
    EXPECT_FALSE(shown.contains(QChar(1)));
    EXPECT_EQ(ReadNameSlot(image, 0), QStringLiteral("Pumpe\x01\nSüd"));
}

} // namespace
