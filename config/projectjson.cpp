#include "projectjson.h"

#include "jsontext.h"
#include "windows1252.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>
#include <utility>
#include <variant>
#include <vector>

namespace {

// A JSON value that keeps its members in the order they were added, so the file reads in
// the order of the window (QJsonObject sorts them by name).
struct Node
{
    std::variant<bool, qint64, QString, std::vector<Node>, std::vector<std::pair<QString, Node>>>
        value;

    Node(bool b) : value(b) {}
    Node(int n) : value(qint64(n)) {}
    Node(const QString &s) : value(s) {}
    Node(const char *s) : value(QString::fromUtf8(s)) {}
    static Node array(std::vector<Node> items = {})
    {
        Node n(false);
        n.value = std::move(items);
        return n;
    }
    static Node object()
    {
        Node n(false);
        n.value = std::vector<std::pair<QString, Node>>{};
        return n;
    }
    Node &add(const QString &key, Node child)
    {
        std::get<std::vector<std::pair<QString, Node>>>(value).emplace_back(key, std::move(child));
        return *this;
    }
};

QString Quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

bool IsScalar(const Node &node)
{
    return !std::holds_alternative<std::vector<Node>>(node.value) &&
           !std::holds_alternative<std::vector<std::pair<QString, Node>>>(node.value);
}

void Write(const Node &node, int indent, QString &out)
{
    const QString pad(indent + 2, QLatin1Char(' '));
    if (const bool *b = std::get_if<bool>(&node.value)) {
        out += *b ? QStringLiteral("true") : QStringLiteral("false");
    } else if (const qint64 *n = std::get_if<qint64>(&node.value)) {
        out += QString::number(*n);
    } else if (const QString *s = std::get_if<QString>(&node.value)) {
        out += Quoted(*s);
    } else if (const auto *items = std::get_if<std::vector<Node>>(&node.value)) {
        // Short lists of plain values stay on one line: ["K1", "K3"].
        const bool inline_ = std::all_of(items->begin(), items->end(), IsScalar);
        out += QLatin1Char('[');
        for (std::size_t i = 0; i < items->size(); ++i) {
            out += i ? (inline_ ? QStringLiteral(", ") : QStringLiteral(",")) : QString();
            if (!inline_)
                out += QLatin1Char('\n') + pad;
            Write((*items)[i], indent + 2, out);
        }
        if (!inline_ && !items->empty())
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
        out += QLatin1Char(']');
    } else {
        const auto &members = std::get<std::vector<std::pair<QString, Node>>>(node.value);
        out += QLatin1Char('{');
        for (std::size_t i = 0; i < members.size(); ++i) {
            out += (i ? QStringLiteral(",\n") : QStringLiteral("\n")) + pad +
                   Quoted(members[i].first) + QStringLiteral(": ");
            Write(members[i].second, indent + 2, out);
        }
        if (!members.empty())
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
        out += QLatin1Char('}');
    }
}

// A list choice: the window's entry, or the byte where it names none.
Node Choice(std::uint8_t byte, const QStringList &entries)
{
    if (byte < entries.size())
        return entries.at(byte);
    return int(byte);
}

Node Time(const TimeBytes &time)
{
    return TimeText(time);
}

QString Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

Node TimerNode(const TimerModel &timer)
{
    return Node::object()
        .add("aktiv", timer.active)
        .add("tage", Choice(timer.dayIndex, ProjectLists::Days()))
        .add("an", Time(timer.on))
        .add("aus", Time(timer.off));
}

Node RelayNode(int p, const RelayModel &r)
{
    std::vector<Node> inputs;
    for (int k = 0; k < 8; ++k) {
        if (r.inputs & (1u << k))
            inputs.emplace_back(QStringLiteral("K%1").arg(k + 1));
    }
    return Node::object()
        .add("nummer", p + 1)
        .add("bezeichnung", r.label)
        .add("verknuepfung", Node::object()
                                 .add("eingaenge", Node::array(std::move(inputs)))
                                 .add("art", r.andLink ? "AND" : "OR")
                                 .add("taster", r.pushButton))
        .add("timer1", TimerNode(r.timers[0]))
        .add("timer2", TimerNode(r.timers[1]))
        .add("random", Node::object()
                           .add("aktiv", r.randomActive)
                           .add("start", Time(r.randomStart))
                           .add("stop", Time(r.randomStop))
                           .add("zaehler", r.counterInUse)
                           .add("zaehlerWert", int(r.counter)))
        .add("secTimer", Node::object()
                             .add("aktiv", r.secTimerActive)
                             .add("anBei", int(r.onAt))
                             .add("ausBei", int(r.offAt))
                             .add("repeat", r.repeat)
                             .add("key", r.key))
        .add("temperatur", Node::object()
                               .add("aktiv", r.tempActive)
                               .add("sensor", Choice(r.sensor, ProjectLists::Sensors()))
                               .add("anzug", SignedThreshold(r.pullIn))
                               .add("abfall", SignedThreshold(r.dropOut)))
        .add("einschaltzustand", r.powerUp);
}

Node ProgramNode(int n, const ProgramModel &program)
{
    std::vector<Node> channels;
    for (int k = 1; k <= 7; ++k) {
        if (program.channels & (1u << k))
            channels.emplace_back(QStringLiteral("L %1").arg(k + 1));
    }
    return Node::object()
        .add("programm", n + 1)
        .add("kanaele", Node::array(std::move(channels)))
        .add("tempo", int(program.tempo) - 1)
        .add("bereich", Choice(program.rangeIndex, ProjectLists::Ranges()))
        .add("richtung", Choice(program.directionIndex, ProjectLists::Directions()))
        .add("richtungswechsel", int(program.changeSeconds));
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

bool ReadTimer(Reader &in, const QJsonValue &value, const QString &path, TimerModel &timer)
{
    QJsonObject o;
    return in.object(value, path, {"aktiv", "tage", "an", "aus"}, o) &&
           in.boolean(o["aktiv"], Reader::Join(path, "aktiv"), timer.active) &&
           in.choice(o["tage"], Reader::Join(path, "tage"), ProjectLists::Days(), timer.dayIndex) &&
           in.time(o["an"], Reader::Join(path, "an"), timer.on) &&
           in.time(o["aus"], Reader::Join(path, "aus"), timer.off);
}

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

bool ReadRelay(Reader &in, const QJsonValue &value, const QString &path, int p, RelayModel &r)
{
    QJsonObject o, link, random, sec, temp;
    int number = 0;
    const auto at = [&](const QString &key) { return Reader::Join(path, key); };
    if (!in.object(value, path,
                   {"nummer", "bezeichnung", "verknuepfung", "timer1", "timer2", "random",
                    "secTimer", "temperatur", "einschaltzustand"},
                   o) ||
        !in.integer(o["nummer"], at("nummer"), p + 1, p + 1, number) ||
        !in.name(o["bezeichnung"], at("bezeichnung"), r.label))
        return false;
    const QString linkPath = at("verknuepfung");
    int art = 0;
    if (!in.object(o["verknuepfung"], linkPath, {"eingaenge", "art", "taster"}, link) ||
        !ReadFlags(in, link["eingaenge"], Reader::Join(linkPath, "eingaenge"), "K", 8, 1,
                   r.inputs) ||
        !in.oneOf(link["art"], Reader::Join(linkPath, "art"), {"OR", "AND"}, art) ||
        !in.boolean(link["taster"], Reader::Join(linkPath, "taster"), r.pushButton))
        return false;
    r.andLink = art == 1;
    if (!ReadTimer(in, o["timer1"], at("timer1"), r.timers[0]) ||
        !ReadTimer(in, o["timer2"], at("timer2"), r.timers[1]))
        return false;
    const QString rp = at("random");
    if (!in.object(o["random"], rp, {"aktiv", "start", "stop", "zaehler", "zaehlerWert"}, random) ||
        !in.boolean(random["aktiv"], Reader::Join(rp, "aktiv"), r.randomActive) ||
        !in.time(random["start"], Reader::Join(rp, "start"), r.randomStart) ||
        !in.time(random["stop"], Reader::Join(rp, "stop"), r.randomStop) ||
        !in.boolean(random["zaehler"], Reader::Join(rp, "zaehler"), r.counterInUse) ||
        !in.byte(random["zaehlerWert"], Reader::Join(rp, "zaehlerWert"), 0, 255, r.counter))
        return false;
    const QString sp = at("secTimer");
    if (!in.object(o["secTimer"], sp, {"aktiv", "anBei", "ausBei", "repeat", "key"}, sec) ||
        !in.boolean(sec["aktiv"], Reader::Join(sp, "aktiv"), r.secTimerActive) ||
        !in.byte(sec["anBei"], Reader::Join(sp, "anBei"), 0, 255, r.onAt) ||
        !in.byte(sec["ausBei"], Reader::Join(sp, "ausBei"), 0, 255, r.offAt) ||
        !in.boolean(sec["repeat"], Reader::Join(sp, "repeat"), r.repeat) ||
        !in.boolean(sec["key"], Reader::Join(sp, "key"), r.key))
        return false;
    const QString tp = at("temperatur");
    // A threshold is what was typed, stored as its low 8 bits: -128 and 128 are the same byte.
    return in.object(o["temperatur"], tp, {"aktiv", "sensor", "anzug", "abfall"}, temp) &&
           in.boolean(temp["aktiv"], Reader::Join(tp, "aktiv"), r.tempActive) &&
           in.choice(temp["sensor"], Reader::Join(tp, "sensor"), ProjectLists::Sensors(),
                     r.sensor) &&
           in.byte(temp["anzug"], Reader::Join(tp, "anzug"), -128, 255, r.pullIn) &&
           in.byte(temp["abfall"], Reader::Join(tp, "abfall"), -128, 255, r.dropOut) &&
           in.boolean(o["einschaltzustand"], at("einschaltzustand"), r.powerUp);
}

bool ReadProgram(Reader &in, const QJsonValue &value, const QString &path, int n,
                 ProgramModel &program)
{
    QJsonObject o;
    int number = 0, tempo = 0;
    const auto at = [&](const char *key) { return Reader::Join(path, QLatin1String(key)); };
    if (!in.object(value, path,
                   {"programm", "kanaele", "tempo", "bereich", "richtung", "richtungswechsel"},
                   o) ||
        !in.integer(o["programm"], at("programm"), n + 1, n + 1, number) ||
        !ReadFlags(in, o["kanaele"], at("kanaele"), "L ", 7, 2, program.channels) ||
        !in.integer(o["tempo"], at("tempo"), -1, 254, tempo))
        return false;
    // Tempo is the list's entry "1" to "10"; the byte is that plus one.
    program.tempo = std::uint8_t(tempo + 1);
    return in.choice(o["bereich"], at("bereich"), ProjectLists::Ranges(), program.rangeIndex) &&
           in.choice(o["richtung"], at("richtung"), ProjectLists::Directions(),
                     program.directionIndex) &&
           in.byte(o["richtungswechsel"], at("richtungswechsel"), 0, 255, program.changeSeconds);
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
    std::vector<Node> relays;
    for (int p = 0; p < 8; ++p)
        relays.push_back(RelayNode(p, model.relays[static_cast<std::size_t>(p)]));
    std::vector<Node> programs;
    for (int n = 0; n < 3; ++n)
        programs.push_back(ProgramNode(n, model.programs[static_cast<std::size_t>(n)]));
    const int choice = ProgramChoiceIndex(model.programChoice);

    Node deviations = Node::object();
    for (const DeviationPlace &place : Deviations()) {
        const auto it = model.deviations.find(place.name);
        if (it == model.deviations.end())
            continue;
        deviations.add(place.name,
                       place.nameRest ? Node(Hex(it->second)) : Node(int(FirstByte(it->second))));
    }
    Node raw = Node::object();
    const auto &regions = RawRegions();
    for (std::size_t i = 0; i < regions.size(); ++i)
        raw.add(regions[i].name(), Hex(model.raw.at(i)));

    Node root = Node::object();
    root.add("format", ProjectJsonFormat)
        .add("version", ProjectJsonVersion)
        .add("relais", Node::array(std::move(relays)))
        .add("lauflicht",
             Node::object()
                 .add("auswahl", choice >= 0 ? Node(ProjectLists::Programs().at(choice))
                                             : Node(int(model.programChoice)))
                 .add("programme", Node::array(std::move(programs))))
        .add("karte", Node::object()
                          .add("name", model.cardName)
                          .add("ansicht", ProjectLists::Views().at(model.runningLightView))
                          .add("firmware", ProjectLists::Firmware().at(model.firmwareAT))
                          .add("zaehlerEinheit", ProjectLists::CounterUnits().at(model.minutes))
                          .add("offsetTempSensor1", int(model.offset1))
                          .add("offsetTempSensor2", int(model.offset2)))
        .add("abweichungen", std::move(deviations))
        .add("rohdaten", std::move(raw));
    QString out;
    Write(root, 0, out);
    return (out + QLatin1Char('\n')).toUtf8();
}

QString JsonError::text() const
{
    return path.isEmpty() ? reason : path + QStringLiteral(": ") + reason;
}

std::optional<ProjectModel> ProjectFromJson(const QByteArray &text, JsonError &error)
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
    Reader in(error);
    QJsonObject root, light, card;
    QJsonArray relays, programs;
    ProjectModel model;
    if (!document.isObject()) {
        in.fail({}, QStringLiteral("erwartet ein Objekt"));
        return std::nullopt;
    }
    if (!in.object(
            QJsonValue(document.object()), QString(),
            {"format", "version", "relais", "lauflicht", "karte", "abweichungen", "rohdaten"},
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
    if (!in.array(root["relais"], QStringLiteral("relais"), 8, relays))
        return std::nullopt;
    for (int p = 0; p < 8; ++p) {
        if (!ReadRelay(in, relays.at(p), Reader::At(QStringLiteral("relais"), p), p,
                       model.relays[static_cast<std::size_t>(p)]))
            return std::nullopt;
    }
    int view = 0, firmware = 0, unit = 0;
    const QString lp = QStringLiteral("lauflicht"), kp = QStringLiteral("karte");
    if (!in.object(root["lauflicht"], lp, {"auswahl", "programme"}, light))
        return std::nullopt;
    // The program choice is stored one-hot: "Prog 1" is 1, "schaltbar" 8.
    std::uint8_t choiceIndex = 0;
    const QJsonValue choice = light["auswahl"];
    if (!in.choice(choice, Reader::Join(lp, "auswahl"), ProjectLists::Programs(), choiceIndex))
        return std::nullopt;
    model.programChoice = choice.isString() ? OneHot(choiceIndex) : choiceIndex;
    if (!in.array(light["programme"], Reader::Join(lp, "programme"), 3, programs))
        return std::nullopt;
    for (int n = 0; n < 3; ++n) {
        if (!ReadProgram(in, programs.at(n), Reader::At(Reader::Join(lp, "programme"), n), n,
                         model.programs[static_cast<std::size_t>(n)]))
            return std::nullopt;
    }
    if (!in.object(root["karte"], kp,
                   {"name", "ansicht", "firmware", "zaehlerEinheit", "offsetTempSensor1",
                    "offsetTempSensor2"},
                   card) ||
        !in.name(card["name"], Reader::Join(kp, "name"), model.cardName) ||
        !in.oneOf(card["ansicht"], Reader::Join(kp, "ansicht"), ProjectLists::Views(), view) ||
        !in.oneOf(card["firmware"], Reader::Join(kp, "firmware"), ProjectLists::Firmware(),
                  firmware) ||
        !in.oneOf(card["zaehlerEinheit"], Reader::Join(kp, "zaehlerEinheit"),
                  ProjectLists::CounterUnits(), unit) ||
        !in.byte(card["offsetTempSensor1"], Reader::Join(kp, "offsetTempSensor1"), 0, 15,
                 model.offset1) ||
        !in.byte(card["offsetTempSensor2"], Reader::Join(kp, "offsetTempSensor2"), 0, 15,
                 model.offset2))
        return std::nullopt;
    model.runningLightView = view == 1;
    model.firmwareAT = firmware == 1;
    model.minutes = unit == 1;
    if (!ReadDeviations(in, root["abweichungen"], model) || !ReadRaw(in, root["rohdaten"], model))
        return std::nullopt;
    return model;
}
