#include "forms/fieldtable.h"

#include "config/imagelayout.h"

namespace {
using namespace ImageOffset;

using Model = ProjectModel;

RelayModel &R(Model &m, int p)
{
    return m.relays[static_cast<std::size_t>(p)];
}
ProgramModel &P(Model &m, int n)
{
    return m.programs[static_cast<std::size_t>(n)];
}
FieldSlot Flag(bool &value)
{
    return {&value, nullptr, nullptr, nullptr};
}
FieldSlot Byte(std::uint8_t &value)
{
    return {nullptr, &value, nullptr, nullptr};
}
FieldSlot Time(TimeBytes &value)
{
    return {nullptr, nullptr, &value, nullptr};
}
FieldSlot Text(QString &value)
{
    return {nullptr, nullptr, nullptr, &value};
}

QString CounterUnit(const Model &m, int)
{
    return ProjectLists::CounterUnits().at(m.minutes);
}
// A threshold is in % rel. humidity on "Sensor 3 LF", else in degrees.
QString ThresholdUnit(const Model &m, int p)
{
    return m.relays[static_cast<std::size_t>(p)].sensor == 3 ? QStringLiteral("%rLF")
                                                             : QStringLiteral("°C");
}
// "Taster" always goes with "OR" in the window.
bool AndWithPushButton(const Model &m, int p)
{
    const RelayModel &r = m.relays[static_cast<std::size_t>(p)];
    return r.andLink && r.pushButton;
}
// The window never shows "repeat" and "key" together.
bool RepeatAndKey(const Model &m, int p)
{
    const RelayModel &r = m.relays[static_cast<std::size_t>(p)];
    return r.repeat && r.key;
}

template <int T> FieldSlot TimerActive(Model &m, int p)
{
    return Flag(R(m, p).timers[T].active);
}
template <int T> FieldSlot TimerDays(Model &m, int p)
{
    return Byte(R(m, p).timers[T].dayIndex);
}
template <int T> FieldSlot TimerOn(Model &m, int p)
{
    return Time(R(m, p).timers[T].on);
}
template <int T> FieldSlot TimerOff(Model &m, int p)
{
    return Time(R(m, p).timers[T].off);
}

constexpr auto S = FieldScope::Relay;

std::vector<Field> MakeFields()
{
    using K = FieldKind;
    const auto timer = [](const char *group, FieldSlot (*active)(Model &, int),
                          FieldSlot (*days)(Model &, int), FieldSlot (*on)(Model &, int),
                          FieldSlot (*off)(Model &, int)) {
        return std::vector<Field>{
            {.scope = S,
             .group = group,
             .key = "aktiv",
             .label = "aktiv",
             .kind = K::Flag,
             .slot = active},
            {.scope = S,
             .group = group,
             .key = "tage",
             .label = "Tage",
             .kind = K::Choice,
             .slot = days,
             .choices = ProjectLists::Days},
            {.scope = S, .group = group, .key = "an", .label = "An", .kind = K::Time, .slot = on},
            {.scope = S,
             .group = group,
             .key = "aus",
             .label = "Aus",
             .kind = K::Time,
             .slot = off},
        };
    };
    std::vector<Field> fields{
        {.scope = S,
         .group = "",
         .key = "bezeichnung",
         .label = "Bezeichnung",
         .kind = K::Name,
         .slot = [](Model &m, int p) { return Text(R(m, p).label); },
         .empty = "(leer)"},
        {.scope = S,
         .group = "verknuepfung",
         .key = "eingaenge",
         .label = "Eingänge",
         .kind = K::Set,
         .slot = [](Model &m, int p) { return Byte(R(m, p).inputs); },
         .prefix = "K",
         .firstNumber = 1,
         .count = 8},
        {.scope = S,
         .group = "verknuepfung",
         .key = "art",
         .label = "Art",
         .kind = K::Words,
         .slot = [](Model &m, int p) { return Flag(R(m, p).andLink); },
         .choices = ProjectLists::Links,
         .clash = AndWithPushButton},
        {.scope = S,
         .group = "verknuepfung",
         .key = "taster",
         .label = "Taster",
         .kind = K::Flag,
         .slot = [](Model &m, int p) { return Flag(R(m, p).pushButton); }},
    };
    for (auto &f : timer("timer1", TimerActive<0>, TimerDays<0>, TimerOn<0>, TimerOff<0>))
        fields.push_back(f);
    for (auto &f : timer("timer2", TimerActive<1>, TimerDays<1>, TimerOn<1>, TimerOff<1>))
        fields.push_back(f);
    const std::vector<Field> rest{
        {.scope = S,
         .group = "random",
         .key = "aktiv",
         .label = "aktiv",
         .kind = K::Flag,
         .slot = [](Model &m, int p) { return Flag(R(m, p).randomActive); }},
        {.scope = S,
         .group = "random",
         .key = "start",
         .label = "Start",
         .kind = K::Time,
         .slot = [](Model &m, int p) { return Time(R(m, p).randomStart); }},
        {.scope = S,
         .group = "random",
         .key = "stop",
         .label = "Stop",
         .kind = K::Time,
         .slot = [](Model &m, int p) { return Time(R(m, p).randomStop); }},
        {.scope = S,
         .group = "random",
         .key = "zaehler",
         .label = "Zähler",
         .kind = K::Flag,
         .slot = [](Model &m, int p) { return Flag(R(m, p).counterInUse); }},
        // The window keeps the count in 1 to 60.
        {.scope = S,
         .group = "random",
         .key = "zaehlerWert",
         .label = "Zählerwert",
         .kind = K::Number,
         .slot = [](Model &m, int p) { return Byte(R(m, p).counter); },
         .shownLow = 1,
         .shownHigh = 60,
         .unit = CounterUnit},
        {.scope = S,
         .group = "secTimer",
         .key = "aktiv",
         .label = "aktiv",
         .kind = K::Flag,
         .slot = [](Model &m, int p) { return Flag(R(m, p).secTimerActive); }},
        {.scope = S,
         .group = "secTimer",
         .key = "anBei",
         .label = "An bei",
         .kind = K::Number,
         .slot = [](Model &m, int p) { return Byte(R(m, p).onAt); },
         .shownLow = 1,
         .format = "%1 sec."},
        {.scope = S,
         .group = "secTimer",
         .key = "ausBei",
         .label = "Aus bei",
         .kind = K::Number,
         .slot = [](Model &m, int p) { return Byte(R(m, p).offAt); },
         .shownLow = 1,
         .format = "%1 sec."},
        {.scope = S,
         .group = "secTimer",
         .key = "repeat",
         .label = "repeat",
         .kind = K::Flag,
         .slot = [](Model &m, int p) { return Flag(R(m, p).repeat); },
         .clash = RepeatAndKey},
        {.scope = S,
         .group = "secTimer",
         .key = "key",
         .label = "key",
         .kind = K::Flag,
         .slot = [](Model &m, int p) { return Flag(R(m, p).key); },
         .clash = RepeatAndKey},
        {.scope = S,
         .group = "temperatur",
         .key = "aktiv",
         .label = "aktiv",
         .kind = K::Flag,
         .slot = [](Model &m, int p) { return Flag(R(m, p).tempActive); }},
        {.scope = S,
         .group = "temperatur",
         .key = "sensor",
         .label = "Sensor",
         .kind = K::Choice,
         .slot = [](Model &m, int p) { return Byte(R(m, p).sensor); },
         .choices = ProjectLists::Sensors},
        {.scope = S,
         .group = "temperatur",
         .key = "anzug",
         .label = "Anzug <",
         .kind = K::Threshold,
         .slot = [](Model &m, int p) { return Byte(R(m, p).pullIn); },
         .unit = ThresholdUnit},
        {.scope = S,
         .group = "temperatur",
         .key = "abfall",
         .label = "Abfall >",
         .kind = K::Threshold,
         .slot = [](Model &m, int p) { return Byte(R(m, p).dropOut); },
         .unit = ThresholdUnit},
        {.scope = S,
         .group = "",
         .key = "einschaltzustand",
         .label = "Einschaltzustand",
         .kind = K::Flag,
         .slot = [](Model &m, int p) { return Flag(R(m, p).powerUp); },
         .yes = "an",
         .no = "aus"},

        {.scope = FieldScope::LightShow,
         .group = "",
         .key = "auswahl",
         .label = "Auswahl",
         .kind = K::ProgramChoice,
         .slot = [](Model &m, int) { return Byte(m.programChoice); },
         .choices = ProjectLists::Programs},

        {.scope = FieldScope::Program,
         .group = "",
         .key = "kanaele",
         .label = "Relais",
         .kind = K::Set,
         .slot = [](Model &m, int n) { return Byte(P(m, n).channels); },
         .prefix = "L ",
         .fixed = "L 1",
         .firstNumber = 2,
         .count = 7},
        {.scope = FieldScope::Program,
         .group = "",
         .key = "tempo",
         .label = "Tempo",
         .kind = K::Tempo,
         .slot = [](Model &m, int n) { return Byte(P(m, n).tempo); },
         .low = -1,
         .high = 254,
         .shownLow = 2,
         .shownHigh = 11},
        {.scope = FieldScope::Program,
         .group = "",
         .key = "bereich",
         .label = "Kanäle",
         .kind = K::Choice,
         .slot = [](Model &m, int n) { return Byte(P(m, n).rangeIndex); },
         .choices = ProjectLists::Ranges},
        {.scope = FieldScope::Program,
         .group = "",
         .key = "richtung",
         .label = "Richtung",
         .kind = K::Choice,
         .slot = [](Model &m, int n) { return Byte(P(m, n).directionIndex); },
         .choices = ProjectLists::Directions},
        {.scope = FieldScope::Program,
         .group = "",
         .key = "richtungswechsel",
         .label = "Ri wechsel nach",
         .kind = K::Number,
         .slot = [](Model &m, int n) { return Byte(P(m, n).changeSeconds); },
         .format = "%1 sec"},

        {.scope = FieldScope::Card,
         .group = "",
         .key = "name",
         .label = "Name Relaiskarte",
         .kind = K::Name,
         .slot = [](Model &m, int) { return Text(m.cardName); },
         .empty = "(leer, das Fenster zeigt „Relaiskarte“)",
         .listingRank = 6},
        {.scope = FieldScope::Card,
         .group = "",
         .key = "ansicht",
         .label = "Ansicht",
         .kind = K::Words,
         .slot = [](Model &m, int) { return Flag(m.runningLightView); },
         .choices = ProjectLists::Views,
         .listingRank = 1},
        {.scope = FieldScope::Card,
         .group = "",
         .key = "firmware",
         .label = "Firmware PIC",
         .kind = K::Words,
         .slot = [](Model &m, int) { return Flag(m.firmwareAT); },
         .choices = ProjectLists::Firmware,
         .listingRank = 4},
        {.scope = FieldScope::Card,
         .group = "",
         .key = "zaehlerEinheit",
         .label = "Zähler für Radom",
         .kind = K::Words,
         .slot = [](Model &m, int) { return Flag(m.minutes); },
         .choices = ProjectLists::CounterUnits,
         .listingRank = 5},
        // Four bits each; the window's list offers 0 to 9.
        {.scope = FieldScope::Card,
         .group = "",
         .key = "offsetTempSensor1",
         .label = "Offset Temp-Sensor 1",
         .kind = K::Number,
         .slot = [](Model &m, int) { return Byte(m.offset1); },
         .high = 15,
         .shownHigh = 9,
         .listingRank = 2},
        {.scope = FieldScope::Card,
         .group = "",
         .key = "offsetTempSensor2",
         .label = "Offset Temp-Sensor 2",
         .kind = K::Number,
         .slot = [](Model &m, int) { return Byte(m.offset2); },
         .high = 15,
         .shownHigh = 9,
         .listingRank = 3},
    };
    fields.insert(fields.end(), rest.begin(), rest.end());
    return fields;
}

} // namespace

