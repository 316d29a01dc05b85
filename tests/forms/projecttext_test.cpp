#include "forms/projecttext.h"
#include "tests/support/edgeimages.h"

#include <gtest/gtest.h>

namespace {
using namespace ImageOffset;

// Relay 3 "Heizung": inputs K1 and K3 as push-button, Timer 1 on weekdays 06:30 to 07:00,
// Timer 2 with a day byte and a time the window cannot show, humidity switching.
ConfigImage Heating()
{
    ConfigImage image = StarterProject();
    WriteNameSlot(image, 2, QStringLiteral("Heizung"));
    image[logicInputs(2)] = 0x05;
    image[mode(2)] = 0x02; // OR, Timer 1
    AssignImageBit(image, PushButtons, 2, true);
    image[day1Index(2)] = 7;
    image[timer(2)] = 0xBE;
    image[timer(2) + 1] = 6, image[timer(2) + 2] = 30, image[timer(2) + 3] = 0;
    image[timer(2) + 4] = 7, image[timer(2) + 5] = 0, image[timer(2) + 6] = 0;
    image[day2Index(2)] = 12;
    image[timer(2) + 7] = 0;
    image[timer(2) + 8] = 25, image[timer(2) + 9] = 61, image[timer(2) + 10] = 0;
    image[random(2) + 1] = 0;
    image[temperature(2)] = 1;
    image[temperature(2) + 1] = 3;
    image[temperature(2) + 2] = 40;
    image[temperature(2) + 3] = 255;
    AssignImageBit(image, PowerUp, 2, true);
    return image;
}

QString Section(const QString &text, const QString &heading)
{
    const qsizetype start = text.indexOf(heading + QLatin1Char('\n'));
    if (start < 0)
        return {};
    const qsizetype end = text.indexOf(QStringLiteral("\n\n"), start);
    return text.mid(start, end < 0 ? -1 : end - start + 1);
}

TEST(ProjectText, ShowsARelayUnderItsLabelWithTheWindowsWords)
{
    const QString text = ShowProject(Heating());
    EXPECT_EQ(Section(text, QStringLiteral("Relais 3 (Heizung)")).toStdString(),
              "Relais 3 (Heizung)\n"
              "  Logische Verknüpfung: Eingänge K1, K3, Art OR, Taster ja\n"
              "  Timer 1: aktiv ja, Tage Mo-Fr, An 06:30:00, Aus 07:00:00\n"
              "  Timer 2: aktiv nein, Tage Byte 12 (!), An 25:61:00 (!), Aus 19:56:49\n"
              "  Random: aktiv nein, Start 19:56:00, Stop 19:56:49, Zähler nein, Zählerwert 0 "
              "Sekunden (!)\n"
              "  Sec. Timer: aktiv nein, An bei 6 sec., Aus bei 33 sec., repeat nein, key nein\n"
              "  Temperatur: aktiv ja, Sensor 3 LF, Anzug < 40 %rLF, Abfall > -1 %rLF\n"
              "  Einschaltzustand: an\n");
    EXPECT_TRUE(
        text.endsWith(QStringLiteral("(!) So kann das Fenster diesen Wert nicht zeigen.\n")));
}

TEST(ProjectText, ShowsTheRunningLightsTheCardAndWhatNoFieldHolds)
{
    ConfigImage image = StarterProject();
    image[ProgramChoice] = 3;
    image[program(1) + 1] = 0;
    image[program(1)] = 0x81;
    image[SensorOffsets] = 0xA3;
    image[CardName] = 0;
    image[300] = 0x12;
    image[timer(0)] = 0x55;
    const QString text = ShowProject(image);
    const QString light = Section(text, QStringLiteral("Lauflicht"));
    EXPECT_TRUE(light.startsWith(QStringLiteral("Lauflicht\n  Auswahl: Byte 3 (!)\n")))
        << light.toStdString();
    EXPECT_TRUE(light.contains(QStringLiteral(
        "  Programm 2: Relais L 1, L 8, Tempo Byte 0 (!), Kanäle 1 - 3, Richtung < - >, "
        "Ri wechsel nach 5 sec\n")))
        << light.toStdString();
    EXPECT_EQ(Section(text, QStringLiteral("Karte")).toStdString(),
              "Karte\n"
              "  Ansicht: Timer\n"
              "  Offset Temp-Sensor 1: 3\n"
              "  Offset Temp-Sensor 2: 10 (!)\n"
              "  Firmware PIC: V 5.x  T\n"
              "  Zähler für Radom: Sekunden\n"
              "  Name Relaiskarte: (leer, das Fenster zeigt „Relaiskarte“)\n");
    EXPECT_EQ(Section(text, QStringLiteral("Abweichungen")).toStdString(),
              "Abweichungen\n"
              "  Relais 1 (Relais 1), Timer 1, Tagbyte der Karte: 0x55 (!)\n"
              "  Name Relaiskarte, Bytes hinter dem Namen: 65 6c 61 69 73 6b 61 72 74 65 00 00 00 "
              "00 00 (!)\n");
    EXPECT_TRUE(text.contains(
        QStringLiteral("Weitere Bytes (kein Feld im Fenster)\n"
                       "  Bytes 288-303: 00 00 00 00 00 00 00 00 00 00 00 00 12 00 00 00\n")))
        << text.toStdString();
}

struct DiffCase
{
    const char *name;
    std::function<void(ConfigImage &)> edit;
    QStringList expected;
};

TEST(ProjectText, DiffNamesEachChangedFieldByMeaning)
{
    const std::vector<DiffCase> cases = {
        {"equal", [](ConfigImage &) {}, {}},
        {"timer time",
         [](ConfigImage &i) { i[timer(2) + 4] = 7, i[timer(2) + 5] = 15; },
         {"Relais 3 (Heizung), Timer 1, Aus: 07:00:00 → 07:15:00"}},
        {"day choice, with the card's day byte following",
         [](ConfigImage &i) { i[day1Index(2)] = 8, i[timer(2)] = 0xC1; },
         {"Relais 3 (Heizung), Timer 1, Tage: Mo-Fr → Sa-So"}},
        {"label",
         [](ConfigImage &i) { WriteNameSlot(i, 2, QStringLiteral("Lüftung")); },
         {"Relais 3 (Heizung), Bezeichnung: „Heizung“ → „Lüftung“"}},
        {"mode and its copies",
         [](ConfigImage &i) {
             i[mode(0)] |= 0x30, i[secTimer(0)] |= 0x05, AssignImageBit(i, KeyBits, 0, false);
         },
         {"Relais 1 (Relais 1), Sec. Timer, aktiv: nein → ja",
          "Relais 1 (Relais 1), Sec. Timer, key: nein → ja"}},
        {"a derived byte that stops following",
         [](ConfigImage &i) { i[timer(2)] = 0x3E; },
         {"Abweichungen, Relais 3 (Heizung), Timer 1, Tagbyte der Karte: 0xbe → 0x3e"}},
        {"bytes no field covers",
         [](ConfigImage &i) { i[300] = 0x12, i[1023] = 0xff; },
         {"Byte 300: 00 → 12", "Byte 1023: 00 → ff"}},
        {"card settings",
         [](ConfigImage &i) { i[GlobalFlags] |= 0x06, i[SensorOffsets] = 0x90; },
         {"Karte, Offset Temp-Sensor 2: 0 → 9", "Karte, Firmware PIC: V 5.x  T → V 5.x  AT",
          "Karte, Zähler für Radom: Sekunden → Minuten"}},
        {"a value the window cannot show",
         [](ConfigImage &i) { i[program(0) + 1] = 0; },
         {"Lauflicht, Programm 1, Tempo: 4 → Byte 0"}},
        {"a threshold with its unit",
         [](ConfigImage &i) { i[temperature(2) + 2] = 0xFB; },
         {"Relais 3 (Heizung), Temperatur, Anzug <: 40 %rLF → -5 %rLF"}},
        {"a sensor, whose unit follows",
         [](ConfigImage &i) { i[temperature(2) + 1] = 0; },
         {"Relais 3 (Heizung), Temperatur, Sensor: Sensor 3 LF → Sensor 1"}},
    };
    const ConfigImage before = Heating();
    for (const DiffCase &c : cases) {
        ConfigImage after = before;
        c.edit(after);
        EXPECT_EQ(DiffProjects(before, after).join('\n').toStdString(),
                  c.expected.join('\n').toStdString())
            << c.name;
    }
}

} // namespace
