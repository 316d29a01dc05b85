#include "forms/projectjson.h"

#include "config/jsontext.h"
#include "config/windows1252.h"
#include "forms/fieldtable.h"
#include "forms/jsonwriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>

namespace {

// ---- writing ----

QString Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

// A list choice: the window's entry, or the byte where it names none.
JsonNode Choice(std::uint8_t byte, const QStringList &entries)
{
    if (byte < entries.size())
        return entries.at(byte);
    return int(byte);
}

JsonNode FieldNode(const Field &field, const ProjectModel &model, int index)
{
    const FieldSlot slot = ReadSlot(field, model, index);
    switch (field.kind) {
    case FieldKind::Flag:
        return *slot.flag;
    case FieldKind::Words:
        return field.choices().at(*slot.flag);
    case FieldKind::Choice:
        return Choice(*slot.byte, field.choices());
    case FieldKind::Number:
        return int(*slot.byte);
    case FieldKind::Threshold:
        return SignedThreshold(*slot.byte);
    case FieldKind::Time:
        return TimeText(*slot.time);
    case FieldKind::Set: {
        std::vector<JsonNode> names;
        for (const QString &name : SetNames(field, *slot.byte))
            names.emplace_back(name);
        return JsonNode::array(std::move(names));
    }
    case FieldKind::Name:
        return *slot.text;
    case FieldKind::Tempo:
        return int(*slot.byte) - 1;
    case FieldKind::ProgramChoice: {
        const int choice = ProgramChoiceIndex(*slot.byte);
        return choice >= 0 ? JsonNode(field.choices().at(choice)) : JsonNode(int(*slot.byte));
    }
    }
    return false;
}

// The fields of one record into `node`, in the table's order; a group's fields as an object
// of their own.
JsonNode RecordNode(FieldScope scope, const ProjectModel &model, int index, JsonNode node)
{
    QString openGroup;
    JsonNode group = JsonNode::object();
    const auto close = [&] {
        if (!openGroup.isEmpty())
            node.add(openGroup, std::move(group));
        group = JsonNode::object();
        openGroup.clear();
    };
    for (const Field *field : FieldsOf(scope)) {
        const QString groupKey = QString::fromUtf8(field->group);
        if (groupKey != openGroup)
            close();
        openGroup = groupKey;
        (groupKey.isEmpty() ? node : group)
            .add(QString::fromUtf8(field->key), FieldNode(*field, model, index));
    }
    close();
    return node;
}

// A record that JSON numbers from 1 ("nummer": 3), then its fields.
JsonNode NumberedNode(FieldScope scope, const ProjectModel &model, int index)
{
    return RecordNode(
        scope, model, index,
        JsonNode::object().add(QString::fromUtf8(NamesOf(scope).numberKey), index + 1));
}

QString Key(FieldScope scope)
{
    return QString::fromUtf8(NamesOf(scope).jsonKey);
}

// ---- reading ----

class Reader
{
public:
    explicit Reader(JsonError &error) : m_error(error) {}

    bool failed() const { return m_failed; }

    bool fail(const QString &path, const QString &reason)
    {
        if (!m_failed) {
            m_error.path = path;
            m_error.reason = reason;
            m_failed = true;
        }
        return false;
    }

    // The object at path, with exactly these keys.
    bool object(const QJsonValue &value, const QString &path, const QStringList &keys,
                QJsonObject &out)
    {
        if (!value.isObject())
            return fail(path, QStringLiteral("erwartet ein Objekt"));
        out = value.toObject();
        for (auto it = out.begin(); it != out.end(); ++it) {
            if (!keys.contains(it.key()))
                return fail(Join(path, it.key()), QStringLiteral("unbekanntes Feld"));
        }
        for (const QString &key : keys) {
            if (!out.contains(key))
                return fail(Join(path, key), QStringLiteral("Feld fehlt"));
        }
        return true;
    }

    bool array(const QJsonValue &value, const QString &path, int size, QJsonArray &out)
    {
        if (!value.isArray())
            return fail(path, QStringLiteral("erwartet eine Liste"));
        out = value.toArray();
        if (size >= 0 && out.size() != size)
            return fail(path, QStringLiteral("erwartet eine Liste mit %1 Einträgen, nicht %2")
                                  .arg(size)
                                  .arg(out.size()));
        return true;
    }

