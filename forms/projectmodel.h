#pragma once

#include "config/configimage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <map>
#include <vector>

// The whole image by meaning, for the readable forms of a project (text, JSON, differences,
// the week plan). Every bit of the 1024 bytes belongs to exactly one place here, so
// EncodeProject(DecodeProject(image)) gives the image back byte for byte, whatever a file holds.
//
// Values are kept as the bytes hold them (a time of 25:61:00, a day index of 12): the readable
// forms show them as they are and mark what the window cannot show. Bytes that the capture
// derives from others (the card's day bytes, the one-hot range and direction bytes, the copies
// of "aktiv" and "key") are not fields of their own: they follow the fields they come from, and
// only where a file holds something else is the difference kept, in `deviations`.

// Three image bytes of a time: hour, minute, second.
struct TimeBytes
{
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    bool operator==(const TimeBytes &) const = default;
};

struct TimerModel
{
    bool active = false;       // mode byte bit 1 (Timer 1) or 2 (Timer 2)
    std::uint8_t dayIndex = 0; // the editor's day list index (920+2p, 921+2p)
    TimeBytes on, off;
    bool operator==(const TimerModel &) const = default;
};

struct RelayModel
{
    QString label;           // name slot 512+16p
    std::uint8_t inputs = 0; // 2p: bit k = input K(k+1)
    bool andLink = false;    // mode bit 0: AND, else OR
    bool pushButton = false; // 246 bit p ("Taster")
    std::array<TimerModel, 2> timers;
    bool randomActive = false; // mode bit 3
    bool counterInUse = false; // 152+8p bit 1
    std::uint8_t counter = 0;  // 153+8p
    TimeBytes randomStart, randomStop;
    bool secTimerActive = false; // mode bit 4
    bool repeat = false;         // 128+3p bit 1
    bool key = false;            // 128+3p bit 2
    std::uint8_t onAt = 0;       // 129+3p
    std::uint8_t offAt = 0;      // 130+3p
    bool tempActive = false;     // 256+4p bit 0
    std::uint8_t sensor = 0;     // 257+4p
    std::uint8_t pullIn = 0;     // 258+4p, signed as the window reads it
    std::uint8_t dropOut = 0;    // 259+4p
    bool powerUp = false;        // 247 bit p ("REL Status Start")
    bool operator==(const RelayModel &) const = default;
};

struct ProgramModel
{
    std::uint8_t channels = 0;       // bits 1 to 7 of the channel mask: "L 2" to "L 8"
    std::uint8_t tempo = 0;          // the byte: list item "1" to "10" is 2 to 11
    std::uint8_t rangeIndex = 0;     // editor-only list index (909, 907, 905)
    std::uint8_t directionIndex = 0; // editor-only list index (908, 906, 904)
    std::uint8_t changeSeconds = 0;  // "Ri wechsel nach"
    bool operator==(const ProgramModel &) const = default;
};

// One region of bytes that nothing in the window writes; they go to the card as they stand.
struct RawRegion
{
    int first = 0;
    int last = 0;
    QString name() const; // "216-221"
};
const std::vector<RawRegion> &RawRegions();

struct ProjectModel
{
    std::array<RelayModel, 8> relays;
    std::uint8_t programChoice = 0; // 222: one bit for "Prog 1" .. "schaltbar"
    std::array<ProgramModel, 3> programs;
    bool runningLightView = false; // 244 bit 0
    bool minutes = false;          // 244 bit 1: the random counter counts minutes
    bool firmwareAT = false;       // 244 bit 2: "V 5.x  AT"
    std::uint8_t offset1 = 0;      // 245 low four bits
    std::uint8_t offset2 = 0;      // 245 high four bits
    QString cardName;              // name slot 640, as stored (empty stays empty)
    // Differences from what the fields above imply, by deviation name (see Deviations()):
    // a byte or bits as the file holds them. Empty for every file the window wrote.
    std::map<QString, QByteArray> deviations;
    // The regions of RawRegions(), in that order.
    std::vector<QByteArray> raw;
    bool operator==(const ProjectModel &) const = default;
};

// A place where a file may hold something other than the fields imply: a byte the capture
// derives (it then follows its fields), bits nothing writes (0 unless a file set them), or the
// bytes of a name slot behind the text's terminating zero.
struct DeviationPlace
{
    QString name;   // "relais3.timer1.tagbyte"
    QString label;  // "Relais 3, Timer 1, Tagbyte der Karte" (the relay's label is added)
    int relay = -1; // 0..7, or -1 for the card
    int offset = 0;
    int size = 1; // bytes; more than one only for a name slot's rest
    std::uint8_t mask = 0xFF;
    bool nameRest = false; // the bytes behind a name slot's text
};
// The places, with their keys and labels, stand beside the fields in fieldtable.cpp.
const std::vector<DeviationPlace> &Deviations();
const DeviationPlace *FindDeviation(const QString &name);

ProjectModel DecodeProject(const ConfigImage &image);
ConfigImage EncodeProject(const ProjectModel &model);

// What a deviation place holds in an image: the masked byte, or the bytes of a name slot's rest
// (behind the text and its terminating zero; empty when the text fills the slot).
QByteArray DeviationValue(const ConfigImage &image, const DeviationPlace &place);
// The value of a one-byte deviation (0 for an empty one).
inline std::uint8_t FirstByte(const QByteArray &bytes)
{
    return bytes.isEmpty() ? 0 : static_cast<std::uint8_t>(bytes.at(0));
}

// The program list entry of byte 222 when the byte is one the window stores (1, 2, 4, 8),
// else -1.
int ProgramChoiceIndex(std::uint8_t byte);

// Texts as the window would show a value, and whether it can show it at all.
QString TimeText(const TimeBytes &time); // "06:30:00", "25:61:00"
bool IsShownTime(const TimeBytes &time);
int SignedThreshold(std::uint8_t byte); // 0..128 as they are, 129..255 as -127..-1
