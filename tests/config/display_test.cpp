#include "config/pagecodec.h"
#include "tests/support/imagebits.h"
#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {
using namespace ImageOffset;

// Bits of each byte that the display of page p reads.
ImageBits ReadBits(int p)
{
    ImageBits read;
    read.bits(246, static_cast<std::uint8_t>(1u << p));
    read.all(2 * p, 1);
    read.bits(2 * p + 1, 0x1F);
    read.bits(152 + 8 * p, 0x02);
    read.all(920 + 2 * p, 2);
    read.all(17 + 14 * p, 6);
    read.all(24 + 14 * p, 6);
    read.bits(128 + 3 * p, 0x06);
    read.all(129 + 3 * p, 2);
    read.all(153 + 8 * p, 7);
    read.all(222, 1);
    for (const int base : {223, 228, 233}) {
        read.bits(base, 0xFE);
        read.all(base + 1, 1);
        read.all(base + 4, 1);
    }
    read.all(904, 6);
    read.bits(256 + 4 * p, 0x01);
    read.all(257 + 4 * p, 3);
    read.bits(244, 0x07);
    read.all(245, 1);
    read.all(247, 1);
    read.all(512, 9 * 16);
    return read;
}

ConfigImage Relay3Image()
{
    ConfigImage image;
    image[0] = 0x80;
    image[1] = 0x04;
    image[4] = 5;
    image[5] = 3;
    return image;
}

PageDisplay Shown(void (*fill)(ConfigImage &), int p = 0)
{
    ConfigImage image;
    fill(image);
    return DisplayPage(image, p);
}
} // namespace

TEST(DisplayPage, ReadsNoOtherBits)
{
    ConfigImage base;
    for (int i = 0; i < ConfigImage::Size; ++i)
        base[i] = static_cast<std::uint8_t>(i * 53 + 7);
    for (int p = 0; p < 8; ++p) {
        const auto read = ReadBits(p);
        const PageDisplay reference = DisplayPage(base, p);
        for (int i = 0; i < ConfigImage::Size; ++i) {
            const auto unread = static_cast<std::uint8_t>(~read[i]);
            if (unread == 0)
                continue;
            ConfigImage changed = base;
            changed[i] ^= unread;
            EXPECT_EQ(DisplayPage(changed, p), reference) << "page " << p << " reads byte " << i;
        }
    }
}

TEST(DisplayPage, PerRelayBitsComeFromTheSelectedPage)
{
    const ConfigImage image = Relay3Image();
    const PageDisplay relay3 = DisplayPage(image, 2);
    EXPECT_EQ(relay3.inputs, (std::array<bool, 8>{true, false, true}));
    EXPECT_TRUE(relay3.andSelected);
    EXPECT_TRUE(relay3.timer1Active);
    EXPECT_FALSE(relay3.timer2Active || relay3.randomActive || relay3.secTimerActive);

    const PageDisplay relay1 = DisplayPage(image, 0);
    EXPECT_EQ(relay1.inputs,
              (std::array<bool, 8>{false, false, false, false, false, false, false, true}));
    EXPECT_FALSE(relay1.andSelected);
    EXPECT_TRUE(relay1.timer2Active);
    EXPECT_FALSE(relay1.timer1Active);
}

