#include "projectmodel.h"

#include "pagecodec.h"
#include "windows1252.h"

namespace {
using namespace ImageOffset;

// Editor-only list indices of the running-light programs: range, direction.
constexpr std::array<int, 3> RangeIndexOffset{909, 907, 905};
constexpr std::array<int, 3> DirectionIndexOffset{908, 906, 904};

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
        std::uint8_t mode = 0;
        mode |= r.andLink ? 0x01 : 0;
        mode |= r.timers[0].active ? 0x02 : 0;
        mode |= r.timers[1].active ? 0x04 : 0;
        mode |= r.randomActive ? 0x08 : 0;
        mode |= r.secTimerActive ? 0x10 : 0;
        mode |= r.key ? 0x20 : 0;
        image[ImageOffset::mode(p)] = mode;
        for (int t = 0; t < 2; ++t) {
            const TimerModel &timer = r.timers[static_cast<std::size_t>(t)];
            const int base = ImageOffset::timer(p) + 7 * t;
            image[base] =
                static_cast<std::uint8_t>(DayMask(timer.dayIndex) | (timer.active ? 0x80 : 0));
            PutTime(image, base + 1, timer.on);
            PutTime(image, base + 4, timer.off);
            image[t == 0 ? day1Index(p) : day2Index(p)] = timer.dayIndex;
        }
        image[ImageOffset::secTimer(p)] = static_cast<std::uint8_t>(
            (r.secTimerActive ? 0x01 : 0) | (r.repeat ? 0x02 : 0) | (r.key ? 0x04 : 0));
        image[ImageOffset::secTimer(p) + 1] = r.onAt;
        image[ImageOffset::secTimer(p) + 2] = r.offAt;
        image[ImageOffset::random(p)] =
            static_cast<std::uint8_t>((r.randomActive ? 0x01 : 0) | (r.counterInUse ? 0x02 : 0));
        image[ImageOffset::random(p) + 1] = r.counter;
        PutTime(image, ImageOffset::random(p) + 2, r.randomStart);
        PutTime(image, ImageOffset::random(p) + 5, r.randomStop);
        image[temperature(p)] = r.tempActive ? 0x01 : 0;
        image[temperature(p) + 1] = r.sensor;
        image[temperature(p) + 2] = r.pullIn;
        image[temperature(p) + 3] = r.dropOut;
        AssignImageBit(image, PushButtons, p, r.pushButton);
        AssignImageBit(image, PowerUp, p, r.powerUp);
        AssignImageBit(image, KeyBits, p, !r.key);
        WriteNameSlot(image, p, r.label);
    }
    image[ProgramChoice] = model.programChoice;
    for (int n = 0; n < 3; ++n) {
        const ProgramModel &program = model.programs[static_cast<std::size_t>(n)];
        const int base = ImageOffset::program(n);
        image[base] = static_cast<std::uint8_t>(program.channels | 0x01);
        image[base + 1] = program.tempo;
        image[base + 2] = OneHot(program.rangeIndex, 2);
        image[base + 3] = OneHot(program.directionIndex);
        image[base + 4] = program.changeSeconds;
        image[RangeIndexOffset[static_cast<std::size_t>(n)]] = program.rangeIndex;
        image[DirectionIndexOffset[static_cast<std::size_t>(n)]] = program.directionIndex;
    }
    image[GlobalFlags] =
        static_cast<std::uint8_t>((model.runningLightView ? 0x01 : 0) | (model.minutes ? 0x02 : 0) |
                                  (model.firmwareAT ? 0x04 : 0));
    image[SensorOffsets] = static_cast<std::uint8_t>((model.offset1 & 0x0F) | (model.offset2 << 4));
    WriteNameSlot(image, 8, model.cardName);
    return image;
}