const std::vector<Field> &ProjectFields()
{
    static const std::vector<Field> fields = MakeFields();
    return fields;
}

std::vector<const Field *> FieldsOf(FieldScope scope)
{
    std::vector<const Field *> out;
    for (const Field &field : ProjectFields()) {
        if (field.scope == scope)
            out.push_back(&field);
    }
    return out;
}

const FieldGroup &GroupOf(const Field &field)
{
    static const std::vector<FieldGroup> groups{
        {"", ""},
        {"verknuepfung", "Logische Verknüpfung"},
        {"timer1", "Timer 1"},
        {"timer2", "Timer 2"},
        {"random", "Random"},
        {"secTimer", "Sec. Timer"},
        {"temperatur", "Temperatur"},
    };
    for (const FieldGroup &group : groups) {
        if (qstrcmp(group.key, field.group) == 0)
            return group;
    }
    return groups.front();
}

const ScopeNames &NamesOf(FieldScope scope)
{
    static const std::array<ScopeNames, 4> names{{
        {"relais", "relais%1", "Relais %1", "nummer"},
        {"lauflicht", "lauflicht", "Lauflicht", ""},
        {"programme", "programm%1", "Programm %1", "programm"},
        {"karte", "karte", "Karte", ""},
    }};
    return names[static_cast<std::size_t>(scope)];
}

