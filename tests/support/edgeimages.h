#pragma once

#include "config/configimage.h"
#include "config/pagecodec.h"

#include <QFile>
#include <QString>

#include <functional>
#include <random>
#include <utility>
#include <vector>

// Images with the values the window cannot show, one kind of oddity each, for the tests of
// the readable forms. Each starts from the starter project where that file is given.
inline std::vector<std::pair<const char *, std::function<void(ConfigImage &)>>> EdgeCases()
{
    using namespace ImageOffset;
    return {
        {"time 25:61:00", [](ConfigImage &i) { i[timer(0) + 1] = 25, i[timer(0) + 2] = 61; }},
        {"time 255:255:255", [](ConfigImage &i) { i[random(3) + 5] = i[random(3) + 6] = 255; }},
        {"day index 12", [](ConfigImage &i) { i[day1Index(2)] = 12; }},
        {"day index 255", [](ConfigImage &i) { i[day2Index(7)] = 255; }},
        {"day byte not following", [](ConfigImage &i) { i[timer(1)] = 0x55; }},
        {"tempo 0", [](ConfigImage &i) { i[program(0) + 1] = 0; }},
        {"tempo 1 and 12", [](ConfigImage &i) { i[program(1) + 1] = 1, i[program(2) + 1] = 12; }},
        {"program byte 0", [](ConfigImage &i) { i[ProgramChoice] = 0; }},
        {"program byte 3", [](ConfigImage &i) { i[ProgramChoice] = 3; }},
        {"program byte 20", [](ConfigImage &i) { i[ProgramChoice] = 20; }},
        {"range index 6", [](ConfigImage &i) { i[909] = 6; }},
        {"direction index 200", [](ConfigImage &i) { i[904] = 200; }},
        {"one-hot bytes not following", [](ConfigImage &i) { i[225] = 3, i[236] = 0; }},
        {"sensor 4", [](ConfigImage &i) { i[temperature(5) + 1] = 4; }},
        {"thresholds 128 129 255",
         [](ConfigImage &i) {
             i[temperature(1) + 2] = 128, i[temperature(1) + 3] = 129, i[temperature(2) + 2] = 255;
         }},
        {"offsets 0xA0 0xFF", [](ConfigImage &i) { i[SensorOffsets] = 0xFA; }},
        {"counts 0 and 200",
         [](ConfigImage &i) {
             i[secTimer(0) + 1] = 0, i[secTimer(0) + 2] = 0, i[random(0) + 1] = 200;
         }},
        {"repeat and key together", [](ConfigImage &i) { i[secTimer(4)] |= 0x06; }},
        {"key copies disagree", [](ConfigImage &i) { i[mode(3)] |= 0x20, i[KeyBits] = 0x00; }},
        {"aktiv copies disagree",
         [](ConfigImage &i) { i[secTimer(6)] |= 0x01, i[random(6)] |= 0x01; }},
        {"free bits set",
         [](ConfigImage &i) {
             i[mode(0)] |= 0xC0, i[secTimer(1)] |= 0xF8, i[random(2)] |= 0xFC;
             i[temperature(3)] |= 0xFE, i[GlobalFlags] |= 0xF8;
         }},
        {"channel L 1 cleared", [](ConfigImage &i) { i[program(1)] &= 0xFE; }},
        {"AND with Taster", [](ConfigImage &i) { i[mode(1)] |= 0x01, i[PushButtons] |= 0x02; }},
        {"16-character label",
         [](ConfigImage &i) {
             for (int k = 0; k < 16; ++k)
                 i[nameSlot(2) + k] = std::uint8_t('A' + k);
         }},
        {"bytes behind a label's zero",
         [](ConfigImage &i) {
             i[nameSlot(4) + 3] = 0, i[nameSlot(4) + 9] = 0x7F, i[nameSlot(4) + 15] = 1;
         }},
        {"empty card name with rest",
         [](ConfigImage &i) { i[CardName] = 0, i[CardName + 5] = 0x42; }},
        {"undefined Windows-1252 bytes",
         [](ConfigImage &i) {
             i[nameSlot(6)] = 0x81, i[nameSlot(6) + 1] = 0x8D, i[nameSlot(6) + 2] = 0x9D;
             i[nameSlot(6) + 3] = 0x80, i[nameSlot(6) + 4] = 0xFF, i[nameSlot(6) + 5] = 0;
         }},
        {"reserved and untouched bytes",
         [](ConfigImage &i) {
             i[903] = 7, i[216] = 1, i[243] = 2, i[255] = 3, i[511] = 4, i[656] = 5, i[919] = 6;
             i[1023] = 8;
         }},
    };
}

inline ConfigImage RandomImage(unsigned seed)
{
    std::mt19937 random(seed);
    ConfigImage image;
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = static_cast<std::uint8_t>(random());
    return image;
}

inline ConfigImage StarterProject()
{
    QFile file(QStringLiteral(ZELKORA_STARTER_REL));
    ConfigImage image;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        for (int i = 0; i < ConfigImage::Size && i < bytes.size(); ++i)
            image[i] = static_cast<std::uint8_t>(bytes[i]);
    }
    return image;
}

inline void SetTime(ConfigImage &image, int offset, int h, int m, int s)
{
    image[offset] = std::uint8_t(h), image[offset + 1] = std::uint8_t(m),
    image[offset + 2] = std::uint8_t(s);
}

// A small week: relay 1 Timer 1 on weekdays 06:30 to 07:00 and Timer 2 on Saturday 22:00 to
// 02:00 (into Sunday); relay 2 a random window 23:00 to 01:00; relay 3 inputs K1 OR K3;
// relay 4 the seconds timer; relay 5 humidity; relay 6 Timer 1 with a time that is none;
// relays 7 and 8 nothing.
inline ConfigImage SmallWeek()
{
    using namespace ImageOffset;
    ConfigImage image;
    WriteNameSlot(image, 0, QStringLiteral("Pumpe"));
    WriteNameSlot(image, 8, QStringLiteral("Halle"));
    image[mode(0)] = 0x06;
    image[timer(0)] = 0x80 | 0x3E;
    SetTime(image, timer(0) + 1, 6, 30, 0);
    SetTime(image, timer(0) + 4, 7, 0, 0);
    image[timer(0) + 7] = 0x80 | 0x40;
    SetTime(image, timer(0) + 8, 22, 0, 0);
    SetTime(image, timer(0) + 11, 2, 0, 0);
    image[mode(1)] = 0x08;
    SetTime(image, random(1) + 2, 23, 0, 0);
    SetTime(image, random(1) + 5, 1, 0, 0);
    image[logicInputs(2)] = 0x05;
    image[mode(3)] = 0x10;
    image[secTimer(3) + 1] = 5, image[secTimer(3) + 2] = 9;
    image[temperature(4)] = 1, image[temperature(4) + 1] = 3, image[temperature(4) + 2] = 40,
    image[temperature(4) + 3] = 60;
    image[mode(5)] = 0x02;
    image[timer(5)] = 0xFF;
    SetTime(image, timer(5) + 1, 25, 61, 0);
    return image;
}
