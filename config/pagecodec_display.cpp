#include "config/pagecodec.h"
#include "config/windows1252.h"

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

QString SignedNumberText(std::uint8_t byte)
{
    return QString::number(SignedByte(byte));
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

RunningLightProgramDisplay ProgramAt(const ConfigImage &image, int n)
{
    const int base = ImageOffset::program(n);
    RunningLightProgramDisplay program;
    for (int k = 1; k <= 7; ++k)
        program.channels[static_cast<std::size_t>(k - 1)] = TestImageBit(image, base, k);
    program.tempoIndex = ListIndex(image[programTempo(n)] - 2, 10);
    program.rangeIndex = ListIndex(image[rangeIndex(n)], 6);
    program.directionIndex = ListIndex(image[directionIndex(n)], 3);
    program.secondsText = NumberText(image[programChange(n)]);
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
    d.andSelected = TestImageBit(image, m, ModeBit::And);
    d.timer1Active = TestImageBit(image, m, ModeBit::Timer1);
    d.timer2Active = TestImageBit(image, m, ModeBit::Timer2);
    d.randomActive = TestImageBit(image, m, ModeBit::Random);
    d.secTimerActive = TestImageBit(image, m, ModeBit::SecTimer);
    d.counterInUse = TestImageBit(image, random(p), 1);

    d.day1Index = ListIndex(image[day1Index(p)], 10);
    d.timer1On = TimeAt(image, timerOn(p, 0));
    d.timer1Off = TimeAt(image, timerOff(p, 0));
    d.day2Index = ListIndex(image[day2Index(p)], 10);
    d.timer2On = TimeAt(image, timerOn(p, 1));
    d.timer2Off = TimeAt(image, timerOff(p, 1));

    // "repeat" and "key" exclude each other and "key" is shown last, so it wins when a file
    // has both bits set.
    d.key = TestImageBit(image, secTimer(p), 2);
    d.repeat = TestImageBit(image, secTimer(p), 1) && !d.key;
    d.onSecondsText = NumberText(image[secOnAt(p)]);
    d.offSecondsText = NumberText(image[secOffAt(p)]);
    d.counterText = NumberText(image[randomCounter(p)]);
    d.randomStart = TimeAt(image, randomStart(p));
    d.randomStop = TimeAt(image, randomStop(p));

    d.programIndex = ProgramIndex(image[ProgramChoice]);
    for (int n = 0; n < 3; ++n)
        d.programs[static_cast<std::size_t>(n)] = ProgramAt(image, n);

    d.tempActive = TestImageBit(image, temperature(p), 0);
    d.sensorIndex = ListIndex(image[tempSensor(p)], 4);
    d.pullInText = SignedNumberText(image[tempPullIn(p)]);
    d.dropOutText = SignedNumberText(image[tempDropOut(p)]);

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
