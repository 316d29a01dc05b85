#include "forms/projectjson.h"
#include "forms/projectmodel.h"
#include "tests/support/edgeimages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <variant>

namespace {

std::string Differences(const ConfigImage &expected, const ConfigImage &got)
{
    std::string out;
    for (int i = 0; i < ConfigImage::Size; ++i) {
        if (expected[i] != got[i])
            out += " byte " + std::to_string(i) + ": expected " + std::to_string(expected[i]) +
                   ", got " + std::to_string(got[i]) + ";";
    }
    return out.empty() ? "none" : out;
}

ConfigImage ThroughJson(const ConfigImage &image)
{
    JsonError error;
    const auto model = ProjectFromJson(ProjectToJson(DecodeProject(image)), error);
    EXPECT_TRUE(model.has_value()) << error.text().toStdString();
    return model ? EncodeProject(*model) : ConfigImage{};
}

TEST(ProjectJson, StarterAndEdgeImagesComeBackByteForByte)
{
    const ConfigImage starter = StarterProject();
    ASSERT_EQ(starter[ImageOffset::nameSlot(0)], 'R') << "starter project not read";
    EXPECT_EQ(Differences(starter, ThroughJson(starter)), "none");
    ConfigImage zero, full;
    full.fill(0xFF);
    EXPECT_EQ(Differences(zero, ThroughJson(zero)), "none");
    EXPECT_EQ(Differences(full, ThroughJson(full)), "none");
    for (const auto &[name, edit] : EdgeCases()) {
        ConfigImage image = starter;
        edit(image);
        EXPECT_EQ(Differences(image, ThroughJson(image)), "none") << name;
    }
}

TEST(ProjectJson, RandomImagesComeBackByteForByte)
{
    for (unsigned seed = 1; seed <= 300; ++seed) {
        const ConfigImage image = RandomImage(seed);
        ASSERT_EQ(Differences(image, ThroughJson(image)), "none") << "seed " << seed;
    }
}

TEST(ProjectJson, EditorWrittenFilesHaveNoDeviations)
{
    const ProjectModel model = DecodeProject(StarterProject());
    EXPECT_TRUE(model.deviations.empty());
    const QJsonObject json = QJsonDocument::fromJson(ProjectToJson(model)).object();
    EXPECT_EQ(json["format"].toString(), "zelkora-projekt");
    EXPECT_EQ(json["version"].toInt(), 1);
    EXPECT_TRUE(json["abweichungen"].toObject().isEmpty());
}

// A JSON path as keys and list indices: {"relais", 2, "timer1", "an"}.
using Step = std::variant<const char *, int>;
using Path = std::vector<Step>;

QJsonValue Edited(const QJsonValue &node, const Path &path, std::size_t at,
                  const std::optional<QJsonValue> &value)
{
    if (at == path.size())
        return *value;
    if (std::holds_alternative<int>(path[at])) {
        QJsonArray array = node.toArray();
        const int index = std::get<int>(path[at]);
        if (at + 1 == path.size() && !value)
            array.removeAt(index);
        else
            array[index] = Edited(array[index], path, at + 1, value);
        return array;
    }
    QJsonObject object = node.toObject();
    const QString key = QString::fromUtf8(std::get<const char *>(path[at]));
    if (at + 1 == path.size() && !value)
        object.remove(key);
    else
        object[key] = Edited(object[key], path, at + 1, value);
    return object;
}

// The starter project's JSON with one field set (or removed, without a value).
QByteArray EditedJson(const Path &path, const std::optional<QJsonValue> &value)
{
    const QJsonDocument doc =
        QJsonDocument::fromJson(ProjectToJson(DecodeProject(StarterProject())));
    return QJsonDocument(Edited(doc.object(), path, 0, value).toObject()).toJson();
}

struct EditCase
{
    const char *name;
    Path path;
    QJsonValue value;
    std::function<void(ConfigImage &)> expected; // the starter image with just these changes
};

TEST(ProjectJson, EachKindOfFieldChangesExactlyItsBytes)
{
    using namespace ImageOffset;
    const auto bit = [](ConfigImage &i, int offset, int b, bool on) {
        AssignImageBit(i, offset, b, on);
    };
    const std::vector<EditCase> cases = {
        {"label",
         {"relais", 2, "bezeichnung"},
         "Heizung",
         [](ConfigImage &i) { WriteNameSlot(i, 2, QStringLiteral("Heizung")); }},
        {"label with Windows-1252 letters",
         {"relais", 7, "bezeichnung"},
         "Küche €",
         [](ConfigImage &i) { WriteNameSlot(i, 7, QStringLiteral("Küche €")); }},
        {"timer time",
         {"relais", 2, "timer1", "an"},
         "06:30:00",
         [](ConfigImage &i) { i[timer(2) + 1] = 6, i[timer(2) + 2] = 30, i[timer(2) + 3] = 0; }},
        {"timer 2 off time",
         {"relais", 2, "timer2", "aus"},
         "23:59:58",
         [](ConfigImage &i) {
             i[timer(2) + 11] = 23, i[timer(2) + 12] = 59, i[timer(2) + 13] = 58;
         }},
        {"day choice",
         {"relais", 2, "timer1", "tage"},
         "Mo-Fr",
         [](ConfigImage &i) { i[day1Index(2)] = 7, i[timer(2)] = 0x3E; }},
        {"day choice as a byte",
         {"relais", 0, "timer2", "tage"},
         12,
         [](ConfigImage &i) { i[day2Index(0)] = 12, i[timer(0) + 7] = 0; }},
        {"timer mode",
         {"relais", 2, "timer1", "aktiv"},
         true,
         [&](ConfigImage &i) { bit(i, mode(2), 1, true), bit(i, timer(2), 7, true); }},
        {"link",
         {"relais", 2, "verknuepfung", "art"},
         "OR",
         [&](ConfigImage &i) { bit(i, mode(2), 0, false); }},
        {"inputs",
         {"relais", 2, "verknuepfung", "eingaenge"},
         QJsonArray{"K8", "K2"},
         [](ConfigImage &i) { i[logicInputs(2)] = 0x82; }},
        {"push-button",
         {"relais", 2, "verknuepfung", "taster"},
         true,
         [&](ConfigImage &i) { bit(i, PushButtons, 2, true); }},
        {"key mode",
         {"relais", 2, "secTimer", "key"},
         true,
         [&](ConfigImage &i) {
             bit(i, secTimer(2), 2, true), bit(i, mode(2), 5, true), bit(i, KeyBits, 2, false);
         }},
        {"seconds timer mode",
         {"relais", 2, "secTimer", "aktiv"},
         true,
         [&](ConfigImage &i) { bit(i, mode(2), 4, true), bit(i, secTimer(2), 0, true); }},
        {"seconds count",
         {"relais", 2, "secTimer", "anBei"},
         200,
         [](ConfigImage &i) { i[secTimer(2) + 1] = 200; }},
        {"random mode",
         {"relais", 2, "random", "aktiv"},
         true,
         [&](ConfigImage &i) { bit(i, mode(2), 3, true), bit(i, random(2), 0, true); }},
        {"random counter",
         {"relais", 2, "random", "zaehlerWert"},
         45,
         [](ConfigImage &i) { i[random(2) + 1] = 45; }},
        {"random start",
         {"relais", 2, "random", "start"},
         "07:08:09",
         [](ConfigImage &i) { i[random(2) + 2] = 7, i[random(2) + 3] = 8, i[random(2) + 4] = 9; }},
        {"sensor",
         {"relais", 2, "temperatur", "sensor"},
         "Sensor 3 LF",
         [](ConfigImage &i) { i[temperature(2) + 1] = 3; }},
        {"negative threshold",
         {"relais", 2, "temperatur", "anzug"},
         -5,
         [](ConfigImage &i) { i[temperature(2) + 2] = 251; }},
        {"power-up",
         {"relais", 2, "einschaltzustand"},
         true,
         [&](ConfigImage &i) { bit(i, PowerUp, 2, true); }},
        {"program choice",
         {"lauflicht", "auswahl"},
         "schaltbar",
         [](ConfigImage &i) { i[ProgramChoice] = 8; }},
        {"tempo",
         {"lauflicht", "programme", 1, "tempo"},
         10,
         [](ConfigImage &i) { i[program(1) + 1] = 11; }},
        {"range",
         {"lauflicht", "programme", 1, "bereich"},
         "1 - 8",
         [](ConfigImage &i) { i[907] = 5, i[program(1) + 2] = 0x80; }},
        {"direction",
         {"lauflicht", "programme", 2, "richtung"},
         "links",
         [](ConfigImage &i) { i[904] = 0, i[program(2) + 3] = 1; }},
        {"channels",
         {"lauflicht", "programme", 0, "kanaele"},
         QJsonArray{"L 2", "L 8"},
         [](ConfigImage &i) { i[program(0)] = 0x83; }},
        {"card name",
         {"karte", "name"},
         "Halle 2",
         [](ConfigImage &i) { WriteNameSlot(i, 8, QStringLiteral("Halle 2")); }},
        {"view",
         {"karte", "ansicht"},
         "Lauflicht",
         [&](ConfigImage &i) { bit(i, GlobalFlags, 0, true); }},
        {"firmware",
         {"karte", "firmware"},
         "V 5.x  AT",
         [&](ConfigImage &i) { bit(i, GlobalFlags, 2, true); }},
        {"counter unit",
         {"karte", "zaehlerEinheit"},
         "Minuten",
         [&](ConfigImage &i) { bit(i, GlobalFlags, 1, true); }},
        {"offset",
         {"karte", "offsetTempSensor2"},
         9,
         [](ConfigImage &i) { i[SensorOffsets] = std::uint8_t((i[SensorOffsets] & 0x0F) | 0x90); }},
        {"raw bytes",
         {"rohdaten", "910-919"},
         "00112233445566778899",
         [](ConfigImage &i) {
             for (int k = 0; k < 10; ++k)
                 i[910 + k] = std::uint8_t(k * 0x11);
         }},
        {"deviation",
         {"abweichungen", "relais3.timer1.tagbyte"},
         0x55,
         [](ConfigImage &i) { i[timer(2)] = 0x55; }},
    };
    const ConfigImage base = StarterProject();
    for (const EditCase &c : cases) {
        JsonError error;
        const auto model = ProjectFromJson(EditedJson(c.path, c.value), error);
        ASSERT_TRUE(model.has_value()) << c.name << ": " << error.text().toStdString();
        ConfigImage expected = base;
        c.expected(expected);
        EXPECT_NE(Differences(base, expected), "none") << c.name << " changes nothing";
        EXPECT_EQ(Differences(expected, EncodeProject(*model)), "none") << c.name;
    }
}

struct BadCase
{
    const char *name;
    Path path;
    std::optional<QJsonValue> value; // none: the field is removed
    const char *errorPath;
};

TEST(ProjectJson, BadInputIsRefusedWithTheFieldsPath)
{
    const std::vector<BadCase> cases = {
        {"unknown field", {"relais", 0, "timer1", "extra"}, 1, "relais[1].timer1.extra"},
        {"unknown top-level field", {"kommentar"}, "x", "kommentar"},
        {"missing field",
         {"relais", 4, "secTimer", "ausBei"},
         std::nullopt,
         "relais[5].secTimer.ausBei"},
        {"missing section", {"rohdaten"}, std::nullopt, "rohdaten"},
        {"count above a byte", {"relais", 1, "secTimer", "anBei"}, 256, "relais[2].secTimer.anBei"},
        {"fraction", {"relais", 1, "random", "zaehlerWert"}, 2.5, "relais[2].random.zaehlerWert"},
        {"wrong kind", {"relais", 0, "timer1", "aktiv"}, "ja", "relais[1].timer1.aktiv"},
        {"time without seconds", {"relais", 0, "timer2", "an"}, "24:00", "relais[1].timer2.an"},
        {"time part above a byte",
         {"relais", 0, "random", "stop"},
         "256:00:00",
         "relais[1].random.stop"},
        {"unknown day choice", {"relais", 3, "timer1", "tage"}, "Mo-Sa", "relais[4].timer1.tage"},
        {"label too long",
         {"relais", 2, "bezeichnung"},
         "Siebzehn Zeichen!",
         "relais[3].bezeichnung"},
        {"letter the card cannot store",
         {"relais", 2, "bezeichnung"},
         "Ĉambro",
         "relais[3].bezeichnung"},
        {"unknown input",
         {"relais", 5, "verknuepfung", "eingaenge"},
         QJsonArray{"K9"},
         "relais[6].verknuepfung.eingaenge[1]"},
        {"input twice",
         {"relais", 5, "verknuepfung", "eingaenge"},
         QJsonArray{"K1", "K1"},
         "relais[6].verknuepfung.eingaenge[2]"},
        {"link neither AND nor OR",
         {"relais", 5, "verknuepfung", "art"},
         "XOR",
         "relais[6].verknuepfung.art"},
        {"tempo out of range",
         {"lauflicht", "programme", 0, "tempo"},
         255,
         "lauflicht.programme[1].tempo"},
        {"threshold out of range",
         {"relais", 0, "temperatur", "abfall"},
         -129,
         "relais[1].temperatur.abfall"},
        {"offset above 15", {"karte", "offsetTempSensor1"}, 16, "karte.offsetTempSensor1"},
        {"raw region too short", {"rohdaten", "216-221"}, "0000", "rohdaten.216-221"},
        {"raw region not hex", {"rohdaten", "216-221"}, "00000000000g", "rohdaten.216-221"},
        {"unknown deviation",
         {"abweichungen", "relais9.timer1.tagbyte"},
         1,
         "abweichungen.relais9.timer1.tagbyte"},
        {"deviation outside its bits",
         {"abweichungen", "relais1.modusbyte.frei"},
         1,
         "abweichungen.relais1.modusbyte.frei"},
        {"wrong format", {"format"}, "anderes", "format"},
        {"newer version", {"version"}, 2, "version"},
        {"seven relays", {"relais", 7}, std::nullopt, "relais"},
        {"relay out of order", {"relais", 3, "nummer"}, 5, "relais[4].nummer"},
    };
    for (const BadCase &c : cases) {
        JsonError error;
        EXPECT_FALSE(ProjectFromJson(EditedJson(c.path, c.value), error).has_value()) << c.name;
        EXPECT_EQ(error.path.toStdString(), c.errorPath)
            << c.name << ": " << error.text().toStdString();
        EXPECT_FALSE(error.reason.isEmpty()) << c.name;
    }
}

TEST(ProjectJson, TextThatIsNoJsonSaysWhere)
{
    for (const QByteArray &text : {QByteArray("{\n  \"format\": ,\n}"), QByteArray("[1, 2]"),
                                   QByteArray(""), QByteArray("\x89PNG")}) {
        JsonError error;
        EXPECT_FALSE(ProjectFromJson(text, error).has_value()) << text.constData();
        EXPECT_FALSE(error.reason.isEmpty());
    }
    JsonError error;
    ProjectFromJson("{\n  \"format\": ,\n}", error);
    EXPECT_TRUE(error.reason.contains(QStringLiteral("Zeile 2"))) << error.text().toStdString();
}

} // namespace