    bool boolean(const QJsonValue &value, const QString &path, bool &out)
    {
        if (!value.isBool())
            return fail(path, QStringLiteral("erwartet true oder false"));
        out = value.toBool();
        return true;
    }

    bool integer(const QJsonValue &value, const QString &path, int low, int high, int &out)
    {
        const double d = value.toDouble();
        if (!value.isDouble() || std::floor(d) != d || d < low || d > high)
            return fail(path, QStringLiteral("erwartet eine ganze Zahl von %1 bis %2, nicht %3")
                                  .arg(low)
                                  .arg(high)
                                  .arg(Shown(value)));
        out = int(d);
        return true;
    }

    bool byte(const QJsonValue &value, const QString &path, int low, int high, std::uint8_t &out)
    {
        int n = 0;
        if (!integer(value, path, low, high, n))
            return false;
        out = LowByte(n);
        return true;
    }

    bool choice(const QJsonValue &value, const QString &path, const QStringList &entries,
                std::uint8_t &out)
    {
        if (value.isString() && entries.contains(value.toString())) {
            out = static_cast<std::uint8_t>(entries.indexOf(value.toString()));
            return true;
        }
        int n = 0;
        if (value.isDouble() && integer(value, path, 0, 255, n)) {
            out = static_cast<std::uint8_t>(n);
            return true;
        }
        return fail(path, QStringLiteral("erwartet %1 oder eine Zahl von 0 bis 255, nicht %2")
                              .arg(QLatin1Char('"') + entries.join(QStringLiteral("\", \"")) +
                                   QLatin1Char('"'))
                              .arg(Shown(value)));
    }

    bool oneOf(const QJsonValue &value, const QString &path, const QStringList &entries, int &out)
    {
        out = value.isString() ? int(entries.indexOf(value.toString())) : -1;
        if (out < 0)
            return fail(path,
                        QStringLiteral("erwartet %1, nicht %2")
                            .arg(QLatin1Char('"') + entries.join(QStringLiteral("\" oder \"")) +
                                 QLatin1Char('"'))
                            .arg(Shown(value)));
        return true;
    }

    bool time(const QJsonValue &value, const QString &path, TimeBytes &out)
    {
        static const QRegularExpression form(QStringLiteral("^(\\d{1,3}):(\\d{1,3}):(\\d{1,3})$"));
        const auto match = form.match(value.toString());
        const auto part = [&](int i) { return match.captured(i).toInt(); };
        if (!value.isString() || !match.hasMatch() || part(1) > 255 || part(2) > 255 ||
            part(3) > 255)
            return fail(path,
                        QStringLiteral("erwartet eine Uhrzeit \"hh:mm:ss\" (jeder Teil 0 bis 255), "
                                       "nicht %1")
                            .arg(Shown(value)));
        out = {std::uint8_t(part(1)), std::uint8_t(part(2)), std::uint8_t(part(3))};
        return true;
    }

    bool name(const QJsonValue &value, const QString &path, QString &out)
    {
        if (!value.isString())
            return fail(path, QStringLiteral("erwartet einen Text"));
        out = value.toString();
        const auto codePoints = out.toUcs4();
        if (codePoints.size() > ImageOffset::NameSlotSize)
            return fail(path, QStringLiteral("länger als 16 Zeichen (%1)").arg(codePoints.size()));
        for (const char32_t c : codePoints) {
            if (c == 0 || FromWindows1252(ToWindows1252(c)) != c)
                return fail(path,
                            QStringLiteral("das Zeichen U+%1 kann die Karte nicht speichern")
                                .arg(QString::number(uint(c), 16).toUpper(), 4, QLatin1Char('0')));
        }
        return true;
    }

    bool hex(const QJsonValue &value, const QString &path, int low, int high, QByteArray &out)
    {
        static const QRegularExpression form(QStringLiteral("^([0-9a-fA-F]{2})*$"));
        const QString text = value.toString();
        if (!value.isString() || !form.match(text).hasMatch() || text.size() / 2 < low ||
            text.size() / 2 > high) {
            const QString size =
                low == high ? QString::number(low) : QStringLiteral("%1 bis %2").arg(low).arg(high);
            return fail(path, QStringLiteral("erwartet %1 Bytes hexadezimal (zwei Ziffern je "
                                             "Byte)")
                                  .arg(size));
        }
        out = QByteArray::fromHex(text.toLatin1());
        return true;
    }

