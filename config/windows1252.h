#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

// The editor's 8-bit character set, as the card's name slots hold it. Implemented here rather
// than through a system codec so the mapping is the same on every platform.

// One byte per character (code point): characters outside the set and U+0000 (which would end
// the text early in a zero-terminated slot) become '?'. The five positions the set leaves
// undefined, 0x81, 0x8D, 0x8F, 0x90 and 0x9D, are the control characters U+0081, U+008D,
// U+008F, U+0090 and U+009D both ways, so every byte value survives a display and a capture.
std::uint8_t ToWindows1252(char32_t codePoint);
char32_t FromWindows1252(std::uint8_t byte);