TEST(DisplayPage, ListConversions)
{
    const struct
    {
        const char *what;
        int offset;
        int byte;
        int (*field)(const PageDisplay &);
        int expected;
    } cases[] = {
        {"day 7 is Mo-Fr", 920, 7, [](const PageDisplay &d) { return d.day1Index; }, 7},
        {"day 9", 921, 9, [](const PageDisplay &d) { return d.day2Index; }, 9},
        {"day 10", 920, 10, [](const PageDisplay &d) { return d.day1Index; }, -1},
        {"day 255", 921, 255, [](const PageDisplay &d) { return d.day2Index; }, -1},
        {"tempo 0", 224, 0, [](const PageDisplay &d) { return d.programs[0].tempoIndex; }, -1},
        {"tempo 1", 224, 1, [](const PageDisplay &d) { return d.programs[0].tempoIndex; }, -1},
        {"tempo 2", 229, 2, [](const PageDisplay &d) { return d.programs[1].tempoIndex; }, 0},
        {"tempo 11", 234, 11, [](const PageDisplay &d) { return d.programs[2].tempoIndex; }, 9},
        {"tempo 12", 234, 12, [](const PageDisplay &d) { return d.programs[2].tempoIndex; }, -1},
        {"range index 5", 909, 5, [](const PageDisplay &d) { return d.programs[0].rangeIndex; }, 5},
        {"range index 6", 907, 6, [](const PageDisplay &d) { return d.programs[1].rangeIndex; },
         -1},
        {"range index program 3", 905, 2,
         [](const PageDisplay &d) { return d.programs[2].rangeIndex; }, 2},
        {"direction 2", 908, 2, [](const PageDisplay &d) { return d.programs[0].directionIndex; },
         2},
        {"direction 3", 906, 3, [](const PageDisplay &d) { return d.programs[1].directionIndex; },
         -1},
        {"direction program 3", 904, 1,
         [](const PageDisplay &d) { return d.programs[2].directionIndex; }, 1},
        {"sensor 3", 257, 3, [](const PageDisplay &d) { return d.sensorIndex; }, 3},
        {"sensor 4", 257, 4, [](const PageDisplay &d) { return d.sensorIndex; }, -1},
        {"0x93 sensor 1", 245, 0x93, [](const PageDisplay &d) { return d.offset1Index; }, 3},
        {"0x93 sensor 2", 245, 0x93, [](const PageDisplay &d) { return d.offset2Index; }, 9},
        {"0xA0 sensor 1", 245, 0xA0, [](const PageDisplay &d) { return d.offset1Index; }, 0},
        {"0xA0 sensor 2", 245, 0xA0, [](const PageDisplay &d) { return d.offset2Index; }, -1},
        {"0x0F sensor 1", 245, 0x0F, [](const PageDisplay &d) { return d.offset1Index; }, -1},
        {"minutes", 244, 0x02, [](const PageDisplay &d) { return d.counterUnitIndex; }, 1},
        {"seconds", 244, 0xFD, [](const PageDisplay &d) { return d.counterUnitIndex; }, 0},
        {"firmware AT", 244, 0x04, [](const PageDisplay &d) { return d.firmwareIndex; }, 1},
        {"firmware T", 244, 0xFB, [](const PageDisplay &d) { return d.firmwareIndex; }, 0},
        {"running-light view", 244, 0x01,
         [](const PageDisplay &d) { return int(d.runningLightView); }, 1},
        {"timer view", 244, 0xFE, [](const PageDisplay &d) { return int(d.runningLightView); }, 0},
    };
    for (const auto &c : cases) {
        ConfigImage image;
        image[c.offset] = static_cast<std::uint8_t>(c.byte);
        EXPECT_EQ(c.field(DisplayPage(image, 0)), c.expected) << c.what;
    }
}

TEST(DisplayPage, ProgramChoiceFollowsTheSquareRootTable)
{
    for (int byte = 0; byte < 256; ++byte) {
        int expected = -1;
        if (byte == 1)
            expected = 0;
        else if (byte >= 2 && byte <= 3)
            expected = 1;
        else if (byte >= 4 && byte <= 7)
            expected = 2;
        else if (byte >= 8 && byte <= 13)
            expected = 3;
        ConfigImage image;
        image[ProgramChoice] = static_cast<std::uint8_t>(byte);
        EXPECT_EQ(DisplayPage(image, 0).programIndex, expected) << byte;
    }
}

TEST(DisplayPage, NumberTexts)
{
    const struct
    {
        int byte;
        const char *number;
        const char *signedNumber;
    } cases[] = {{0, "0", "0"},        {20, "20", "20"},   {128, "128", "128"},
                 {129, "129", "-127"}, {251, "251", "-5"}, {255, "255", "-1"}};
    for (const auto &c : cases) {
        ConfigImage image;
        const auto b = static_cast<std::uint8_t>(c.byte);
        for (const int offset : {147, 148, 201, 237, 282, 283})
            image[offset] = b;
        const PageDisplay d = DisplayPage(image, 6);
        for (const QString &text :
             {d.onSecondsText, d.offSecondsText, d.counterText, d.programs[2].secondsText})
            EXPECT_EQ(text, QLatin1String(c.number)) << c.byte;
        EXPECT_EQ(d.pullInText, QLatin1String(c.signedNumber)) << c.byte;
        EXPECT_EQ(d.dropOutText, QLatin1String(c.signedNumber)) << c.byte;
    }
}

TEST(DisplayPage, TimesThatAreNoTimeOfDayShowMidnight)
{
    const struct
    {
        int h, m, s;
        TimeOfDay shown;
    } cases[] = {{7, 5, 0, {7, 5, 0}},      {0, 0, 0, {0, 0, 0}},   {23, 59, 59, {23, 59, 59}},
                 {24, 0, 0, {0, 0, 0}},     {12, 60, 0, {0, 0, 0}}, {12, 0, 60, {0, 0, 0}},
                 {255, 255, 255, {0, 0, 0}}};
    for (const auto &c : cases) {
        ConfigImage image;
        for (const int offset : {31, 34, 38, 41, 162, 165}) {
            image[offset] = static_cast<std::uint8_t>(c.h);
            image[offset + 1] = static_cast<std::uint8_t>(c.m);
            image[offset + 2] = static_cast<std::uint8_t>(c.s);
        }
        const PageDisplay d = DisplayPage(image, 1);
        for (const TimeOfDay &t :
             {d.timer1On, d.timer1Off, d.timer2On, d.timer2Off, d.randomStart, d.randomStop})
            EXPECT_EQ(t, c.shown) << c.h << ":" << c.m << ":" << c.s;
    }
}