    static QString Join(const QString &path, const QString &key)
    {
        return path.isEmpty() ? key : path + QLatin1Char('.') + key;
    }
    // Counted from 1, as the window counts relays, programs and inputs: "relais[3]" is
    // Relais 3 (its "nummer" 3), whatever tool counts the array from 0.
    static QString At(const QString &path, int index)
    {
        return path + QStringLiteral("[%1]").arg(index + 1);
    }

private:
    static QString Shown(const QJsonValue &value)
    {
        if (value.isString())
            return QLatin1Char('"') + value.toString() + QLatin1Char('"');
        if (value.isDouble())
            return QString::number(value.toDouble(), 'g', 17);
        if (value.isBool())
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        if (value.isNull())
            return QStringLiteral("null");
        return value.isArray() ? QStringLiteral("eine Liste") : QStringLiteral("ein Objekt");
    }

    JsonError &m_error;
    bool m_failed = false;
};

bool ReadFlags(Reader &in, const QJsonValue &value, const QString &path, const QString &prefix,
               int count, int firstNumber, std::uint8_t &bits)
{
    QJsonArray list;
    if (!in.array(value, path, -1, list))
        return false;
    bits = 0;
    for (int i = 0; i < list.size(); ++i) {
        const QString text = list.at(i).toString();
        int k = -1;
        for (int n = 0; n < count; ++n) {
            if (text == prefix + QString::number(firstNumber + n))
                k = firstNumber + n - 1;
        }
        if (k < 0)
            return in.fail(Reader::At(path, i), QStringLiteral("erwartet \"%1%2\" bis \"%1%3\"")
                                                    .arg(prefix)
                                                    .arg(firstNumber)
                                                    .arg(firstNumber + count - 1));
        if (bits & (1u << k))
            return in.fail(Reader::At(path, i), QStringLiteral("doppelt genannt"));
        bits = static_cast<std::uint8_t>(bits | (1u << k));
    }
    return true;
}

bool ReadField(Reader &in, const Field &field, const QJsonValue &value, const QString &path,
               ProjectModel &model, int index)
{
    const FieldSlot slot = field.slot(model, index);
    switch (field.kind) {
    case FieldKind::Flag:
        return in.boolean(value, path, *slot.flag);
    case FieldKind::Words: {
        int entry = 0;
        if (!in.oneOf(value, path, field.choices(), entry))
            return false;
        *slot.flag = entry == 1;
        return true;
    }
    case FieldKind::Choice:
        return in.choice(value, path, field.choices(), *slot.byte);
    case FieldKind::Number:
        return in.byte(value, path, field.low, field.high, *slot.byte);
    case FieldKind::Threshold:
        // What was typed, stored as its low 8 bits: -128 and 128 are the same byte.
        return in.byte(value, path, -128, 255, *slot.byte);
    case FieldKind::Time:
        return in.time(value, path, *slot.time);
    case FieldKind::Set:
        return ReadFlags(in, value, path, QString::fromUtf8(field.prefix), field.count,
                         field.firstNumber, *slot.byte);
    case FieldKind::Name:
        return in.name(value, path, *slot.text);
    case FieldKind::Tempo: {
        // The list's entry "1" to "10"; the byte is that plus one.
        int tempo = 0;
        if (!in.integer(value, path, field.low, field.high, tempo))
            return false;
        *slot.byte = std::uint8_t(tempo + 1);
        return true;
    }
    case FieldKind::ProgramChoice: {
        // Stored one-hot: "Prog 1" is 1, "schaltbar" 8; a number is the byte itself.
        std::uint8_t entry = 0;
        if (!in.choice(value, path, field.choices(), entry))
            return false;
        *slot.byte = value.isString() ? OneHot(entry) : entry;
        return true;
    }
    }
    return false;
}

// The members of a record or of one of its groups, in the table's order.
QStringList MemberKeys(FieldScope scope, const QString &group)
{
    QStringList keys;
    for (const Field *field : FieldsOf(scope)) {
        const QString groupKey = QString::fromUtf8(field->group);
        const QString key =
            group.isEmpty() && !groupKey.isEmpty() ? groupKey : QString::fromUtf8(field->key);
        if ((group.isEmpty() || groupKey == group) && !keys.contains(key))
            keys << key;
    }
    return keys;
}

// One record strictly: exactly its members (`lead` before the fields, `extra` after them), its
// number where JSON numbers it, then each field in the table's order.
bool ReadRecord(Reader &in, FieldScope scope, const QJsonValue &value, const QString &path,
                int index, ProjectModel &model, const QStringList &extra, QJsonObject &o)
{
    const QString numberKey = QString::fromUtf8(NamesOf(scope).numberKey);
    const QStringList lead = numberKey.isEmpty() ? QStringList() : QStringList{numberKey};
    if (!in.object(value, path, lead + MemberKeys(scope, {}) + extra, o))
        return false;
    int number = 0;
    if (!numberKey.isEmpty() &&
        !in.integer(o[numberKey], Reader::Join(path, numberKey), index + 1, index + 1, number))
        return false;
    QString openGroup;
    QJsonObject group;
    for (const Field *field : FieldsOf(scope)) {
        const QString groupKey = QString::fromUtf8(field->group);
        const QString key = QString::fromUtf8(field->key);
        if (groupKey.isEmpty()) {
            openGroup.clear();
            if (!ReadField(in, *field, o[key], Reader::Join(path, key), model, index))
                return false;
            continue;
        }
        const QString groupPath = Reader::Join(path, groupKey);
        if (groupKey != openGroup &&
            !in.object(o[groupKey], groupPath, MemberKeys(scope, groupKey), group))
            return false;
        openGroup = groupKey;
        if (!ReadField(in, *field, group[key], Reader::Join(groupPath, key), model, index))
            return false;
    }
    return true;
}

bool ReadDeviations(Reader &in, const QJsonValue &value, ProjectModel &model)
{
    const QString path = QStringLiteral("abweichungen");
    if (!value.isObject())
        return in.fail(path, QStringLiteral("erwartet ein Objekt"));
    const QJsonObject o = value.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString at = Reader::Join(path, it.key());
        const DeviationPlace *place = FindDeviation(it.key());
        if (!place)
            return in.fail(at, QStringLiteral("unbekanntes Feld"));
        if (place->nameRest) {
            const QString &text = place->relay >= 0
                                      ? model.relays[static_cast<std::size_t>(place->relay)].label
                                      : model.cardName;
            const int room =
                std::max<int>(0, ImageOffset::NameSlotSize - 1 - int(text.toUcs4().size()));
            QByteArray bytes;
            if (!in.hex(it.value(), at, 0, room, bytes))
                return false;
            model.deviations[it.key()] = bytes;
            continue;
        }
        int n = 0;
        if (!in.integer(it.value(), at, 0, 255, n))
            return false;
        if (n & ~place->mask)
            return in.fail(at, QStringLiteral("nur die Bits 0x%1 gehören hierher")
                                   .arg(place->mask, 2, 16, QLatin1Char('0')));
        model.deviations[it.key()] = QByteArray(1, char(n));
    }
    return true;
}

