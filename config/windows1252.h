#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

// The editor's 8-bit character set, as the card's name slots hold it. Implemented here rather
// than through a system codec so the mapping is the same on every platform.

// One byte per character (code point): characters outside the set, the five undefined
// positions 0x81, 0x8D, 0x8F, 0x90 and 0x9D, and U+0000 (which would end the text early in a
// zero-terminated slot) become '?'.
std::uint8_t ToWindows1252(char32_t codePoint);
// An undefined byte reads as U+FFFD, so it shows up and is not mistaken for a real character.
char32_t FromWindows1252(std::uint8_t byte);
