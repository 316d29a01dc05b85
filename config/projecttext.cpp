#include "projecttext.h"

#include "projectmodel.h"

#include <QHash>

namespace {
// "Anzug < 20 °C", but "Sensor 3 T" rather than "Sensor Sensor 3 T": a value that names its
// field already stands alone.
QString Named(const QString &field, const QString &value)
{
    return value.startsWith(field + QLatin1Char(' ')) ? value : field + QLatin1Char(' ') + value;
}
} // namespace

namespace {

QString YesNo(bool value)
{
    return value ? QStringLiteral("ja") : QStringLiteral("nein");
}

QString Quote(const QString &text)
{
    return QStringLiteral("„") + VisibleText(text) + QStringLiteral("“");
}

class Entries
{
public:
    void section(const QString &key, const QString &title)
    {
        m_key = key;
        m_section = title;
    }
    void group(const QString &key, const QString &title)
    {
        m_groupKey = key;
        m_group = title;
    }
    void add(const QString &key, const QString &field, const QString &value, bool marked = false,
             const QString &unit = {})
    {
        QString full = m_key;
        if (!m_groupKey.isEmpty())
            full += QLatin1Char('.') + m_groupKey;
        if (!key.isEmpty())
            full += QLatin1Char('.') + key;
        m_entries.push_back({full, m_section, m_group, field, value, unit, marked, false, false});
    }
    void choice(const QString &key, const QString &field, std::uint8_t byte,
                const QStringList &entries)
    {
        if (byte < entries.size())
            add(key, field, entries.at(byte));
        else
            add(key, field, QStringLiteral("Byte %1").arg(byte), true);
    }
    void time(const QString &key, const QString &field, const TimeBytes &time)
    {
        add(key, field, TimeText(time), !IsShownTime(time));
    }
    std::vector<ProjectEntry> &list() { return m_entries; }

private:
    QString m_key, m_section, m_groupKey, m_group;
    std::vector<ProjectEntry> m_entries;
};

QString RelaySection(int p, const QString &label)
{
    return label.isEmpty() ? QStringLiteral("Relais %1").arg(p + 1)
                           : QStringLiteral("Relais %1 (%2)").arg(p + 1).arg(VisibleText(label));
}

QString WithUnit(const QString &value, const QString &unit)
{
    return unit.isEmpty() ? value : value + QLatin1Char(' ') + unit;
}

QString Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

void AddRelay(Entries &out, int p, const RelayModel &r, bool minutes)
{
    out.section(QStringLiteral("relais%1").arg(p + 1), RelaySection(p, r.label));
    out.group({}, {});
    out.add(QStringLiteral("bezeichnung"), QStringLiteral("Bezeichnung"),
            r.label.isEmpty() ? QStringLiteral("(leer)") : Quote(r.label));

    out.group(QStringLiteral("verknuepfung"), QStringLiteral("Logische Verknüpfung"));
    QStringList inputs;
    for (int k = 0; k < 8; ++k) {
        if (r.inputs & (1u << k))
            inputs << QStringLiteral("K%1").arg(k + 1);
    }
    out.add(QStringLiteral("eingaenge"), QStringLiteral("Eingänge"),
            inputs.isEmpty() ? QStringLiteral("keine") : inputs.join(QStringLiteral(", ")));
    // "Taster" always goes with "OR" in the window.
    out.add(QStringLiteral("art"), QStringLiteral("Art"),
            r.andLink ? QStringLiteral("AND") : QStringLiteral("OR"), r.andLink && r.pushButton);
    out.add(QStringLiteral("taster"), QStringLiteral("Taster"), YesNo(r.pushButton));

    for (int t = 0; t < 2; ++t) {
        const TimerModel &timer = r.timers[static_cast<std::size_t>(t)];
        out.group(QStringLiteral("timer%1").arg(t + 1), QStringLiteral("Timer %1").arg(t + 1));
        out.add(QStringLiteral("aktiv"), QStringLiteral("aktiv"), YesNo(timer.active));
        out.choice(QStringLiteral("tage"), QStringLiteral("Tage"), timer.dayIndex,
                   ProjectLists::Days());
        out.time(QStringLiteral("an"), QStringLiteral("An"), timer.on);
        out.time(QStringLiteral("aus"), QStringLiteral("Aus"), timer.off);
    }

    out.group(QStringLiteral("random"), QStringLiteral("Random"));
    out.add(QStringLiteral("aktiv"), QStringLiteral("aktiv"), YesNo(r.randomActive));
    out.time(QStringLiteral("start"), QStringLiteral("Start"), r.randomStart);
    out.time(QStringLiteral("stop"), QStringLiteral("Stop"), r.randomStop);
    out.add(QStringLiteral("zaehler"), QStringLiteral("Zähler"), YesNo(r.counterInUse));
    // The window keeps the count in 1 to 60.
    out.add(QStringLiteral("zaehlerWert"), QStringLiteral("Zählerwert"), QString::number(r.counter),
            r.counter == 0 || r.counter > 60, ProjectLists::CounterUnits().at(minutes));

    out.group(QStringLiteral("secTimer"), QStringLiteral("Sec. Timer"));
    out.add(QStringLiteral("aktiv"), QStringLiteral("aktiv"), YesNo(r.secTimerActive));
    out.add(QStringLiteral("anBei"), QStringLiteral("An bei"),
            QStringLiteral("%1 sec.").arg(r.onAt), r.onAt == 0);
    out.add(QStringLiteral("ausBei"), QStringLiteral("Aus bei"),
            QStringLiteral("%1 sec.").arg(r.offAt), r.offAt == 0);
    // The window never shows "repeat" and "key" together.
    out.add(QStringLiteral("repeat"), QStringLiteral("repeat"), YesNo(r.repeat), r.repeat && r.key);
    out.add(QStringLiteral("key"), QStringLiteral("key"), YesNo(r.key), r.repeat && r.key);

    out.group(QStringLiteral("temperatur"), QStringLiteral("Temperatur"));
    out.add(QStringLiteral("aktiv"), QStringLiteral("aktiv"), YesNo(r.tempActive));
    out.choice(QStringLiteral("sensor"), QStringLiteral("Sensor"), r.sensor,
               ProjectLists::Sensors());
    const QString unit = r.sensor == 3 ? QStringLiteral("%rLF") : QStringLiteral("°C");
    out.add(QStringLiteral("anzug"), QStringLiteral("Anzug <"),
            QString::number(SignedThreshold(r.pullIn)), false, unit);
    out.add(QStringLiteral("abfall"), QStringLiteral("Abfall >"),
            QString::number(SignedThreshold(r.dropOut)), false, unit);

    out.group({}, {});
    out.add(QStringLiteral("einschaltzustand"), QStringLiteral("Einschaltzustand"),
            r.powerUp ? QStringLiteral("an") : QStringLiteral("aus"));
}

void AddCard(Entries &out, const ProjectModel &model)
{
    out.section(QStringLiteral("lauflicht"), QStringLiteral("Lauflicht"));
    out.group({}, {});
    const int choice = ProgramChoiceIndex(model.programChoice);
    out.add(QStringLiteral("auswahl"), QStringLiteral("Auswahl"),
            choice >= 0 ? ProjectLists::Programs().at(choice)
                        : QStringLiteral("Byte %1").arg(model.programChoice),
            choice < 0);
    for (int n = 0; n < 3; ++n) {
        const ProgramModel &program = model.programs[static_cast<std::size_t>(n)];
        out.group(QStringLiteral("programm%1").arg(n + 1),
                  QStringLiteral("Programm %1").arg(n + 1));
        QStringList channels{QStringLiteral("L 1")};
        for (int k = 1; k <= 7; ++k) {
            if (program.channels & (1u << k))
                channels << QStringLiteral("L %1").arg(k + 1);
        }
        out.add(QStringLiteral("kanaele"), QStringLiteral("Relais"),
                channels.join(QStringLiteral(", ")));
        const bool tempoShown = program.tempo >= 2 && program.tempo <= 11;
        out.add(QStringLiteral("tempo"), QStringLiteral("Tempo"),
                tempoShown ? QString::number(program.tempo - 1)
                           : QStringLiteral("Byte %1").arg(program.tempo),
                !tempoShown);
        out.choice(QStringLiteral("bereich"), QStringLiteral("Kanäle"), program.rangeIndex,
                   ProjectLists::Ranges());
        out.choice(QStringLiteral("richtung"), QStringLiteral("Richtung"), program.directionIndex,
                   ProjectLists::Directions());
        out.add(QStringLiteral("richtungswechsel"), QStringLiteral("Ri wechsel nach"),
                QStringLiteral("%1 sec").arg(program.changeSeconds));
    }

    out.section(QStringLiteral("karte"), QStringLiteral("Karte"));
    out.group({}, {});
    out.add(QStringLiteral("ansicht"), QStringLiteral("Ansicht"),
            ProjectLists::Views().at(model.runningLightView));
    out.add(QStringLiteral("offsetTempSensor1"), QStringLiteral("Offset Temp-Sensor 1"),
            QString::number(model.offset1), model.offset1 > 9);
    out.add(QStringLiteral("offsetTempSensor2"), QStringLiteral("Offset Temp-Sensor 2"),
            QString::number(model.offset2), model.offset2 > 9);
    out.add(QStringLiteral("firmware"), QStringLiteral("Firmware PIC"),
            ProjectLists::Firmware().at(model.firmwareAT));
    out.add(QStringLiteral("zaehlerEinheit"), QStringLiteral("Zähler für Radom"),
            ProjectLists::CounterUnits().at(model.minutes));
    out.add(QStringLiteral("name"), QStringLiteral("Name Relaiskarte"),
            model.cardName.isEmpty() ? QStringLiteral("(leer, das Fenster zeigt „Relaiskarte“)")
                                     : Quote(model.cardName));
}

} // namespace

