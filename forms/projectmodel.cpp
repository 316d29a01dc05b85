#include "forms/projectmodel.h"

#include "config/pagecodec.h"
#include "config/windows1252.h"

namespace {
using namespace ImageOffset;

TimeBytes TimeAt(const ConfigImage &image, int offset)
{
    return {image[offset], image[offset + 1], image[offset + 2]};
}

void PutTime(ConfigImage &image, int offset, const TimeBytes &time)
{
    image[offset] = time.hour;
    image[offset + 1] = time.minute;
    image[offset + 2] = time.second;
}

int TextLength(const ConfigImage &image, int slotOffset)
{
    int n = 0;
    while (n < NameSlotSize && image[slotOffset + n] != 0)
        ++n;
    return n;
}

// The fields alone, every derived byte as the capture derives it and every free bit zero.
ConfigImage EncodeFields(const ProjectModel &model)
{
    ConfigImage image;
    for (int p = 0; p < 8; ++p) {
        const RelayModel &r = model.relays[static_cast<std::size_t>(p)];
        image[logicInputs(p)] = r.inputs;
        const auto bit = [](bool on, int b) { return on ? 1u << b : 0u; };
        const auto mode = static_cast<std::uint8_t>(
            bit(r.andLink, ModeBit::And) | bit(r.timers[0].active, ModeBit::Timer1) |
            bit(r.timers[1].active, ModeBit::Timer2) | bit(r.randomActive, ModeBit::Random) |
            bit(r.secTimerActive, ModeBit::SecTimer) | bit(r.key, ModeBit::Key));
        image[ImageOffset::mode(p)] = mode;
        for (int t = 0; t < 2; ++t) {
            const TimerModel &timer = r.timers[static_cast<std::size_t>(t)];
            image[timerDays(p, t)] =
                static_cast<std::uint8_t>(DayMask(timer.dayIndex) | (timer.active ? 0x80 : 0));
            PutTime(image, timerOn(p, t), timer.on);
            PutTime(image, timerOff(p, t), timer.off);
            image[dayIndex(p, t)] = timer.dayIndex;
        }
        image[ImageOffset::secTimer(p)] = static_cast<std::uint8_t>(
            (r.secTimerActive ? 0x01 : 0) | (r.repeat ? 0x02 : 0) | (r.key ? 0x04 : 0));
        image[secOnAt(p)] = r.onAt;
        image[secOffAt(p)] = r.offAt;
        image[ImageOffset::random(p)] =
            static_cast<std::uint8_t>((r.randomActive ? 0x01 : 0) | (r.counterInUse ? 0x02 : 0));
        image[randomCounter(p)] = r.counter;
        PutTime(image, randomStart(p), r.randomStart);
        PutTime(image, randomStop(p), r.randomStop);
        image[temperature(p)] = r.tempActive ? 0x01 : 0;
        image[tempSensor(p)] = r.sensor;
        image[tempPullIn(p)] = r.pullIn;
        image[tempDropOut(p)] = r.dropOut;
        AssignImageBit(image, PushButtons, p, r.pushButton);
        AssignImageBit(image, PowerUp, p, r.powerUp);
        AssignImageBit(image, KeyBits, p, !r.key);
        WriteNameSlot(image, p, r.label);
    }
    image[ProgramChoice] = model.programChoice;
    for (int n = 0; n < 3; ++n) {
        const ProgramModel &program = model.programs[static_cast<std::size_t>(n)];
        image[ImageOffset::program(n)] = static_cast<std::uint8_t>(program.channels | 0x01);
        image[programTempo(n)] = program.tempo;
        image[programRange(n)] = OneHot(program.rangeIndex, 2);
        image[programDirection(n)] = OneHot(program.directionIndex);
        image[programChange(n)] = program.changeSeconds;
        image[rangeIndex(n)] = program.rangeIndex;
        image[directionIndex(n)] = program.directionIndex;
    }
    image[GlobalFlags] =
        static_cast<std::uint8_t>((model.runningLightView ? 0x01 : 0) | (model.minutes ? 0x02 : 0) |
                                  (model.firmwareAT ? 0x04 : 0));
    image[SensorOffsets] = static_cast<std::uint8_t>((model.offset1 & 0x0F) | (model.offset2 << 4));
    WriteNameSlot(image, 8, model.cardName);
    return image;
}

void ApplyDeviation(ConfigImage &image, const DeviationPlace &place, const QByteArray &value)
{
    if (place.nameRest) {
        const int start = place.offset + TextLength(image, place.offset) + 1;
        for (int i = 0; i < value.size() && start + i < place.offset + NameSlotSize; ++i)
            image[start + i] = static_cast<std::uint8_t>(value[i]);
        return;
    }
    const auto byte = FirstByte(value);
    image[place.offset] =
        static_cast<std::uint8_t>((image[place.offset] & ~place.mask) | (byte & place.mask));
}
} // namespace

QString RawRegion::name() const
{
    return QStringLiteral("%1-%2").arg(first).arg(last);
}

const std::vector<RawRegion> &RawRegions()
{
    static const std::vector<RawRegion> regions{{216, 221}, {238, 243}, {249, 255}, {288, 511},
                                                {656, 903}, {910, 919}, {936, 1023}};
    return regions;
}

