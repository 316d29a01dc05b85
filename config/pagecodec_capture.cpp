#include "numberrule.h"
#include "pagecodec.h"
#include "windows1252.h"

#include <QList>

namespace {
using namespace ImageOffset;

std::uint8_t NumberByte(const QString &text)
{
    return LowByte(ParseNumber(text));
}

void WriteTime(ConfigImage &image, int offset, const TimeOfDay &time)
{
    const TimeOfDay t = SplitTime(time);
    image[offset] = LowByte(t.hour);
    image[offset + 1] = LowByte(t.minute);
    image[offset + 2] = LowByte(t.second);
}

void WriteTimer(ConfigImage &image, int dayIndexOffset, int dayOffset, int dayIndex, bool active,
                const TimeOfDay &on, const TimeOfDay &off)
{
    image[dayIndexOffset] = LowByte(dayIndex);
    image[dayOffset] = DayMask(LowByte(dayIndex));
    // The card only looks at the day byte, so it carries the timer's "aktiv" bit as well.
    if (active)
        SetImageBit(image, dayOffset, 7);
    WriteTime(image, dayOffset + 1, on);
    WriteTime(image, dayOffset + 4, off);
}

void WriteProgram(ConfigImage &image, int n, int rangeIndexOffset, int directionIndexOffset,
                  const RunningLightProgramState &program)
{
    const int base = ImageOffset::program(n);
    image[base] = 1; // channel "L 1" is always part of the pattern
    for (int k = 1; k <= 7; ++k) {
        if (program.channels[static_cast<std::size_t>(k - 1)])
            SetImageBit(image, base, k);
    }
    image[base + 1] = LowByte(program.tempoIndex + 2);
    image[rangeIndexOffset] = LowByte(program.rangeIndex);
    image[base + 2] = OneHot(program.rangeIndex, 2);
    image[directionIndexOffset] = LowByte(program.directionIndex);
    image[base + 3] = OneHot(program.directionIndex);
    image[base + 4] = NumberByte(program.secondsText);
}
} // namespace

TimeOfDay SplitTime(const TimeOfDay &time)
{
    // A picker always holds a time of day; anything else is taken as midnight rather than
    // letting a three-digit field shift the hh:mm:ss columns.
    const auto within = [](int value, int max) { return value >= 0 && value <= max; };
    if (!within(time.hour, 23) || !within(time.minute, 59) || !within(time.second, 59))
        return {};
    // Goes through the hh:mm:ss text like every other time the program reads, so picker
    // values and clock text share one conversion.
    const QString text = QStringLiteral("%1:%2:%3")
                             .arg(time.hour, 2, 10, QLatin1Char('0'))
                             .arg(time.minute, 2, 10, QLatin1Char('0'))
                             .arg(time.second, 2, 10, QLatin1Char('0'));
    const QStringView view(text);
    return {static_cast<int>(ParseNumber(view.mid(0, 2))),
            static_cast<int>(ParseNumber(view.mid(3, 2))),
            static_cast<int>(ParseNumber(view.mid(6, 2)))};
}

void WriteNameSlot(ConfigImage &image, int slot, const QString &text)
{
    const int base = nameSlot(slot);
    for (int i = 0; i < NameSlotSize; ++i)
        image[base + i] = 0;
    int i = 0;
    for (const char32_t c : text.toUcs4()) {
        if (i == NameSlotSize)
            break;
        image[base + i++] = ToWindows1252(c);
    }
}

CaptureTexts CapturePage(ConfigImage &image, int p, const EditorState &s)
{
    CaptureTexts texts;

    for (int k = 0; k < 8; ++k)
        AssignImageBit(image, logicInputs(p), k, s.inputs[static_cast<std::size_t>(k)]);

    const int m = mode(p);
    AssignImageBit(image, m, 0, s.andSelected);
    AssignImageBit(image, m, 1, s.timer1Active);
    AssignImageBit(image, m, 2, s.timer2Active);
    AssignImageBit(image, m, 3, s.randomActive);
    AssignImageBit(image, random(p), 0, s.randomActive);
    AssignImageBit(image, random(p), 1, s.counterInUse);
    AssignImageBit(image, m, 4, s.secTimerActive);
    AssignImageBit(image, m, 5, s.key);

    // The card's key byte is inverted: a set bit means "no key mode".
    AssignImageBit(image, KeyBits, p, !s.key);

    texts.diagnosticLabel = QStringLiteral("%1   %2").arg(image[0]).arg(image[1]);

    WriteTimer(image, day1Index(p), timer(p), s.day1Index, TestImageBit(image, m, 1), s.timer1On,
               s.timer1Off);
    WriteTimer(image, day2Index(p), timer(p) + 7, s.day2Index, TestImageBit(image, m, 2),
               s.timer2On, s.timer2Off);

    AssignImageBit(image, secTimer(p), 0, s.secTimerActive);
    AssignImageBit(image, secTimer(p), 1, s.repeat);
    AssignImageBit(image, secTimer(p), 2, s.key);
    image[secTimer(p) + 1] = NumberByte(s.onSecondsText);
    image[secTimer(p) + 2] = NumberByte(s.offSecondsText);

    image[random(p) + 1] = NumberByte(s.counterText);
    WriteTime(image, random(p) + 2, s.randomStart);
    WriteTime(image, random(p) + 5, s.randomStop);

    image[ProgramChoice] = OneHot(s.programIndex);
    WriteProgram(image, 0, 909, 908, s.programs[0]);
    WriteProgram(image, 1, 907, 906, s.programs[1]);
    WriteProgram(image, 2, 905, 904, s.programs[2]);

    image[PowerUp] = 0;
    for (int k = 0; k < 8; ++k) {
        if (s.powerUp[static_cast<std::size_t>(k)])
            SetImageBit(image, PowerUp, k);
    }
    // In running-light mode the card drives the relays itself from power-up on.
    if (TestImageBit(image, GlobalFlags, 0))
        image[PowerUp] = 0;

    AssignImageBit(image, temperature(p), 0, s.tempActive);
    image[temperature(p) + 1] = LowByte(s.sensorIndex);
    texts.unitLabel = s.sensorIndex == 3 ? QStringLiteral("%rLF") : QStringLiteral("°C");
    image[temperature(p) + 2] = NumberByte(s.pullInText);
    image[temperature(p) + 3] = NumberByte(s.dropOutText);

    AssignImageBit(image, PushButtons, p, s.pushButton);

    AssignImageBit(image, GlobalFlags, 1, s.counterUnitIndex == 1);
    AssignImageBit(image, GlobalFlags, 2, s.firmwareIndex == 1);
    image[SensorOffsets] = LowByte(LowByte(s.offset1Index) + 16 * LowByte(s.offset2Index));

    for (int i = 0; i < 8; ++i) {
        const QString &label = s.relayLabels[static_cast<std::size_t>(i)];
        texts.tabCaptions[static_cast<std::size_t>(i)] = label;
        WriteNameSlot(image, i, label);
    }
    texts.cardStatusText = QStringLiteral(" Relaiskarte : ") + s.cardName;
    WriteNameSlot(image, 8, s.cardName);

    return texts;
}
