#include "config/pagecodec.h"
#include "tests/support/imagebits.h"
#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace {
using namespace ImageOffset;

// A state where every control holds something other than its default, so a byte the
// capture forgets shows up as the pattern underneath.
EditorState BusyState()
{
    EditorState s;
    s.inputs = {true, false, true, true, false, false, true, false};
    s.andSelected = false;
    s.timer1Active = true;
    s.randomActive = true;
    s.counterInUse = true;
    s.repeat = true;
    s.tempActive = true;
    s.pushButton = true;
    s.day1Index = 7;
    s.day2Index = 8;
    s.timer1On = {6, 30, 0};
    s.timer1Off = {22, 15, 45};
    s.timer2On = {1, 2, 3};
    s.timer2Off = {4, 5, 6};
    s.randomStart = {18, 0, 1};
    s.randomStop = {23, 59, 58};
    s.counterText = QStringLiteral("42");
    s.onSecondsText = QStringLiteral("7");
    s.offSecondsText = QStringLiteral("200");
    s.sensorIndex = 1;
    s.pullInText = QStringLiteral("-5");
    s.dropOutText = QStringLiteral("30");
    s.programIndex = 2;
    s.programs[0].channels = {true, false, true, false, true, false, true};
    s.programs[1].tempoIndex = 9;
    s.programs[2].rangeIndex = 5;
    s.powerUp = {true, false, false, true, false, false, false, true};
    s.counterUnitIndex = 1;
    s.firmwareIndex = 1;
    s.offset1Index = 4;
    s.offset2Index = 7;
    s.relayLabels = {QStringLiteral("Pumpe"), QString(), QStringLiteral("Licht")};
    s.cardName = QStringLiteral("Keller");
    return s;
}

struct CaptureCase
{
    const char *what;
    void (*change)(EditorState &);
    int offset;
    int value;
};

// Captures page p of an "OR" state changed by each case into a zero image whose key byte
// holds the opposite of what the capture has to write for the relay.
template <std::size_t N> void ExpectCaptures(int p, const CaptureCase (&cases)[N])
{
    for (const auto &c : cases) {
        EditorState s;
        s.andSelected = false;
        c.change(s);
        ConfigImage image;
        image[KeyBits] = s.key ? 0xFF : static_cast<std::uint8_t>(~(1u << p));
        CapturePage(image, p, s);
        EXPECT_EQ(image[c.offset], c.value) << c.what;
    }
}

ConfigImage Pattern(std::uint8_t seed)
{
    ConfigImage image;
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 37 + seed);
    image[GlobalFlags] &= 0xFE; // the view bit decides byte 247; keep it equal in both runs
    return image;
}
} // namespace

TEST(CapturePage, WritesExactlyItsOwnBitsOnEveryPage)
{
    const EditorState state = BusyState();
    for (int p = 0; p < 8; ++p) {
        const auto owned = OwnedBits(p);
        const ConfigImage before1 = Pattern(11), before2 = Pattern(0xA5);
        ConfigImage after1 = before1, after2 = before2;
        CapturePage(after1, p, state);
        CapturePage(after2, p, state);
        for (int i = 0; i < ConfigImage::Size; ++i) {
            const auto mask = owned[i];
            EXPECT_EQ(after1[i] & ~mask & 0xFF, before1[i] & ~mask & 0xFF)
                << "page " << p << " wrote foreign bits of byte " << i;
            EXPECT_EQ(after2[i] & ~mask & 0xFF, before2[i] & ~mask & 0xFF)
                << "page " << p << " wrote foreign bits of byte " << i;
            EXPECT_EQ(after1[i] & mask, after2[i] & mask)
                << "page " << p << " left owned bits of byte " << i << " to chance";
        }
    }
}

TEST(CapturePage, RelayEightTouchesTheLastRecords)
{
    ConfigImage image;
    image.fill(0x5A);
    CapturePage(image, 7, BusyState());
    const int written[] = {14,  15,  114, 127, 150, 151, 208, 215,
                           284, 287, 934, 935, 222, 245, 247, 512};
    for (const int offset : written)
        EXPECT_NE(image[offset], 0x5A) << offset;
    for (const int offset : {12, 13, 112, 113, 146, 148, 200, 207, 283, 932, 933})
        EXPECT_EQ(image[offset], 0x5A) << offset;
    EXPECT_TRUE(TestImageBit(image, PushButtons, 7));
    EXPECT_EQ(image[PushButtons] & 0x7F, 0x5A);
}

