#pragma once

#include <QString>
#include <QStringView>

// The one conversion from text to number, used for every number the program reads from
// text (edit fields, ini.cfg, the clock text):
// - leading blanks are skipped;
// - "$", "x", "X", "0x" or "0X" makes the rest hexadecimal, otherwise an optional sign and
//   decimal digits follow;
// - text that ends after at least one digit gives the number (negated after "-");
// - a character that does not belong stops the conversion: the result is the value of the
//   digits read so far, without the sign, 0 when there were none; empty text gives 0.
// Magnitudes saturate at the largest 64-bit value instead of wrapping, so a long row of
// digits can never turn into a small or negative number.
long long ParseNumber(QStringView text);
inline long long ParseNumber(const QString &text)
{
    return ParseNumber(QStringView(text));
}

// How far the number rule gets through a text, for fields that must never show one number
// and store another:
// - Complete: it reads the whole text (optional blanks, a sign or a hexadecimal prefix, then
//   at least one digit and nothing else);
// - Unfinished: nothing but blanks, a sign or a prefix so far ("", "-", "$", "0x"), which a
//   person passes on the way to a complete text; it reads as 0;
// - Invalid: the rule would stop early, so the text would store another number than it
//   shows ("-5 " and "-5a" store 5).
enum class NumberText
{
    Complete,
    Unfinished,
    Invalid
};
NumberText ClassifyNumberText(QStringView text);
