#include "pagecodec.h"
#include "windows1252.h"

namespace {
using namespace ImageOffset;

// "index" conversion: a byte that names no entry of a list of `count` entries selects none.
int ListIndex(int value, int count)
{
    return value >= 0 && value < count ? value : -1;
}

QString NumberText(std::uint8_t byte)
{
    return QString::number(byte);
}

// Thresholds read 0..128 as themselves, so a typed -128 (stored 0x80) comes back as +128.
QString SignedNumberText(std::uint8_t byte)
{
    return QString::number(byte <= 128 ? int(byte) : int(byte) - 256);
}

TimeOfDay TimeAt(const ConfigImage &image, int offset)
{
    return JoinTime(image[offset], image[offset + 1], image[offset + 2]);
}

// The program list comes back as the whole number nearest to sqrt(byte - 1). Done on integers:
// r is nearest to sqrt(x) exactly when (2r - 1)^2 <= 4x < (2r + 1)^2.
int ProgramIndex(std::uint8_t byte)
{
    constexpr int Entries = 4; // "Prog 1", "Prog 2", "Prog 3", "schaltbar"
    if (byte == 0)
        return -1; // what an empty list stores; the root of -1 names nothing
    const int fourX = 4 * (byte - 1);
    for (int r = 0; r < Entries; ++r) {
        if (fourX < (2 * r + 1) * (2 * r + 1))
            return r;
    }
    return -1;
}

RunningLightProgramDisplay ProgramAt(const ConfigImage &image, int n, int rangeIndexOffset,
                                     int directionIndexOffset)
{
    const int base = ImageOffset::program(n);
    RunningLightProgramDisplay program;
    for (int k = 1; k <= 7; ++k)
        program.channels[static_cast<std::size_t>(k - 1)] = TestImageBit(image, base, k);
    program.tempoIndex = ListIndex(image[base + 1] - 2, 10);
    program.rangeIndex = ListIndex(image[rangeIndexOffset], 6);
    program.directionIndex = ListIndex(image[directionIndexOffset], 3);
    program.secondsText = NumberText(image[base + 4]);
    return program;
}
} // namespace

bool IsTimeOfDay(std::uint8_t hour, std::uint8_t minute, std::uint8_t second)
{
    return hour <= 23 && minute <= 59 && second <= 59;
}

TimeOfDay JoinTime(std::uint8_t hour, std::uint8_t minute, std::uint8_t second)
{
    if (!IsTimeOfDay(hour, minute, second))
        return {};
    return {hour, minute, second};
}

QString ReadNameSlot(const ConfigImage &image, int slot)
{
    const int base = nameSlot(slot);
    QString text;
    for (int i = 0; i < NameSlotSize && image[base + i] != 0; ++i) {
        const char32_t c = FromWindows1252(image[base + i]);
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

PageDisplay DisplayPage(const ConfigImage &image, int p)
{
    PageDisplay d;
    d.pushButton = TestImageBit(image, PushButtons, p);
    for (int k = 0; k < 8; ++k)
        d.inputs[static_cast<std::size_t>(k)] = TestImageBit(image, logicInputs(p), k);
    const int m = mode(p);
    d.andSelected = TestImageBit(image, m, 0);
    d.timer1Active = TestImageBit(image, m, 1);
    d.timer2Active = TestImageBit(image, m, 2);
    d.randomActive = TestImageBit(image, m, 3);
    d.secTimerActive = TestImageBit(image, m, 4);
    d.counterInUse = TestImageBit(image, random(p), 1);

    d.day1Index = ListIndex(image[day1Index(p)], 10);
    d.timer1On = TimeAt(image, timer(p) + 1);
    d.timer1Off = TimeAt(image, timer(p) + 4);
    d.day2Index = ListIndex(image[day2Index(p)], 10);
    d.timer2On = TimeAt(image, timer(p) + 8);
    d.timer2Off = TimeAt(image, timer(p) + 11);

    // "repeat" and "key" exclude each other and "key" is shown last, so it wins when a file
    // has both bits set.
    d.key = TestImageBit(image, secTimer(p), 2);
    d.repeat = TestImageBit(image, secTimer(p), 1) && !d.key;
    d.onSecondsText = NumberText(image[secTimer(p) + 1]);
    d.offSecondsText = NumberText(image[secTimer(p) + 2]);
    d.counterText = NumberText(image[random(p) + 1]);
    d.randomStart = TimeAt(image, random(p) + 2);
    d.randomStop = TimeAt(image, random(p) + 5);

    d.programIndex = ProgramIndex(image[ProgramChoice]);
    d.programs[0] = ProgramAt(image, 0, 909, 908);
    d.programs[1] = ProgramAt(image, 1, 907, 906);
    d.programs[2] = ProgramAt(image, 2, 905, 904);

    d.tempActive = TestImageBit(image, temperature(p), 0);
    d.sensorIndex = ListIndex(image[temperature(p) + 1], 4);
    d.humidityUnit = d.sensorIndex == 3;
    d.pullInText = SignedNumberText(image[temperature(p) + 2]);
    d.dropOutText = SignedNumberText(image[temperature(p) + 3]);

    d.runningLightView = TestImageBit(image, GlobalFlags, 0);
    d.counterUnitIndex = TestImageBit(image, GlobalFlags, 1) ? 1 : 0;
    d.firmwareIndex = TestImageBit(image, GlobalFlags, 2) ? 1 : 0;
    d.offset1Index = ListIndex(image[SensorOffsets] & 0x0F, 10);
    d.offset2Index = ListIndex(image[SensorOffsets] >> 4, 10);

    for (int i = 0; i < 8; ++i)
        d.relayLabels[static_cast<std::size_t>(i)] = ReadNameSlot(image, i);
    d.cardName = ReadNameSlot(image, 8);
    if (d.cardName.isEmpty())
        d.cardName = QStringLiteral("Relaiskarte");

    for (int k = 0; k < 8; ++k)
        d.powerUp[static_cast<std::size_t>(k)] = TestImageBit(image, PowerUp, k);
    return d;
}