TEST(CapturePage, ModeAndKeyBits)
{
    const CaptureCase cases[] = {
        {"key on relay 3: mode bit 5", [](EditorState &s) { s.key = true; }, 5, 0x20},
        {"key on relay 3: sec-timer bit 2", [](EditorState &s) { s.key = true; }, 134, 0x04},
        {"key on relay 3: key byte bit 2 cleared", [](EditorState &s) { s.key = true; }, 248, 0xFB},
        {"no key: key byte bit 2 set", [](EditorState &) {}, 248, 0xFF},
        {"AND", [](EditorState &s) { s.andSelected = true; }, 5, 0x01},
        {"OR", [](EditorState &s) { s.andSelected = false; }, 5, 0x00},
        {"inputs K1 and K8", [](EditorState &s) { s.inputs[0] = s.inputs[7] = true; }, 4, 0x81},
        {"Timer 1 active Mo-Fr",
         [](EditorState &s) {
             s.timer1Active = true;
             s.day1Index = 7;
         },
         44, 190},
        {"Timer 1 inactive Mo-Fr", [](EditorState &s) { s.day1Index = 7; }, 44, 62},
        {"Timer 1 list index", [](EditorState &s) { s.day1Index = 7; }, 924, 7},
        {"Timer 2 active Sa-So",
         [](EditorState &s) {
             s.timer2Active = true;
             s.day2Index = 8;
         },
         51, 0xC1},
        {"Timer 2 without selection", [](EditorState &s) { s.day2Index = -1; }, 925, 255},
        {"Timer 2 without selection, active",
         [](EditorState &s) {
             s.day2Index = -1;
             s.timer2Active = true;
         },
         51, 0x80},
        {"random with counter",
         [](EditorState &s) {
             s.randomActive = true;
             s.counterInUse = true;
         },
         168, 0x03},
        {"random active sets mode bit 3", [](EditorState &s) { s.randomActive = true; }, 5, 0x08},
        {"sec timer repeat", [](EditorState &s) { s.repeat = true; }, 134, 0x02},
        {"sec timer active",
         [](EditorState &s) {
             s.secTimerActive = true;
             s.andSelected = true;
         },
         5, 0x11},
        {"push-button relay 3", [](EditorState &s) { s.pushButton = true; }, 246, 0x04},
        {"temperature active", [](EditorState &s) { s.tempActive = true; }, 264, 0x01},
        {"sensor without selection", [](EditorState &s) { s.sensorIndex = -1; }, 265, 255},
    };
    ExpectCaptures(2, cases);
}

TEST(CapturePage, RunningLightEncodings)
{
    const CaptureCase cases[] = {
        {"program 1", [](EditorState &s) { s.programIndex = 0; }, 222, 1},
        {"schaltbar", [](EditorState &s) { s.programIndex = 3; }, 222, 8},
        {"no program", [](EditorState &s) { s.programIndex = -1; }, 222, 0},
        {"channels none", [](EditorState &) {}, 223, 1},
        {"channels all", [](EditorState &s) { s.programs[0].channels.fill(true); }, 223, 255},
        {"channel L 8 of program 3", [](EditorState &s) { s.programs[2].channels[6] = true; }, 233,
         0x81},
        {"tempo 1", [](EditorState &s) { s.programs[0].tempoIndex = 0; }, 224, 2},
        {"tempo 10", [](EditorState &s) { s.programs[1].tempoIndex = 9; }, 229, 11},
        {"tempo without selection", [](EditorState &s) { s.programs[2].tempoIndex = -1; }, 234, 1},
        {"range 1 - 3", [](EditorState &s) { s.programs[0].rangeIndex = 0; }, 225, 4},
        {"range 1 - 8", [](EditorState &s) { s.programs[0].rangeIndex = 5; }, 225, 128},
        {"range 1 - 8 index", [](EditorState &s) { s.programs[0].rangeIndex = 5; }, 909, 5},
        {"range index program 2", [](EditorState &s) { s.programs[1].rangeIndex = 3; }, 907, 3},
        {"range index program 3", [](EditorState &s) { s.programs[2].rangeIndex = 4; }, 905, 4},
        {"range program 3", [](EditorState &s) { s.programs[2].rangeIndex = 4; }, 235, 64},
        {"range without selection", [](EditorState &s) { s.programs[0].rangeIndex = -1; }, 909,
         255},
        {"direction links", [](EditorState &s) { s.programs[1].directionIndex = 0; }, 231, 1},
        {"direction < - >", [](EditorState &s) { s.programs[2].directionIndex = 2; }, 236, 4},
        {"direction index program 3", [](EditorState &s) { s.programs[2].directionIndex = 1; }, 904,
         1},
        {"direction index program 1", [](EditorState &s) { s.programs[0].directionIndex = 1; }, 908,
         1},
        {"direction without selection", [](EditorState &s) { s.programs[2].directionIndex = -1; },
         236, 0},
        {"seconds", [](EditorState &s) { s.programs[1].secondsText = QStringLiteral("255"); }, 232,
         255},
        {"seconds hex", [](EditorState &s) { s.programs[2].secondsText = QStringLiteral("$10"); },
         237, 16},
    };
    ExpectCaptures(0, cases);
}

