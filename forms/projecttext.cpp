#include "forms/projecttext.h"

#include "forms/fieldtable.h"
#include "forms/projectmodel.h"

#include <QHash>

#include <algorithm>

namespace {
// "Anzug < 20 °C", but "Sensor 3 T" rather than "Sensor Sensor 3 T": a value that names its
// field already stands alone.
QString Named(const QString &field, const QString &value)
{
    return value.startsWith(field + QLatin1Char(' ')) ? value : field + QLatin1Char(' ') + value;
}
} // namespace

namespace {

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
    std::vector<ProjectEntry> &list() { return m_entries; }

private:
    QString m_key, m_section, m_groupKey, m_group;
    std::vector<ProjectEntry> m_entries;
};

QString RelaySection(int p, const QString &label)
{
    const QString section = QString::fromUtf8(NamesOf(FieldScope::Relay).label).arg(p + 1);
    return label.isEmpty() ? section : section + QStringLiteral(" (%1)").arg(VisibleText(label));
}

QString WithUnit(const QString &value, const QString &unit)
{
    return unit.isEmpty() ? value : value + QLatin1Char(' ') + unit;
}

QString Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// "programm%1" for the second program is "programm2"; a name without %1 stays as it is.
QString Numbered(const char *name, int index)
{
    const QString text = QString::fromUtf8(name);
    return text.contains(QLatin1String("%1")) ? text.arg(index + 1) : text;
}

QString ByteText(std::uint8_t byte)
{
    return QStringLiteral("Byte %1").arg(int(byte));
}

// A field's value as the window words it, and whether the window could show it so.
void AddField(Entries &out, const Field &field, const ProjectModel &model, int index)
{
    const FieldSlot slot = ReadSlot(field, model, index);
    const std::uint8_t byte = slot.byte ? *slot.byte : 0;
    QString value;
    bool marked = false;
    switch (field.kind) {
    case FieldKind::Flag:
        value = QString::fromUtf8(*slot.flag ? field.yes : field.no);
        break;
    case FieldKind::Words:
        value = field.choices().at(*slot.flag);
        break;
    case FieldKind::Choice:
        marked = byte >= field.choices().size();
        value = marked ? ByteText(byte) : field.choices().at(byte);
        break;
    case FieldKind::Number:
        value = QString::fromUtf8(field.format).arg(int(byte));
        marked = byte < field.shownLow || byte > field.shownHigh;
        break;
    case FieldKind::Threshold:
        value = QString::number(SignedThreshold(byte));
        break;
    case FieldKind::Time:
        value = TimeText(*slot.time);
        marked = !IsShownTime(*slot.time);
        break;
    case FieldKind::Set: {
        QStringList names = SetNames(field, byte);
        if (field.fixed)
            names.prepend(QString::fromUtf8(field.fixed));
        value = names.isEmpty() ? QString::fromUtf8(field.empty) : names.join(QStringLiteral(", "));
        break;
    }
    case FieldKind::Name:
        value = slot.text->isEmpty() ? QString::fromUtf8(field.empty) : Quote(*slot.text);
        break;
    case FieldKind::Tempo:
        marked = byte < field.shownLow || byte > field.shownHigh;
        value = marked ? ByteText(byte) : QString::number(byte - 1);
        break;
    case FieldKind::ProgramChoice: {
        const int choice = ProgramChoiceIndex(byte);
        marked = choice < 0;
        value = marked ? ByteText(byte) : field.choices().at(choice);
        break;
    }
    }
    marked = marked || (field.clash && field.clash(model, index));
    out.add(QString::fromUtf8(field.key), QString::fromUtf8(field.label), value, marked,
            field.unit ? field.unit(model, index) : QString());
}

// A record's fields under their groups; `record` groups the whole record (a program).
void AddRecord(Entries &out, FieldScope scope, const ProjectModel &model, int index,
               const FieldGroup &record = {"", ""})
{
    std::vector<const Field *> fields = FieldsOf(scope);
    std::stable_sort(fields.begin(), fields.end(), [](const Field *a, const Field *b) {
        return a->listingRank < b->listingRank;
    });
    for (const Field *field : fields) {
        const FieldGroup &group = *record.key ? record : GroupOf(*field);
        out.group(Numbered(group.key, index), Numbered(group.label, index));
        AddField(out, *field, model, index);
    }
}

void AddSection(Entries &out, FieldScope scope)
{
    out.section(QString::fromUtf8(NamesOf(scope).listKey), QString::fromUtf8(NamesOf(scope).label));
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
    for (int p = 0; p < 8; ++p) {
        out.section(QString::fromUtf8(NamesOf(FieldScope::Relay).listKey).arg(p + 1),
                    RelaySection(p, model.relays[static_cast<std::size_t>(p)].label));
        AddRecord(out, FieldScope::Relay, model, p);
    }
    AddSection(out, FieldScope::LightShow);
    AddRecord(out, FieldScope::LightShow, model, 0);
    const ScopeNames &program = NamesOf(FieldScope::Program);
    for (int n = 0; n < 3; ++n)
        AddRecord(out, FieldScope::Program, model, n, {program.listKey, program.label});
    AddSection(out, FieldScope::Card);
    AddRecord(out, FieldScope::Card, model, 0);
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
