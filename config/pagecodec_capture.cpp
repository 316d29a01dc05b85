#include "config/numberrule.h"
#include "config/pagecodec.h"
#include "config/windows1252.h"

#include <QList>

#include <array>
#include <functional>
#include <vector>

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

void WriteProgram(ConfigImage &image, int n, const RunningLightProgramState &program)
{
    const int base = ImageOffset::program(n);
    image[base] = 1; // channel "L 1" is always part of the pattern
    for (int k = 1; k <= 7; ++k) {
        if (program.channels[static_cast<std::size_t>(k - 1)])
            SetImageBit(image, base, k);
    }
    image[programTempo(n)] = LowByte(program.tempoIndex + 2);
    image[rangeIndex(n)] = LowByte(program.rangeIndex);
    image[programRange(n)] = OneHot(program.rangeIndex, 2);
    image[directionIndex(n)] = LowByte(program.directionIndex);
    image[programDirection(n)] = OneHot(program.directionIndex);
    image[programChange(n)] = NumberByte(program.secondsText);
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
    AssignImageBit(image, m, ModeBit::And, s.andSelected);
    AssignImageBit(image, m, ModeBit::Timer1, s.timer1Active);
    AssignImageBit(image, m, ModeBit::Timer2, s.timer2Active);
    AssignImageBit(image, m, ModeBit::Random, s.randomActive);
    AssignImageBit(image, random(p), 0, s.randomActive);
    AssignImageBit(image, random(p), 1, s.counterInUse);
    AssignImageBit(image, m, ModeBit::SecTimer, s.secTimerActive);
    AssignImageBit(image, m, ModeBit::Key, s.key);

    // The card's key byte is inverted: a set bit means "no key mode".
    AssignImageBit(image, KeyBits, p, !s.key);

    texts.diagnosticLabel = QStringLiteral("%1   %2").arg(image[0]).arg(image[1]);

    WriteTimer(image, dayIndex(p, 0), timerDays(p, 0), s.day1Index,
               TestImageBit(image, m, ModeBit::Timer1), s.timer1On, s.timer1Off);
    WriteTimer(image, dayIndex(p, 1), timerDays(p, 1), s.day2Index,
               TestImageBit(image, m, ModeBit::Timer2), s.timer2On, s.timer2Off);

    AssignImageBit(image, secTimer(p), 0, s.secTimerActive);
    AssignImageBit(image, secTimer(p), 1, s.repeat);
    AssignImageBit(image, secTimer(p), 2, s.key);
    image[secOnAt(p)] = NumberByte(s.onSecondsText);
    image[secOffAt(p)] = NumberByte(s.offSecondsText);

    image[randomCounter(p)] = NumberByte(s.counterText);
    WriteTime(image, randomStart(p), s.randomStart);
    WriteTime(image, randomStop(p), s.randomStop);

    image[ProgramChoice] = OneHot(s.programIndex);
    for (int n = 0; n < 3; ++n)
        WriteProgram(image, n, s.programs[static_cast<std::size_t>(n)]);

    image[PowerUp] = 0;
    for (int k = 0; k < 8; ++k) {
        if (s.powerUp[static_cast<std::size_t>(k)])
            SetImageBit(image, PowerUp, k);
    }
    // In running-light mode the card drives the relays itself from power-up on.
    if (TestImageBit(image, GlobalFlags, 0))
        image[PowerUp] = 0;

    AssignImageBit(image, temperature(p), 0, s.tempActive);
    image[tempSensor(p)] = LowByte(s.sensorIndex);
    texts.unitLabel = s.sensorIndex == 3 ? QStringLiteral("%rLF") : QStringLiteral("°C");
    image[tempPullIn(p)] = NumberByte(s.pullInText);
    image[tempDropOut(p)] = NumberByte(s.dropOutText);

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

namespace {

// One control of the editor state, with values that reach every bit it can write.
struct Field
{
    std::function<bool(const EditorState &, const EditorState &)> differs;
    std::vector<std::function<void(EditorState &)>> variants;
};

template <typename T> Field MakeField(std::function<T &(EditorState &)> get, std::vector<T> values)
{
    Field f;
    f.differs = [get](const EditorState &a, const EditorState &b) {
        return get(const_cast<EditorState &>(a)) != get(const_cast<EditorState &>(b));
    };
    for (const T &value : values)
        f.variants.push_back([get, value](EditorState &s) { get(s) = value; });
    return f;
}

Field BoolField(std::function<bool &(EditorState &)> get)
{
    return MakeField<bool>(std::move(get), {false, true});
}

Field IndexField(std::function<int &(EditorState &)> get)
{
    return MakeField<int>(std::move(get), {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 85, 170, 254});
}

Field NumberField(std::function<QString &(EditorState &)> get)
{
    return MakeField<QString>(std::move(get), {QStringLiteral("0"), QStringLiteral("255"),
                                               QStringLiteral("85"), QStringLiteral("170")});
}

Field TimeField(std::function<TimeOfDay &(EditorState &)> get)
{
    return MakeField<TimeOfDay>(std::move(get),
                                {{0, 0, 0}, {23, 59, 59}, {21, 42, 21}, {10, 21, 42}, {4, 8, 16}});
}

Field NameField(std::function<QString &(EditorState &)> get)
{
    return MakeField<QString>(std::move(get),
                              {QString(), QString(16, QChar(0xFF)), QString(16, QLatin1Char('U')),
                               QString(16, QChar(0xAA))});
}

const std::vector<Field> &Fields()
{
    static const std::vector<Field> fields = [] {
        std::vector<Field> f;
        using S = EditorState;
        for (std::size_t k = 0; k < 8; ++k) {
            f.push_back(BoolField([k](S &s) -> bool & { return s.inputs[k]; }));
            f.push_back(BoolField([k](S &s) -> bool & { return s.powerUp[k]; }));
            f.push_back(NameField([k](S &s) -> QString & { return s.relayLabels[k]; }));
        }
        for (bool S::*b : {&S::andSelected, &S::timer1Active, &S::timer2Active, &S::randomActive,
                           &S::secTimerActive, &S::counterInUse, &S::repeat, &S::key,
                           &S::tempActive, &S::pushButton})
            f.push_back(BoolField([b](S &s) -> bool & { return s.*b; }));
        for (int S::*i :
             {&S::day1Index, &S::day2Index, &S::sensorIndex, &S::programIndex, &S::counterUnitIndex,
              &S::firmwareIndex, &S::offset1Index, &S::offset2Index})
            f.push_back(IndexField([i](S &s) -> int & { return s.*i; }));
        for (TimeOfDay S::*t : {&S::timer1On, &S::timer1Off, &S::timer2On, &S::timer2Off,
                                &S::randomStart, &S::randomStop})
            f.push_back(TimeField([t](S &s) -> TimeOfDay & { return s.*t; }));
        for (QString S::*n : {&S::counterText, &S::onSecondsText, &S::offSecondsText,
                              &S::pullInText, &S::dropOutText})
            f.push_back(NumberField([n](S &s) -> QString & { return s.*n; }));
        f.push_back(NameField([](S &s) -> QString & { return s.cardName; }));
        for (std::size_t n = 0; n < 3; ++n) {
            for (std::size_t c = 0; c < 7; ++c)
                f.push_back(
                    BoolField([n, c](S &s) -> bool & { return s.programs[n].channels[c]; }));
            f.push_back(IndexField([n](S &s) -> int & { return s.programs[n].tempoIndex; }));
            f.push_back(IndexField([n](S &s) -> int & { return s.programs[n].rangeIndex; }));
            f.push_back(IndexField([n](S &s) -> int & { return s.programs[n].directionIndex; }));
            f.push_back(NumberField([n](S &s) -> QString & { return s.programs[n].secondsText; }));
        }
        return f;
    }();
    return fields;
}

} // namespace

CaptureTexts CaptureChanges(ConfigImage &image, int p, const EditorState &shown,
                            const ConfigImage &shownImage, const EditorState &now)
{
    ConfigImage base = image;
    CapturePage(base, p, shown);
    ConfigImage after = image;
    const CaptureTexts texts = CapturePage(after, p, now);

    // Which bits each control can write, and so which controls share a byte.
    const std::vector<Field> &fields = Fields();
    std::vector<std::array<std::uint8_t, ConfigImage::Size>> masks(fields.size());
    std::array<int, ConfigImage::Size> owners{};
    for (std::size_t f = 0; f < fields.size(); ++f) {
        masks[f].fill(0);
        for (const auto &vary : fields[f].variants) {
            EditorState varied = shown;
            vary(varied);
            ConfigImage probe = image;
            CapturePage(probe, p, varied);
            for (int i = 0; i < ConfigImage::Size; ++i)
                masks[f][std::size_t(i)] |= probe[i] ^ base[i];
        }
        for (int i = 0; i < ConfigImage::Size; ++i)
            owners[std::size_t(i)] += masks[f][std::size_t(i)] != 0;
    }
    const ConfigImage before = image;
    std::array<bool, ConfigImage::Size> anyField{};
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const auto &mask = masks[f];
        bool dirty = fields[f].differs(shown, now);
        for (int i = 0; i < ConfigImage::Size && !dirty; ++i)
            dirty = (before[i] ^ shownImage[i]) & mask[std::size_t(i)];
        for (int i = 0; i < ConfigImage::Size; ++i) {
            const std::uint8_t m = mask[std::size_t(i)];
            if (!m)
                continue;
            anyField[std::size_t(i)] = true;
            if (!dirty)
                continue;
            // A byte of this control alone is written whole; a shared one bit by bit.
            if (owners[std::size_t(i)] == 1)
                image[i] = after[i];
            else
                image[i] = std::uint8_t((image[i] & ~m) | (after[i] & m));
        }
    }
    // What the capture writes of no control's (the fixed bits) follows the old rule where the
    // image changed since it was shown; and so does what the capture takes from the image
    // itself (the power-up byte is zero in running-light mode, a bit the view buttons set).
    ConfigImage baseOnShown = shownImage;
    CapturePage(baseOnShown, p, shown);
    for (int i = 0; i < ConfigImage::Size; ++i) {
        if (!anyField[std::size_t(i)] && before[i] != shownImage[i])
            image[i] = after[i];
        const std::uint8_t follows = base[i] ^ baseOnShown[i];
        image[i] = std::uint8_t((image[i] & ~follows) | (after[i] & follows));
    }
    return texts;
}
