#pragma once

#include "config/configimage.h"

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

// The legend's name and colour of a source ("Timer 1", "#1f5fbf"), and a row's day ("Mo").
QString PlanSourceName(PlanSource source);
QString PlanSourceColor(PlanSource source);
QString PlanDayName(int row);