FieldSlot ReadSlot(const Field &field, const ProjectModel &model, int index)
{
    // The slot points into the model; callers of this one only read through it.
    return field.slot(const_cast<ProjectModel &>(model), index);
}

namespace {
// The places a file may deviate from what the fields imply, with their keys and labels.
std::vector<DeviationPlace> MakeDeviations()
{
    std::vector<DeviationPlace> places;
    for (int p = 0; p < 8; ++p) {
        const QString name = QStringLiteral("relais%1.").arg(p + 1);
        const auto add = [&](const char *key, const char *label, int offset, std::uint8_t mask) {
            places.push_back(
                {name + QLatin1String(key), QString::fromUtf8(label), p, offset, 1, mask, false});
        };
        add("timer1.tagbyte", "Timer 1, Tagbyte der Karte", timerDays(p, 0), 0xFF);
        add("timer2.tagbyte", "Timer 2, Tagbyte der Karte", timerDays(p, 1), 0xFF);
        add("modusbyte.key", "Modusbyte, Bit key", mode(p), 1u << ModeBit::Key);
        add("modusbyte.frei", "Modusbyte, freie Bits", mode(p), 0xC0);
        add("sectimerbyte.aktiv", "Sec. Timer-Byte, Bit aktiv", secTimer(p), 0x01);
        add("sectimerbyte.frei", "Sec. Timer-Byte, freie Bits", secTimer(p), 0xF8);
        add("randombyte.aktiv", "Random-Byte, Bit aktiv", random(p), 0x01);
        add("randombyte.frei", "Random-Byte, freie Bits", random(p), 0xFC);
        add("temperaturbyte.frei", "Temperatur-Byte, freie Bits", temperature(p), 0xFE);
        add("keybyte", "Key-Byte 248 (invertiert)", KeyBits, static_cast<std::uint8_t>(1u << p));
        places.push_back({name + QLatin1String("bezeichnung.rest"),
                          QStringLiteral("Bytes hinter der Bezeichnung"), p, nameSlot(p),
                          NameSlotSize, 0xFF, true});
    }
    places.push_back({QStringLiteral("karte.byte244.frei"), QStringLiteral("Byte 244, freie Bits"),
                      -1, GlobalFlags, 1, 0xF8, false});
    for (int n = 0; n < 3; ++n) {
        const QString name = QStringLiteral("lauflicht.programm%1.").arg(n + 1);
        const QString label = QStringLiteral("Lauflicht Programm %1, ").arg(n + 1);
        const int base = program(n);
        places.push_back({name + QLatin1String("kanalL1"), label + QStringLiteral("Kanal L 1"), -1,
                          base, 1, 0x01, false});
        places.push_back({name + QLatin1String("bereichbyte"),
                          label + QStringLiteral("Bereichsbyte der Karte"), -1, programRange(n), 1,
                          0xFF, false});
        places.push_back({name + QLatin1String("richtungbyte"),
                          label + QStringLiteral("Richtungsbyte der Karte"), -1,
                          programDirection(n), 1, 0xFF, false});
    }
    places.push_back({QStringLiteral("karte.name.rest"),
                      QStringLiteral("Name Relaiskarte, Bytes hinter dem Namen"), -1, CardName,
                      NameSlotSize, 0xFF, true});
    return places;
}
} // namespace

