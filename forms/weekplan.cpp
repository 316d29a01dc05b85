#include "forms/weekplan.h"

#include "forms/fieldtable.h"
#include "forms/projectmodel.h"
#include "forms/projecttext.h"

namespace {

const std::array<const char *, 7> DayNames{"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
// Row 0 is Monday; the card's day bits count from Sunday (bit 0).
int DayBit(int row)
{
    return (row + 1) % 7;
}

double Hours(const TimeBytes &time)
{
    return time.hour + time.minute / 60.0 + time.second / 3600.0;
}

// Legend name and colour of each source, in the order of PlanSource.
struct SourceLook
{
    const char *name;
    const char *color;
};
constexpr std::array<SourceLook, 3> SourceLooks{
    {{"Timer 1", "#1f5fbf"}, {"Timer 2", "#e07b00"}, {"Random-Fenster", "#2e9e3e"}}};

// An on-time and an off-time on day `row`: a span past midnight goes on the next day.
void AddSpan(WeekPlan &plan, int relay, int row, const TimeBytes &on, const TimeBytes &off,
             PlanSource source)
{
    const double from = Hours(on), to = Hours(off);
    if (from < to) {
        plan.bars.push_back({relay, row, from, to, source});
    } else if (from > to) {
        plan.bars.push_back({relay, row, from, 24.0, source});
        if (to > 0)
            plan.bars.push_back({relay, (row + 1) % 7, 0.0, to, source});
    }
}

QString Threshold(std::uint8_t byte, std::uint8_t sensor)
{
    return QStringLiteral("%1 %2")
        .arg(SignedThreshold(byte))
        .arg(sensor == 3 ? QStringLiteral("% rel. LF") : QStringLiteral("°C"));
}
} // namespace

QString PlanSourceName(PlanSource source)
{
    return QString::fromLatin1(SourceLooks[static_cast<std::size_t>(source)].name);
}

QString PlanSourceColor(PlanSource source)
{
    return QString::fromLatin1(SourceLooks[static_cast<std::size_t>(source)].color);
}

QString PlanDayName(int row)
{
    return QString::fromLatin1(DayNames[static_cast<std::size_t>(row)]);
}

WeekPlan MakeWeekPlan(const ConfigImage &image)
{
    const ProjectModel model = DecodeProject(image);
    WeekPlan plan;
    plan.title =
        QStringLiteral("Wochenplan ") +
        (model.cardName.isEmpty() ? QStringLiteral("Relaiskarte") : VisibleText(model.cardName));
    if (model.runningLightView) {
        const int choice = ProgramChoiceIndex(model.programChoice);
        plan.notes << QStringLiteral("Lauflicht-Betrieb (%1): die Relais folgen dem Lauflicht.")
                          .arg(choice >= 0
                                   ? ProjectLists::Programs().at(choice)
                                   : QStringLiteral("Programm-Byte %1").arg(model.programChoice));
    }
    for (int p = 0; p < 8; ++p) {
        const RelayModel &r = model.relays[static_cast<std::size_t>(p)];
        RelayPlan &relayPlan = plan.relays[static_cast<std::size_t>(p)];
        relayPlan.title =
            QStringLiteral("Relais %1").arg(p + 1) +
            (r.label.isEmpty() ? QString() : QStringLiteral(": ") + VisibleText(r.label));
        const std::size_t barsBefore = plan.bars.size();
        for (int t = 0; t < 2; ++t) {
            const TimerModel &timer = r.timers[static_cast<std::size_t>(t)];
            if (!timer.active)
                continue;
            const PlanSource source = t == 0 ? PlanSource::Timer1 : PlanSource::Timer2;
            const std::uint8_t days = image[ImageOffset::timerDays(p, t)] & 0x7F;
            if (!IsShownTime(timer.on) || !IsShownTime(timer.off)) {
                relayPlan.notes << QStringLiteral("Timer %1: keine gültige Uhrzeit (%2 bis %3)")
                                       .arg(t + 1)
                                       .arg(TimeText(timer.on), TimeText(timer.off));
                continue;
            }
            if (days == 0)
                relayPlan.notes
                    << QStringLiteral("Timer %1: aktiv, aber kein Tag gewählt").arg(t + 1);
            else if (timer.on == timer.off)
                relayPlan.notes << QStringLiteral("Timer %1: An und Aus gleich (%2)")
                                       .arg(t + 1)
                                       .arg(TimeText(timer.on));
            for (int row = 0; row < 7; ++row) {
                if (days & (1u << DayBit(row)))
                    AddSpan(plan, p, row, timer.on, timer.off, source);
            }
        }
        if (r.randomActive) {
            if (!IsShownTime(r.randomStart) || !IsShownTime(r.randomStop))
                relayPlan.notes << QStringLiteral("Random: keine gültige Uhrzeit (%1 bis %2)")
                                       .arg(TimeText(r.randomStart), TimeText(r.randomStop));
            else
                for (int row = 0; row < 7; ++row)
                    AddSpan(plan, p, row, r.randomStart, r.randomStop, PlanSource::Random);
        }
        if (r.inputs != 0 || r.pushButton) {
            QStringList inputs;
            for (int k = 0; k < 8; ++k) {
                if (r.inputs & (1u << k))
                    inputs << QStringLiteral("K%1").arg(k + 1);
            }
            const QString joined =
                inputs.isEmpty()
                    ? QStringLiteral("keine Eingänge")
                    : inputs.join(r.andLink ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
            relayPlan.notes << (r.pushButton ? QStringLiteral("Taster: ")
                                             : QStringLiteral("Eingänge: ")) +
                                   joined;
        }
        if (r.secTimerActive)
            relayPlan.notes << QStringLiteral("Sekundentimer: an bei %1 s, aus bei %2 s%3")
                                   .arg(r.onAt)
                                   .arg(r.offAt)
                                   .arg(r.key      ? QStringLiteral(", key")
                                        : r.repeat ? QStringLiteral(", repeat")
                                                   : QString());
        if (r.tempActive)
            relayPlan.notes << QStringLiteral("%1: an unter %2, aus über %3")
                                   .arg(r.sensor < 4
                                            ? ProjectLists::Sensors().at(r.sensor)
                                            : QStringLiteral("Sensor-Byte %1").arg(r.sensor))
                                   .arg(Threshold(r.pullIn, r.sensor),
                                        Threshold(r.dropOut, r.sensor));
        if (plan.bars.size() == barsBefore && relayPlan.notes.isEmpty())
            relayPlan.notes << QStringLiteral("keine Funktion aktiv");
    }
    return plan;
}