bool ReadRaw(Reader &in, const QJsonValue &value, ProjectModel &model)
{
    QStringList names;
    for (const RawRegion &region : RawRegions())
        names << region.name();
    QJsonObject o;
    if (!in.object(value, QStringLiteral("rohdaten"), names, o))
        return false;
    model.raw.clear();
    for (const RawRegion &region : RawRegions()) {
        QByteArray bytes;
        const int size = region.last - region.first + 1;
        if (!in.hex(o[region.name()], Reader::Join(QStringLiteral("rohdaten"), region.name()), size,
                    size, bytes))
            return false;
        model.raw.push_back(bytes);
    }
    return true;
}

} // namespace

QByteArray ProjectToJson(const ProjectModel &model)
{
    std::vector<JsonNode> relays;
    for (int p = 0; p < 8; ++p)
        relays.push_back(NumberedNode(FieldScope::Relay, model, p));
    std::vector<JsonNode> programs;
    for (int n = 0; n < 3; ++n)
        programs.push_back(NumberedNode(FieldScope::Program, model, n));

    JsonNode deviations = JsonNode::object();
    for (const DeviationPlace &place : Deviations()) {
        const auto it = model.deviations.find(place.name);
        if (it == model.deviations.end())
            continue;
        deviations.add(place.name, place.nameRest ? JsonNode(Hex(it->second))
                                                  : JsonNode(int(FirstByte(it->second))));
    }
    JsonNode raw = JsonNode::object();
    const auto &regions = RawRegions();
    for (std::size_t i = 0; i < regions.size(); ++i)
        raw.add(regions[i].name(), Hex(model.raw.at(i)));

    JsonNode root = JsonNode::object();
    root.add("format", ProjectJsonFormat)
        .add("version", ProjectJsonVersion)
        .add(Key(FieldScope::Relay), JsonNode::array(std::move(relays)))
        .add(Key(FieldScope::LightShow),
             RecordNode(FieldScope::LightShow, model, 0, JsonNode::object())
                 .add(Key(FieldScope::Program), JsonNode::array(std::move(programs))))
        .add(Key(FieldScope::Card), RecordNode(FieldScope::Card, model, 0, JsonNode::object()))
        .add("abweichungen", std::move(deviations))
        .add("rohdaten", std::move(raw));
    return JsonText(root);
}