const std::vector<DeviationPlace> &Deviations()
{
    static const std::vector<DeviationPlace> places = MakeDeviations();
    return places;
}

const DeviationPlace *FindDeviation(const QString &name)
{
    for (const DeviationPlace &place : Deviations()) {
        if (place.name == name)
            return &place;
    }
    return nullptr;
}

namespace ProjectLists {
const QStringList &Days()
{
    static const QStringList list{"So", "Mo", "Di",    "Mi",    "Do",
                                  "Fr", "Sa", "Mo-Fr", "Sa-So", "Mo-So"};
    return list;
}
const QStringList &Sensors()
{
    static const QStringList list{"Sensor 1", "Sensor 2", "Sensor 3 T", "Sensor 3 LF"};
    return list;
}
const QStringList &Programs()
{
    static const QStringList list{"Prog 1", "Prog 2", "Prog 3", "schaltbar"};
    return list;
}
const QStringList &Ranges()
{
    static const QStringList list{"1 - 3", "1 - 4", "1 - 5", "1 - 6", "1 - 7", "1 - 8"};
    return list;
}
const QStringList &Directions()
{
    static const QStringList list{"links", "rechts", "< - >"};
    return list;
}
const QStringList &Firmware()
{
    static const QStringList list{"V 5.x  T", "V 5.x  AT"};
    return list;
}
const QStringList &CounterUnits()
{
    static const QStringList list{"Sekunden", "Minuten"};
    return list;
}
const QStringList &Views()
{
    static const QStringList list{"Timer", "Lauflicht"};
    return list;
}
const QStringList &Links()
{
    static const QStringList list{"OR", "AND"};
    return list;
}
} // namespace ProjectLists

QStringList SetNames(const Field &field, std::uint8_t bits)
{
    QStringList names;
    for (int number = field.firstNumber; number < field.firstNumber + field.count; ++number) {
        if (bits & (1u << (number - 1)))
            names << QString::fromUtf8(field.prefix) + QString::number(number);
    }
    return names;
}
