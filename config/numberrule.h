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