QString VisibleText(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString ProjectEntry::label() const
{
    QStringList parts{section};
    if (!group.isEmpty())
        parts << group;
    if (!field.isEmpty() && field != group)
        parts << field;
    return parts.join(QStringLiteral(", "));
}

std::vector<ProjectEntry> ProjectEntries(const ConfigImage &image)
{
    const ProjectModel model = DecodeProject(image);
    Entries out;
    for (int p = 0; p < 8; ++p)
        AddRelay(out, p, model.relays[static_cast<std::size_t>(p)], model.minutes);
    AddCard(out, model);
    std::vector<ProjectEntry> entries = std::move(out.list());
    for (const DeviationPlace &place : Deviations()) {
        const QByteArray value = DeviationValue(image, place);
        ProjectEntry entry;
        entry.key = QStringLiteral("abweichungen.") + place.name;
        entry.section = QStringLiteral("Abweichungen");
        entry.field =
            place.relay >= 0
                ? RelaySection(place.relay,
                               model.relays[static_cast<std::size_t>(place.relay)].label) +
                      QStringLiteral(", ") + place.label
                : place.label;
        entry.value = place.nameRest
                          ? Hex(value)
                          : QStringLiteral("0x%1").arg(FirstByte(value), 2, 16, QLatin1Char('0'));
        entry.derived = true;
        entry.deviating = model.deviations.count(place.name) > 0;
        entry.marked = entry.deviating;
        entries.push_back(entry);
    }
    return entries;
}

QString ShowProject(const ConfigImage &image)
{
    const std::vector<ProjectEntry> entries = ProjectEntries(image);
    QString out;
    bool anyMarked = false;
    QString section, group;
    QString line;
    const auto flush = [&] {
        if (!line.isEmpty())
            out += line + QLatin1Char('\n');
        line.clear();
    };
    for (const ProjectEntry &entry : entries) {
        // Derived bytes that follow their fields say nothing new; the label heads its section.
        if ((entry.derived && !entry.deviating) ||
            entry.key.endsWith(QLatin1String(".bezeichnung")))
            continue;
        anyMarked = anyMarked || entry.marked;
        const QString value =
            WithUnit(entry.value, entry.unit) + (entry.marked ? QStringLiteral(" (!)") : QString());
        if (entry.section != section) {
            flush();
            out += (out.isEmpty() ? QString() : QStringLiteral("\n")) + entry.section +
                   QLatin1Char('\n');
            section = entry.section;
            group.clear();
        }
        // A group's fields share one line: "  Timer 1: aktiv ja, Tage Mo-Fr, …".
        if (entry.group.isEmpty() || entry.group != group) {
            flush();
            group = entry.group;
            line = QStringLiteral("  ") +
                   (group.isEmpty() ? entry.field + QStringLiteral(": ") + value
                                    : group + QStringLiteral(": ") + Named(entry.field, value));
            if (group.isEmpty())
                flush();
        } else {
            line += QStringLiteral(", ") + Named(entry.field, value);
        }
    }
    flush();

    // Bytes no field covers, sixteen to a line, where any of them is not zero.
    QString raw;
    for (const RawRegion &region : RawRegions()) {
        for (int start = region.first; start <= region.last; start += 16) {
            const int end = std::min(region.last, start + 15);
            QByteArray row;
            bool nonZero = false;
            for (int i = start; i <= end; ++i) {
                row.append(static_cast<char>(image[i]));
                nonZero = nonZero || image[i] != 0;
            }
            if (nonZero)
                raw += QStringLiteral("  Bytes %1-%2: %3\n").arg(start).arg(end).arg(Hex(row));
        }
    }
    if (!raw.isEmpty())
        out += QStringLiteral("\nWeitere Bytes (kein Feld im Fenster)\n") + raw;
    if (anyMarked)
        out += QStringLiteral("\n(!) So kann das Fenster diesen Wert nicht zeigen.\n");
    return out;
}

QStringList DiffProjects(const ConfigImage &a, const ConfigImage &b)
{
    const std::vector<ProjectEntry> before = ProjectEntries(a);
    const std::vector<ProjectEntry> after = ProjectEntries(b);
    QStringList lines;
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
        const ProjectEntry &x = before[i];
        const ProjectEntry &y = after[i];
        if (x.value == y.value)
            continue;
        // A derived byte that follows its fields on both sides changed with them: the fields'
        // own lines say it. A unit alone changes on the card's or the sensor's line.
        if (x.derived && !x.deviating && !y.deviating)
            continue;
        lines << x.label() + QStringLiteral(": ") + WithUnit(x.value, x.unit) +
                     QStringLiteral(" → ") + WithUnit(y.value, y.unit);
    }
    for (const RawRegion &region : RawRegions()) {
        for (int i = region.first; i <= region.last; ++i) {
            if (a[i] != b[i])
                lines << QStringLiteral("Byte %1: %2 → %3")
                             .arg(i)
                             .arg(a[i], 2, 16, QLatin1Char('0'))
                             .arg(b[i], 2, 16, QLatin1Char('0'));
        }
    }
    return lines;
}
