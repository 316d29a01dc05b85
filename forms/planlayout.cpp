#include "forms/planlayout.h"

namespace {

using namespace PlanShapes;

constexpr double Margin = 12.0;
constexpr double PanelTop = 40.0;
constexpr double PanelGap = 6.0;
constexpr double PanelWidth = (PlanPage::Width - 2 * Margin - PanelGap) / 2; // 90
constexpr double PanelHeight = 61.0;
constexpr double DayColumn = 8.0;
constexpr double ChartTop = 11.0; // below the panel's top
constexpr double RowHeight = 6.0;
constexpr double ChartWidth = PanelWidth - DayColumn - 3.0;
constexpr double BarHeight = 1.7;

double PanelX(int relay)
{
    return Margin + (relay % 2) * (PanelWidth + PanelGap);
}
double PanelY(int relay)
{
    return PanelTop + (relay / 2) * (PanelHeight + 1.0);
}
double ChartX(int relay)
{
    return PanelX(relay) + DayColumn;
}
double HourX(int relay, double hour)
{
    return ChartX(relay) + ChartWidth * hour / 24.0;
}
int SourceSlot(PlanSource source)
{
    return static_cast<int>(source);
}

// Greedy lines of at most `width` characters, broken at blanks (a longer word is cut).
QStringList Wrap(const QString &text, int width)
{
    QStringList lines;
    QString line;
    for (QString word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        while (word.size() > width) {
            if (!line.isEmpty())
                lines << line;
            lines << word.left(width);
            word = word.mid(width);
            line.clear();
        }
        if (line.isEmpty())
            line = word;
        else if (line.size() + 1 + word.size() <= width)
            line += QLatin1Char(' ') + word;
        else {
            lines << line;
            line = word;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

// The notes under a relay's chart, within the room below it: wrapped to the panel's width,
// in a smaller type where they need more lines, and cut with "…" where even the smallest
// does not hold them, as a printed form would.
void LayoutNotes(std::vector<Shape> &shapes, double x, double top, double width, double height,
                 const QStringList &notes)
{
    const QString text = notes.join(QStringLiteral(" · "));
    constexpr double CharWidth = 0.6; // of the type's height, generous for DejaVu Sans
    for (const double size : {2.9, 2.5, 2.2, 1.9}) {
        const double step = size * 1.2;
        const int room = std::max(1, int((height - size) / step) + 1);
        const int perLine = std::max(8, int(width / (size * CharWidth)));
        QStringList lines = Wrap(text, perLine);
        if (lines.size() > room && size > 1.9)
            continue;
        if (lines.size() > room) {
            lines = lines.mid(0, room);
            lines.last() = lines.last().left(perLine - 1) + QStringLiteral("…");
        }
        for (int i = 0; i < lines.size(); ++i)
            shapes.push_back(Text{x, top + size + i * step, size, lines[i], false, 0,
                                  QStringLiteral("#000000"), QStringLiteral("notiz")});
        return;
    }
}

} // namespace

namespace PlanPage {
Box BarBox(const PlanBar &bar)
{
    const double top = PanelY(bar.relay) + ChartTop + bar.day * RowHeight;
    return {HourX(bar.relay, bar.fromHour), top + 0.5 + SourceSlot(bar.source) * (BarHeight + 0.1),
            ChartWidth * (bar.toHour - bar.fromHour) / 24.0, BarHeight};
}
} // namespace PlanPage

std::vector<PlanShapes::Shape> LayoutWeekPlan(const WeekPlan &plan)
{
    std::vector<Shape> shapes;
    shapes.push_back(Text{Margin, 20.0, 6.0, plan.title, true});
    double y = 26.5;
    for (const QString &note : plan.notes) {
        shapes.push_back(Text{Margin, y, 3.2, note});
        y += 4.2;
    }
    // Legend.
    double x = Margin;
    const double legendY = 35.0;
    for (PlanSource source : {PlanSource::Timer1, PlanSource::Timer2, PlanSource::Random}) {
        shapes.push_back(Rect{x, legendY - 2.6, 7.0, 2.8, PlanSourceColor(source), {}, 0, {}, {}});
        shapes.push_back(Text{x + 9.0, legendY, 3.2, PlanSourceName(source)});
        x += 45.0;
    }
    shapes.push_back(Text{PlanPage::Width - Margin, legendY, 2.8,
                          QStringLiteral("Stunden 0 bis 24"), false, 2, QStringLiteral("#555555")});

    for (int relay = 0; relay < 8; ++relay) {
        const RelayPlan &relayPlan = plan.relays[static_cast<std::size_t>(relay)];
        const double px = PanelX(relay), py = PanelY(relay);
        const double top = py + ChartTop;
        shapes.push_back(Rect{
            px, py, PanelWidth, PanelHeight - 1.0, {}, QStringLiteral("#999999"), 0.25, {}, {}});
        shapes.push_back(Text{px + 2.0, py + 5.0, 3.8, relayPlan.title, true});
        // Hour grid and scale.
        for (int hour = 0; hour <= 24; ++hour) {
            const double hx = HourX(relay, hour);
            const bool major = hour % 6 == 0;
            shapes.push_back(Line{hx, top, hx, top + 7 * RowHeight,
                                  major ? QStringLiteral("#888888") : QStringLiteral("#dddddd"),
                                  major ? 0.25 : 0.15});
            if (major)
                shapes.push_back(Text{hx, top - 1.2, 2.6, QString::number(hour), false, 1,
                                      QStringLiteral("#444444")});
        }
        for (int row = 0; row < 7; ++row) {
            const double ry = top + row * RowHeight;
            shapes.push_back(Line{ChartX(relay), ry + RowHeight, ChartX(relay) + ChartWidth,
                                  ry + RowHeight, QStringLiteral("#bbbbbb"), 0.15});
            shapes.push_back(Text{px + 2.0, ry + 4.3, 3.0, PlanDayName(row)});
        }
        const double notesTop = top + 7 * RowHeight + 0.8;
        LayoutNotes(shapes, px + 2.0, notesTop, PanelWidth - 4.0,
                    py + PanelHeight - 1.0 - 0.8 - notesTop, relayPlan.notes);
    }
    for (const PlanBar &bar : plan.bars) {
        const PlanPage::Box box = PlanPage::BarBox(bar);
        shapes.push_back(Rect{box.x,
                              box.y,
                              box.w,
                              box.h,
                              PlanSourceColor(bar.source),
                              {},
                              0,
                              QStringLiteral("balken"),
                              QStringLiteral("data-relais=\"%1\" data-tag=\"%2\" data-von=\"%3\" "
                                             "data-bis=\"%4\" data-quelle=\"%5\"")
                                  .arg(bar.relay + 1)
                                  .arg(PlanDayName(bar.day))
                                  .arg(bar.fromHour, 0, 'f', 4)
                                  .arg(bar.toHour, 0, 'f', 4)
                                  .arg(PlanSourceName(bar.source))});
    }
    return shapes;
}