TEST(DisplayPage, BitsOfTheRelayAndTheCard)
{
    const auto repeatAndKey = Shown([](ConfigImage &i) { i[128] = 0x06; });
    EXPECT_TRUE(repeatAndKey.key);
    EXPECT_FALSE(repeatAndKey.repeat);
    const auto repeatOnly = Shown([](ConfigImage &i) { i[128] = 0x03; });
    EXPECT_TRUE(repeatOnly.repeat);
    EXPECT_FALSE(repeatOnly.key);

    const auto counterOff = Shown([](ConfigImage &i) {
        i[152] = 0x01;
        i[153] = 45;
    });
    EXPECT_FALSE(counterOff.counterInUse);
    EXPECT_EQ(counterOff.counterText, QStringLiteral("45"));

    const auto pushButtonAnd = Shown([](ConfigImage &i) {
        i[246] = 0x01;
        i[1] = 0x01;
    });
    EXPECT_TRUE(pushButtonAnd.pushButton);
    EXPECT_TRUE(pushButtonAnd.andSelected);

    const auto channels = Shown([](ConfigImage &i) {
        i[223] = 0x80;
        i[228] = 0xFF;
        i[233] = 0x01;
    });
    EXPECT_EQ(channels.programs[0].channels,
              (std::array<bool, 7>{false, false, false, false, false, false, true}));
    EXPECT_EQ(channels.programs[1].channels, (std::array<bool, 7>{1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(channels.programs[2].channels, (std::array<bool, 7>{}));

    const auto powerUp = Shown([](ConfigImage &i) {
        i[247] = 0x81;
        i[256] = 0x01;
    });
    EXPECT_EQ(powerUp.powerUp, (std::array<bool, 8>{1, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_TRUE(powerUp.tempActive);
}

TEST(DisplayPage, NameSlots)
{
    ConfigImage image;
    const char *sixteen = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i)
        image[512 + i] = static_cast<std::uint8_t>(sixteen[i]);
    image[528] = 'L';
    image[529] = 0xFC; // ü
    image[530] = 'f';
    image[531] = 0; // ends the text even with bytes behind it
    image[532] = 'x';
    image[544] = 0x80; // €
    image[545] = 0x81; // undefined in the set: the control character of that number
    image[546] = 0x9F; // Ÿ
    const PageDisplay d = DisplayPage(image, 0);
    EXPECT_EQ(d.relayLabels[0], QLatin1String(sixteen));
    EXPECT_EQ(d.relayLabels[1], QStringLiteral("Lüf"));
    EXPECT_EQ(d.relayLabels[2], QStringLiteral("€\u0081Ÿ"));
    EXPECT_EQ(d.relayLabels[3], QString());
    EXPECT_EQ(d.cardName, QStringLiteral("Relaiskarte"));

    image[640] = 'K';
    EXPECT_EQ(DisplayPage(image, 0).cardName, QStringLiteral("K"));
}

TEST(PageRoundTrip, CaptureThenDisplayGivesTheControlsBack)
{
    EditorState s;
    s.inputs = {true, false, false, true, false, false, false, true};
    s.andSelected = false;
    s.timer1Active = s.randomActive = s.secTimerActive = s.tempActive = s.pushButton = true;
    s.counterInUse = true;
    s.key = true;
    s.day1Index = 9;
    s.day2Index = 3;
    s.timer1On = {5, 4, 3};
    s.randomStop = {23, 0, 59};
    s.counterText = QStringLiteral("60");
    s.onSecondsText = QStringLiteral("255");
    s.sensorIndex = 3;
    s.pullInText = QStringLiteral("-40");
    s.dropOutText = QStringLiteral("-128");
    s.programIndex = 3;
    s.programs[1].channels = {false, true, false, true, false, true, false};
    s.programs[1].tempoIndex = 0;
    s.programs[1].rangeIndex = 5;
    s.programs[1].directionIndex = 0;
    s.programs[1].secondsText = QStringLiteral("17");
    s.powerUp = {false, true, true};
    s.counterUnitIndex = 1;
    s.firmwareIndex = 1;
    s.offset1Index = 9;
    s.offset2Index = 2;
    s.relayLabels[7] = QStringLiteral("Wärme € 16 Zeich");
    s.cardName = QStringLiteral("Halle 3");

    ConfigImage image;
    CapturePage(image, 6, s);
    const PageDisplay d = DisplayPage(image, 6);
    EXPECT_EQ(d.inputs, s.inputs);
    EXPECT_EQ(d.andSelected, s.andSelected);
    EXPECT_TRUE(d.timer1Active && d.randomActive && d.secTimerActive && d.tempActive &&
                d.pushButton && d.counterInUse && d.key);
    EXPECT_FALSE(d.timer2Active || d.repeat);
    EXPECT_EQ(d.day1Index, 9);
    EXPECT_EQ(d.day2Index, 3);
    EXPECT_EQ(d.timer1On, s.timer1On);
    EXPECT_EQ(d.timer2Off, s.timer2Off);
    EXPECT_EQ(d.randomStop, s.randomStop);
    EXPECT_EQ(d.counterText, QStringLiteral("60"));
    EXPECT_EQ(d.onSecondsText, QStringLiteral("255"));
    EXPECT_EQ(d.sensorIndex, 3);
    EXPECT_EQ(d.pullInText, QStringLiteral("-40"));
    EXPECT_EQ(d.dropOutText, QStringLiteral("128"));
    EXPECT_EQ(d.programIndex, 3);
    EXPECT_EQ(d.programs[1].channels, s.programs[1].channels);
    EXPECT_EQ(d.programs[1].tempoIndex, 0);
    EXPECT_EQ(d.programs[1].rangeIndex, 5);
    EXPECT_EQ(d.programs[1].directionIndex, 0);
    EXPECT_EQ(d.programs[1].secondsText, QStringLiteral("17"));
    EXPECT_EQ(d.programs[0].tempoIndex, s.programs[0].tempoIndex);
    EXPECT_EQ(d.powerUp, s.powerUp);
    EXPECT_EQ(d.counterUnitIndex, 1);
    EXPECT_EQ(d.firmwareIndex, 1);
    EXPECT_EQ(d.offset1Index, 9);
    EXPECT_EQ(d.offset2Index, 2);
    EXPECT_EQ(d.relayLabels[7], s.relayLabels[7]);
    EXPECT_EQ(d.cardName, s.cardName);
}

TEST(PageRoundTrip, DisplayThenCaptureKeepsTheImage)
{
    // An image as the capture leaves it: showing it and capturing the shown controls again
    // must not move a single byte.
    EditorState s;
    s.inputs[2] = true;
    s.timer2Active = true;
    s.day2Index = 8;
    s.repeat = true;
    s.programIndex = 1;
    s.sensorIndex = 0;
    s.pullInText = QStringLiteral("-5");
    s.offset1Index = 1;
    s.relayLabels = {QStringLiteral("A"), QStringLiteral("B")};
    s.cardName = QStringLiteral("C");
    ConfigImage image;
    image.fill(0x11);
    CapturePage(image, 3, s);
    const ConfigImage captured = image;

    const PageDisplay d = DisplayPage(image, 3);
    EditorState shown;
    shown.inputs = d.inputs;
    shown.andSelected = d.andSelected;
    shown.timer1Active = d.timer1Active;
    shown.timer2Active = d.timer2Active;
    shown.randomActive = d.randomActive;
    shown.secTimerActive = d.secTimerActive;
    shown.counterInUse = d.counterInUse;
    shown.repeat = d.repeat;
    shown.key = d.key;
    shown.tempActive = d.tempActive;
    shown.pushButton = d.pushButton;
    shown.day1Index = d.day1Index;
    shown.day2Index = d.day2Index;
    shown.timer1On = d.timer1On;
    shown.timer1Off = d.timer1Off;
    shown.timer2On = d.timer2On;
    shown.timer2Off = d.timer2Off;
    shown.randomStart = d.randomStart;
    shown.randomStop = d.randomStop;
    shown.counterText = d.counterText;
    shown.onSecondsText = d.onSecondsText;
    shown.offSecondsText = d.offSecondsText;
    shown.sensorIndex = d.sensorIndex;
    shown.pullInText = d.pullInText;
    shown.dropOutText = d.dropOutText;
    shown.programIndex = d.programIndex;
    for (std::size_t n = 0; n < 3; ++n) {
        shown.programs[n].channels = d.programs[n].channels;
        shown.programs[n].tempoIndex = d.programs[n].tempoIndex;
        shown.programs[n].rangeIndex = d.programs[n].rangeIndex;
        shown.programs[n].directionIndex = d.programs[n].directionIndex;
        shown.programs[n].secondsText = d.programs[n].secondsText;
    }
    shown.powerUp = d.powerUp;
    shown.counterUnitIndex = d.counterUnitIndex;
    shown.firmwareIndex = d.firmwareIndex;
    shown.offset1Index = d.offset1Index;
    shown.offset2Index = d.offset2Index;
    shown.relayLabels = d.relayLabels;
    shown.cardName = d.cardName;
    CapturePage(image, 3, shown);
    EXPECT_EQ(image, captured);
}
