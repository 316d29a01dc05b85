#pragma once

#include "configimage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// The week at a glance: for each relay the hours of Monday to Sunday when its timers and its
// random window can switch it on, as the card reads the bytes (the day bytes it receives, the
// "aktiv" bits of the mode byte). Relays that inputs, the seconds timer or a temperature drive
// are named so instead of drawn.

enum class PlanSource
{
    Timer1,
    Timer2,
    Random
};

// One bar: relay 0..7, row 0 = Monday .. 6 = Sunday, hours 0..24 (a switch-off after midnight
// continues as a bar from 0 on the next day, Sunday wrapping to Monday).
struct PlanBar
{
    int relay = 0;
    int day = 0;
    double fromHour = 0;
    double toHour = 0;
    PlanSource source = PlanSource::Timer1;
};

struct RelayPlan
{
    QString title;     // "Relais 3: Heizung"
    QStringList notes; // what drives it besides the bars, or why nothing is drawn
};

struct WeekPlan
{
    QString title; // "Wochenplan Relaiskarte"
    QStringList notes;
    std::array<RelayPlan, 8> relays;
    std::vector<PlanBar> bars;
};

WeekPlan MakeWeekPlan(const ConfigImage &image);

// The picture is laid out once, in millimetres on an A4 page (portrait); the SVG and the
// painted forms draw the same shapes.
namespace PlanPage {
constexpr double Width = 210.0;
constexpr double Height = 297.0;
constexpr int PngDpi = 150; // 1240 x 1754 pixels
// Where the bar of `source` for relay/day/hours lies on the page, in millimetres.
struct Box
{
    double x = 0, y = 0, w = 0, h = 0;
};
Box BarBox(const PlanBar &bar);
QString SourceColor(PlanSource source); // "#1f5fbf"
} // namespace PlanPage

QByteArray WeekPlanSvg(const WeekPlan &plan);

// PNG (150 dpi) or PDF (one A4 page) by the name's extension, as the bytes to write. Needs a
// QGuiApplication (fonts); the offscreen platform does. Empty with a reason on failure.
enum class PictureFormat
{
    Svg,
    Png,
    Pdf,
    Unknown
};
PictureFormat PictureFormatOf(const QString &path);
QByteArray WeekPlanPicture(const WeekPlan &plan, PictureFormat format, QString *error = nullptr);
