#pragma once

#include <cstdint>

// The card's line, the same on a local port and behind every device server: 2400 baud, 8 data
// bits, no parity, 1 stop bit, no flow control.
namespace CardLine {

inline constexpr int Baud = 2400;
inline constexpr int DataBits = 8;
inline constexpr int StopBits = 1;
// What one byte takes on the wire (a start bit, the data bits, the stop bit), rounded.
inline constexpr std::int64_t ByteTimeUs =
    ((1 + DataBits + StopBits) * 1'000'000 + Baud / 2) / Baud;

// The settings a device server may confirm otherwise than asked.
enum class Setting
{
    Baud,
    DataBits,
    Parity,
    StopBits,
};

} // namespace CardLine