QString JsonError::text() const
{
    return path.isEmpty() ? reason : path + QStringLiteral(": ") + reason;
}

std::optional<QJsonObject> StrictJsonObject(const QByteArray &text, JsonError &error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = {QString(),
                 QStringLiteral("kein gültiges JSON in %1: %2")
                     .arg(JsonPlace(text, parseError.offset), JsonParseReason(parseError.error))};
        return std::nullopt;
    }
    if (const std::optional<QString> twice = FirstDuplicateKey(text)) {
        error = {*twice, QStringLiteral("Feld steht zweimal")};
        return std::nullopt;
    }
    if (!document.isObject()) {
        error = {QString(), QStringLiteral("erwartet ein Objekt")};
        return std::nullopt;
    }
    return document.object();
}

std::optional<ProjectModel> ProjectFromJson(const QByteArray &text, JsonError &error)
{
    const std::optional<QJsonObject> top = StrictJsonObject(text, error);
    if (!top)
        return std::nullopt;
    Reader in(error);
    QJsonObject root, light, card, record;
    QJsonArray relays, programs;
    ProjectModel model;
    const QString relayKey = Key(FieldScope::Relay), lightKey = Key(FieldScope::LightShow),
                  programKey = Key(FieldScope::Program), cardKey = Key(FieldScope::Card);
    if (!in.object(QJsonValue(*top), QString(),
                   {"format", "version", relayKey, lightKey, cardKey, "abweichungen", "rohdaten"},
                   root))
        return std::nullopt;
    if (root["format"].toString() != QLatin1String(ProjectJsonFormat)) {
        in.fail(QStringLiteral("format"),
                QStringLiteral("erwartet \"%1\"").arg(QLatin1String(ProjectJsonFormat)));
        return std::nullopt;
    }
    int version = 0;
    if (!in.integer(root["version"], QStringLiteral("version"), 1, 1000000, version))
        return std::nullopt;
    if (version > ProjectJsonVersion) {
        in.fail(QStringLiteral("version"),
                QStringLiteral("Version %1 ist neuer als die, die dieses Programm liest (%2)")
                    .arg(version)
                    .arg(ProjectJsonVersion));
        return std::nullopt;
    }
    if (!in.array(root[relayKey], relayKey, 8, relays))
        return std::nullopt;
    for (int p = 0; p < 8; ++p) {
        if (!ReadRecord(in, FieldScope::Relay, relays.at(p), Reader::At(relayKey, p), p, model, {},
                        record))
            return std::nullopt;
    }
    const QString programsPath = Reader::Join(lightKey, programKey);
    if (!ReadRecord(in, FieldScope::LightShow, root[lightKey], lightKey, 0, model, {programKey},
                    light) ||
        !in.array(light[programKey], programsPath, 3, programs))
        return std::nullopt;
    for (int n = 0; n < 3; ++n) {
        if (!ReadRecord(in, FieldScope::Program, programs.at(n), Reader::At(programsPath, n), n,
                        model, {}, record))
            return std::nullopt;
    }
    if (!ReadRecord(in, FieldScope::Card, root[cardKey], cardKey, 0, model, {}, card) ||
        !ReadDeviations(in, root["abweichungen"], model) || !ReadRaw(in, root["rohdaten"], model))
        return std::nullopt;
    return model;
}