QByteArray DeviationValue(const ConfigImage &image, const DeviationPlace &place)
{
    if (place.nameRest) {
        const int start = place.offset + TextLength(image, place.offset) + 1;
        QByteArray rest;
        for (int i = start; i < place.offset + NameSlotSize; ++i)
            rest.append(static_cast<char>(image[i]));
        return rest;
    }
    return QByteArray(1, static_cast<char>(image[place.offset] & place.mask));
}

ProjectModel DecodeProject(const ConfigImage &image)
{
    ProjectModel model;
    for (int p = 0; p < 8; ++p) {
        RelayModel &r = model.relays[static_cast<std::size_t>(p)];
        const std::uint8_t modeByte = image[mode(p)];
        r.label = ReadNameSlot(image, p);
        r.inputs = image[logicInputs(p)];
        const auto bit = [&](int b) { return (modeByte >> b & 1) != 0; };
        r.andLink = bit(ModeBit::And);
        r.timers[0].active = bit(ModeBit::Timer1);
        r.timers[1].active = bit(ModeBit::Timer2);
        r.randomActive = bit(ModeBit::Random);
        r.secTimerActive = bit(ModeBit::SecTimer);
        for (int t = 0; t < 2; ++t) {
            TimerModel &timer = r.timers[static_cast<std::size_t>(t)];
            timer.dayIndex = image[dayIndex(p, t)];
            timer.on = TimeAt(image, timerOn(p, t));
            timer.off = TimeAt(image, timerOff(p, t));
        }
        r.repeat = TestImageBit(image, secTimer(p), 1);
        r.key = TestImageBit(image, secTimer(p), 2);
        r.onAt = image[secOnAt(p)];
        r.offAt = image[secOffAt(p)];
        r.counterInUse = TestImageBit(image, random(p), 1);
        r.counter = image[randomCounter(p)];
        r.randomStart = TimeAt(image, randomStart(p));
        r.randomStop = TimeAt(image, randomStop(p));
        r.tempActive = TestImageBit(image, temperature(p), 0);
        r.sensor = image[tempSensor(p)];
        r.pullIn = image[tempPullIn(p)];
        r.dropOut = image[tempDropOut(p)];
        r.pushButton = TestImageBit(image, PushButtons, p);
        r.powerUp = TestImageBit(image, PowerUp, p);
    }
    model.programChoice = image[ProgramChoice];
    for (int n = 0; n < 3; ++n) {
        ProgramModel &program = model.programs[static_cast<std::size_t>(n)];
        program.channels = image[ImageOffset::program(n)] & 0xFE;
        program.tempo = image[programTempo(n)];
        program.changeSeconds = image[programChange(n)];
        program.rangeIndex = image[rangeIndex(n)];
        program.directionIndex = image[directionIndex(n)];
    }
    model.runningLightView = TestImageBit(image, GlobalFlags, 0);
    model.minutes = TestImageBit(image, GlobalFlags, 1);
    model.firmwareAT = TestImageBit(image, GlobalFlags, 2);
    model.offset1 = image[SensorOffsets] & 0x0F;
    model.offset2 = image[SensorOffsets] >> 4;
    model.cardName = ReadNameSlot(image, 8);

    const ConfigImage implied = EncodeFields(model);
    for (const DeviationPlace &place : Deviations()) {
        const QByteArray actual = DeviationValue(image, place);
        if (actual != DeviationValue(implied, place))
            model.deviations[place.name] = actual;
    }
    for (const RawRegion &region : RawRegions()) {
        model.raw.emplace_back(reinterpret_cast<const char *>(image.data() + region.first),
                               region.last - region.first + 1);
    }
    return model;
}

ConfigImage EncodeProject(const ProjectModel &model)
{
    ConfigImage image = EncodeFields(model);
    for (const auto &[name, value] : model.deviations) {
        if (const DeviationPlace *place = FindDeviation(name))
            ApplyDeviation(image, *place, value);
    }
    const auto &regions = RawRegions();
    for (std::size_t i = 0; i < regions.size() && i < model.raw.size(); ++i) {
        const QByteArray &bytes = model.raw[i];
        for (int k = 0; k < bytes.size() && regions[i].first + k <= regions[i].last; ++k)
            image[regions[i].first + k] = static_cast<std::uint8_t>(bytes[k]);
    }
    return image;
}

int ProgramChoiceIndex(std::uint8_t byte)
{
    for (int i = 0; i < 4; ++i) {
        if (byte == (1u << i))
            return i;
    }
    return -1;
}

QString TimeText(const TimeBytes &time)
{
    return QStringLiteral("%1:%2:%3")
        .arg(time.hour, 2, 10, QLatin1Char('0'))
        .arg(time.minute, 2, 10, QLatin1Char('0'))
        .arg(time.second, 2, 10, QLatin1Char('0'));
}

bool IsShownTime(const TimeBytes &time)
{
    return IsTimeOfDay(time.hour, time.minute, time.second);
}

int SignedThreshold(std::uint8_t byte)
{
    return SignedByte(byte);
}