TEST(CapturePage, NumberFieldsTakeTheLowByteOfTheNumberRule)
{
    const struct
    {
        const char16_t *text;
        int value;
    } cases[] = {{u"300", 44}, {u"-5", 251}, {u"-128", 128}, {u"12a", 12}, {u"-12a", 12},
                 {u"abc", 0},  {u"", 0},     {u"$FF", 255},  {u" 7", 7},   {u"256", 0}};
    for (const auto &c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EditorState s;
        s.pullInText = s.dropOutText = s.onSecondsText = s.offSecondsText = s.counterText = text;
        ConfigImage image;
        CapturePage(image, 4, s);
        for (const int offset : {274, 275, 141, 142, 185})
            EXPECT_EQ(image[offset], c.value) << text.toStdString() << " at " << offset;
    }
}

TEST(CapturePage, TimesAndGlobals)
{
    EditorState s;
    s.timer1On = {23, 59, 58};
    s.timer1Off = {0, 0, 0};
    s.timer2On = {7, 5, 9};
    s.randomStart = {12, 0, 30};
    s.randomStop = {24, 0, 0}; // no time of day
    s.offset1Index = 9;
    s.offset2Index = 9;
    ConfigImage image;
    CapturePage(image, 1, s);
    const int expected[][2] = {{31, 23}, {32, 59}, {33, 58}, {34, 0},   {35, 0},  {36, 0},
                               {38, 7},  {39, 5},  {40, 9},  {162, 12}, {163, 0}, {164, 30},
                               {165, 0}, {166, 0}, {167, 0}, {245, 153}};
    for (const auto &e : expected)
        EXPECT_EQ(image[e[0]], e[1]) << e[0];

    s.offset1Index = 3;
    s.offset2Index = 0;
    s.counterUnitIndex = 1;
    s.firmwareIndex = 0;
    image[244] = 0xF9; // view bit and unused bits must survive
    CapturePage(image, 1, s);
    EXPECT_EQ(image[245], 3);
    EXPECT_EQ(image[244], 0xFB);
    s.counterUnitIndex = -1;
    s.firmwareIndex = 1;
    CapturePage(image, 1, s);
    EXPECT_EQ(image[244], 0xFD);
}

TEST(CapturePage, PowerUpByteIsZeroInRunningLightMode)
{
    EditorState s;
    s.powerUp = {true, true, false, false, false, false, false, true};
    ConfigImage image;
    image[GlobalFlags] = 0x01;
    CapturePage(image, 0, s);
    EXPECT_EQ(image[PowerUp], 0);
    image[GlobalFlags] = 0x00;
    CapturePage(image, 0, s);
    EXPECT_EQ(image[PowerUp], 0x83);
}

TEST(CapturePage, ReturnsTheTextsItRefreshes)
{
    EditorState s;
    s.inputs[0] = s.inputs[1] = true;
    s.andSelected = true;
    s.sensorIndex = 3;
    s.relayLabels[3] = QStringLiteral("Lüfter");
    s.cardName = QStringLiteral("Garage");
    ConfigImage image;
    CapturePage(image, 0, s); // relay 1 gets K1, K2 and AND
    s.sensorIndex = 0;
    const CaptureTexts texts = CapturePage(image, 4, s);
    EXPECT_EQ(texts.diagnosticLabel, QStringLiteral("3   1"));
    EXPECT_EQ(texts.unitLabel, QStringLiteral("°C"));
    EXPECT_EQ(texts.tabCaptions[3], QStringLiteral("Lüfter"));
    EXPECT_EQ(texts.tabCaptions[0], QString());
    EXPECT_EQ(texts.cardStatusText, QStringLiteral(" Relaiskarte : Garage"));

    s.sensorIndex = 3;
    s.cardName.clear();
    const CaptureTexts humid = CapturePage(image, 4, s);
    EXPECT_EQ(humid.unitLabel, QStringLiteral("%rLF"));
    EXPECT_EQ(humid.cardStatusText, QStringLiteral(" Relaiskarte : "));
    for (int i = 640; i < 656; ++i)
        EXPECT_EQ(image[i], 0) << i;
}