std::vector<DeviationPlace> MakeDeviations()
{
    std::vector<DeviationPlace> places;
    for (int p = 0; p < 8; ++p) {
        const QString name = QStringLiteral("relais%1.").arg(p + 1);
        const auto add = [&](const char *key, const char *label, int offset, std::uint8_t mask) {
            places.push_back(
                {name + QLatin1String(key), QString::fromUtf8(label), p, offset, 1, mask, false});
        };
        add("timer1.tagbyte", "Timer 1, Tagbyte der Karte", timer(p), 0xFF);
        add("timer2.tagbyte", "Timer 2, Tagbyte der Karte", timer(p) + 7, 0xFF);
        add("modusbyte.key", "Modusbyte, Bit key", mode(p), 0x20);
        add("modusbyte.frei", "Modusbyte, freie Bits", mode(p), 0xC0);
        add("sectimerbyte.aktiv", "Sec. Timer-Byte, Bit aktiv", secTimer(p), 0x01);
        add("sectimerbyte.frei", "Sec. Timer-Byte, freie Bits", secTimer(p), 0xF8);
        add("randombyte.aktiv", "Random-Byte, Bit aktiv", random(p), 0x01);
        add("randombyte.frei", "Random-Byte, freie Bits", random(p), 0xFC);
        add("temperaturbyte.frei", "Temperatur-Byte, freie Bits", temperature(p), 0xFE);
        add("keybyte", "Key-Byte 248 (invertiert)", KeyBits, static_cast<std::uint8_t>(1u << p));
        places.push_back({name + QLatin1String("bezeichnung.rest"),
                          QStringLiteral("Bytes hinter der Bezeichnung"), p, nameSlot(p),
                          NameSlotSize, 0xFF, true});
    }
    places.push_back({QStringLiteral("karte.byte244.frei"), QStringLiteral("Byte 244, freie Bits"),
                      -1, GlobalFlags, 1, 0xF8, false});
    for (int n = 0; n < 3; ++n) {
        const QString name = QStringLiteral("lauflicht.programm%1.").arg(n + 1);
        const QString label = QStringLiteral("Lauflicht Programm %1, ").arg(n + 1);
        const int base = program(n);
        places.push_back({name + QLatin1String("kanalL1"), label + QStringLiteral("Kanal L 1"), -1,
                          base, 1, 0x01, false});
        places.push_back({name + QLatin1String("bereichbyte"),
                          label + QStringLiteral("Bereichsbyte der Karte"), -1, base + 2, 1, 0xFF,
                          false});
        places.push_back({name + QLatin1String("richtungbyte"),
                          label + QStringLiteral("Richtungsbyte der Karte"), -1, base + 3, 1, 0xFF,
                          false});
    }
    places.push_back({QStringLiteral("karte.name.rest"),
                      QStringLiteral("Name Relaiskarte, Bytes hinter dem Namen"), -1, CardName,
                      NameSlotSize, 0xFF, true});
    return places;
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

const std::vector<DeviationPlace> &Deviations()
{
    static const std::vector<DeviationPlace> places = MakeDeviations();
    return places;
}

const DeviationPlace *FindDeviation(const QString &name)
{
    for (const DeviationPlace &place : Deviations()) {
        if (place.name == name)
            return &place;
    }
    return nullptr;
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
        r.andLink = modeByte & 0x01;
        r.timers[0].active = modeByte & 0x02;
        r.timers[1].active = modeByte & 0x04;
        r.randomActive = modeByte & 0x08;
        r.secTimerActive = modeByte & 0x10;
        for (int t = 0; t < 2; ++t) {
            TimerModel &timer = r.timers[static_cast<std::size_t>(t)];
            const int base = ImageOffset::timer(p) + 7 * t;
            timer.dayIndex = image[t == 0 ? day1Index(p) : day2Index(p)];
            timer.on = TimeAt(image, base + 1);
            timer.off = TimeAt(image, base + 4);
        }
        r.repeat = TestImageBit(image, secTimer(p), 1);
        r.key = TestImageBit(image, secTimer(p), 2);
        r.onAt = image[secTimer(p) + 1];
        r.offAt = image[secTimer(p) + 2];
        r.counterInUse = TestImageBit(image, random(p), 1);
        r.counter = image[random(p) + 1];
        r.randomStart = TimeAt(image, random(p) + 2);
        r.randomStop = TimeAt(image, random(p) + 5);
        r.tempActive = TestImageBit(image, temperature(p), 0);
        r.sensor = image[temperature(p) + 1];
        r.pullIn = image[temperature(p) + 2];
        r.dropOut = image[temperature(p) + 3];
        r.pushButton = TestImageBit(image, PushButtons, p);
        r.powerUp = TestImageBit(image, PowerUp, p);
    }
    model.programChoice = image[ProgramChoice];
    for (int n = 0; n < 3; ++n) {
        ProgramModel &program = model.programs[static_cast<std::size_t>(n)];
        const int base = ImageOffset::program(n);
        program.channels = image[base] & 0xFE;
        program.tempo = image[base + 1];
        program.changeSeconds = image[base + 4];
        program.rangeIndex = image[RangeIndexOffset[static_cast<std::size_t>(n)]];
        program.directionIndex = image[DirectionIndexOffset[static_cast<std::size_t>(n)]];
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

namespace ProjectLists {
const QStringList &Days()
{
    static const QStringList list{"So", "Mo", "Di",    "Mi",    "Do",
                                  "Fr", "Sa", "Mo-Fr", "Sa-So", "Mo-So"};
    return list;
}
const QStringList &Sensors()
{
    static const QStringList list{"Sensor 1", "Sensor 2", "Sensor 3 T", "Sensor 3 LF"};
    return list;
}
const QStringList &Programs()
{
    static const QStringList list{"Prog 1", "Prog 2", "Prog 3", "schaltbar"};
    return list;
}
const QStringList &Ranges()
{
    static const QStringList list{"1 - 3", "1 - 4", "1 - 5", "1 - 6", "1 - 7", "1 - 8"};
    return list;
}
const QStringList &Directions()
{
    static const QStringList list{"links", "rechts", "< - >"};
    return list;
}
const QStringList &Firmware()
{
    static const QStringList list{"V 5.x  T", "V 5.x  AT"};
    return list;
}
const QStringList &CounterUnits()
{
    static const QStringList list{"Sekunden", "Minuten"};
    return list;
}
const QStringList &Views()
{
    static const QStringList list{"Timer", "Lauflicht"};
    return list;
}
} // namespace ProjectLists

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
    return byte <= 128 ? int(byte) : int(byte) - 256;
}
