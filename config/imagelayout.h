#pragma once

#include <cstdint>

// Where everything stands in the 1024-byte image, by name: the card's records (bytes 0 to 511,
// what an upload sends), the name slots and the editor's own list indices behind them. p is a
// relay 0..7, t a timer 0..1, n a running-light program 0..2.
namespace ImageOffset {
// Per relay: inputs, then the mode byte (see ModeBit).
constexpr int logicInputs(int p)
{
    return 2 * p;
}
constexpr int mode(int p)
{
    return 2 * p + 1;
}
// Two timers of 7 bytes: the card's day byte (bit 7 "aktiv"), on and off time (h, m, s).
constexpr int timer(int p)
{
    return 16 + 14 * p;
}
constexpr int timerDays(int p, int t)
{
    return timer(p) + 7 * t;
}
constexpr int timerOn(int p, int t)
{
    return timerDays(p, t) + 1;
}
constexpr int timerOff(int p, int t)
{
    return timerDays(p, t) + 4;
}
// Seconds timer: flags (bit 0 aktiv, 1 repeat, 2 key), on at, off at.
constexpr int secTimer(int p)
{
    return 128 + 3 * p;
}
constexpr int secOnAt(int p)
{
    return secTimer(p) + 1;
}
constexpr int secOffAt(int p)
{
    return secTimer(p) + 2;
}
// Random: flags (bit 0 aktiv, 1 counter in use), counter, start and stop time.
constexpr int random(int p)
{
    return 152 + 8 * p;
}
constexpr int randomCounter(int p)
{
    return random(p) + 1;
}
constexpr int randomStart(int p)
{
    return random(p) + 2;
}
constexpr int randomStop(int p)
{
    return random(p) + 5;
}
// Temperature: flags (bit 0 aktiv), sensor, pull-in and drop-out threshold (SignedByte).
constexpr int temperature(int p)
{
    return 256 + 4 * p;
}
constexpr int tempSensor(int p)
{
    return temperature(p) + 1;
}
constexpr int tempPullIn(int p)
{
    return temperature(p) + 2;
}
constexpr int tempDropOut(int p)
{
    return temperature(p) + 3;
}
// Running-light programs: channel mask (bit 0 = L 1, always set), tempo, the one-hot range
// and direction bytes the card reads, seconds to a change of direction.
constexpr int ProgramChoice = 222;
constexpr int program(int n)
{
    return 223 + 5 * n;
}
constexpr int programTempo(int n)
{
    return program(n) + 1;
}
constexpr int programRange(int n)
{
    return program(n) + 2;
}
constexpr int programDirection(int n)
{
    return program(n) + 3;
}
constexpr int programChange(int n)
{
    return program(n) + 4;
}
// Whole-card bytes: 244 bit 0 running-light view, 1 counter in minutes, 2 firmware AT; 245
// sensor offsets (low four bits sensor 1); 246, 247, 248 a bit per relay (push button,
// power-up state, key inverted).
constexpr int GlobalFlags = 244;
constexpr int SensorOffsets = 245;
constexpr int PushButtons = 246;
constexpr int PowerUp = 247;
constexpr int KeyBits = 248;
// Name slots of 16 bytes: i = 0..7 relays, 8 the card's name.
constexpr int NameSlotSize = 16;
constexpr int nameSlot(int i)
{
    return 512 + NameSlotSize * i;
}
constexpr int CardName = 640;
// Never sent; the window's load clears it.
constexpr int Reserved903 = 903;
// The editor's own list indices, which the card never sees: range and direction of each
// program (909/908 for program 1, down to 905/904), and each relay's day lists.
constexpr int rangeIndex(int n)
{
    return 909 - 2 * n;
}
constexpr int directionIndex(int n)
{
    return 908 - 2 * n;
}
constexpr int day1Index(int p)
{
    return 920 + 2 * p;
}
constexpr int day2Index(int p)
{
    return 921 + 2 * p;
}
constexpr int dayIndex(int p, int t)
{
    return day1Index(p) + t;
}
} // namespace ImageOffset

// The bits of a relay's mode byte.
namespace ModeBit {
constexpr int And = 0; // else OR
constexpr int Timer1 = 1;
constexpr int Timer2 = 2;
constexpr int Random = 3;
constexpr int SecTimer = 4;
constexpr int Key = 5; // a copy of the seconds timer's key bit
} // namespace ModeBit

// A signed byte as the window and the card read it: 0..128 as they are, 129..255 as -127..-1.
// So a typed -128 (stored 0x80) comes back as +128.
constexpr int SignedByte(std::uint8_t byte)
{
    return byte <= 128 ? int(byte) : int(byte) - 256;
}