TEST(CapturePage, RunningTwiceGivesTheSameImage)
{
    ConfigImage image;
    image.fill(0x33);
    CapturePage(image, 5, BusyState());
    const ConfigImage once = image;
    CapturePage(image, 5, BusyState());
    EXPECT_EQ(image, once);
}

TEST(NameSlot, Windows1252AndSlotBounds)
{
    using namespace std::string_literals;
    const struct
    {
        std::u16string text;
        std::array<int, 16> bytes;
    } cases[] = {
        {u""s, {}},
        {u"abc"s, {'a', 'b', 'c'}},
        {u"0123456789ABCDEF",
         {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'}},
        {u"0123456789ABCDEFG",
         {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'}},
        {u"äöüß"s, {0xE4, 0xF6, 0xFC, 0xDF}},
        {u"€ 5"s, {0x80, ' ', '5'}},
        {u"„Ž“–…"s, {0x84, 0x8E, 0x93, 0x96, 0x85}},
        {u"Łódź"s, {'?', 0xF3, 'd', '?'}},
        {u"\u0081\u008D\u008F\u0090\u009D\u00A0\u00FF"s,
         {0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xA0, 0xFF}},
        {u"\u0080\u009F\uFFFD"s, {'?', '?', '?'}}, // C1 controls that the set has no place for
        {u"a\U0001F600b"s, {'a', '?', 'b'}},       // one character, one byte
        {u"a\u0000b"s, {'a', '?', 'b'}},
    };
    for (const auto &c : cases) {
        const QString text = QString::fromStdU16String(c.text);
        ConfigImage image;
        image.fill(0xEE);
        WriteNameSlot(image, 2, text);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(image[544 + i], c.bytes[static_cast<std::size_t>(i)])
                << text.toStdString() << " byte " << i;
        EXPECT_EQ(image[543], 0xEE);
        EXPECT_EQ(image[560], 0xEE);
    }
}

// Every byte value but the terminating 0 comes back from a name slot unchanged: read as
// text for the controls and written back by the next capture.
TEST(NameSlot, EveryByteValueSurvivesReadAndWrite)
{
    for (int first = 1; first < 256; first += 16) {
        ConfigImage image;
        for (int i = 0; i < 16; ++i)
            image[544 + i] = static_cast<std::uint8_t>(std::min(255, first + i));
        const ConfigImage before = image;
        const QString text = ReadNameSlot(image, 2);
        ASSERT_EQ(text.size(), 16) << "bytes from " << first;
        WriteNameSlot(image, 2, text);
        EXPECT_EQ(image, before) << "bytes from " << first;
    }
}

TEST(NameSlot, ShorterNameLeavesNoTraceOfTheLonger)
{
    ConfigImage image;
    WriteNameSlot(image, 8, QStringLiteral("Relaiskarte Ost1"));
    EXPECT_EQ(image[655], '1');
    WriteNameSlot(image, 8, QStringLiteral("Süd"));
    const std::uint8_t expected[16] = {'S', 0xFC, 'd'};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(image[640 + i], expected[i]) << i;
    EXPECT_EQ(ReadNameSlot(image, 8), QStringLiteral("Süd"));
}

TEST(SplitTime, ClockTimesAndNonTimes)
{
    const struct
    {
        TimeOfDay in, out;
    } cases[] = {{{23, 59, 58}, {23, 59, 58}}, {{0, 0, 0}, {0, 0, 0}},   {{7, 5, 9}, {7, 5, 9}},
                 {{24, 0, 0}, {0, 0, 0}},      {{12, 60, 0}, {0, 0, 0}}, {{-1, 0, 0}, {0, 0, 0}},
                 {{100, 5, 9}, {0, 0, 0}}};
    for (const auto &c : cases)
        EXPECT_EQ(SplitTime(c.in), c.out) << c.in.hour << ":" << c.in.minute << ":" << c.in.second;
}
