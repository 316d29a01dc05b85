#include "config/numberrule.h"

#include <limits>

namespace {
constexpr unsigned long long MaxMagnitude =
    static_cast<unsigned long long>(std::numeric_limits<long long>::max());

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int v = -1;
    if (u >= u'0' && u <= u'9')
        v = u - u'0';
    else if (u >= u'a' && u <= u'f')
        v = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        v = u - u'A' + 10;
    return v < base ? v : -1;
}

// Where the digits of a number text begin: after leading blanks and either a hexadecimal
// prefix ("$", "x", "X", "0x", "0X") or a sign.
struct NumberStart
{
    qsizetype digits = 0;
    int base = 10;
    bool negative = false;
};

NumberStart FindNumberStart(QStringView text)
{
    NumberStart start;
    qsizetype &i = start.digits;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        start.base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        start.base = 16;
        i += 2;
    } else if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        start.negative = text[i] == u'-';
        ++i;
    }
    return start;
}
} // namespace

long long ParseNumber(QStringView text)
{
    const NumberStart start = FindNumberStart(text);
    qsizetype i = start.digits;
    const qsizetype n = text.size();
    const int base = start.base;
    const bool negative = start.negative;

    unsigned long long magnitude = 0;
    bool anyDigit = false;
    for (; i < n; ++i) {
        const int d = digitValue(text[i], base);
        if (d < 0)
            return static_cast<long long>(magnitude); // stopped early: no sign
        anyDigit = true;
        if (magnitude > (MaxMagnitude - static_cast<unsigned long long>(d)) / base)
            magnitude = MaxMagnitude;
        else
            magnitude = magnitude * base + static_cast<unsigned long long>(d);
    }
    if (!anyDigit)
        return 0;
    const auto value = static_cast<long long>(magnitude);
    return negative ? -value : value;
}

NumberText ClassifyNumberText(QStringView text)
{
    const NumberStart start = FindNumberStart(text);
    qsizetype i = start.digits;
    const qsizetype n = text.size();
    const int base = start.base;
    if (i == n)
        return NumberText::Unfinished;
    for (; i < n; ++i) {
        if (digitValue(text[i], base) < 0)
            return NumberText::Invalid;
    }
    return NumberText::Complete;
}
