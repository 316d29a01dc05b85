#include "numberrule.h"

#include <gtest/gtest.h>

#include <limits>

TEST(NumberRule, Table)
{
    const struct
    {
        const char16_t *text;
        long long value;
    } cases[] = {
        {u"", 0},
        {u"0", 0},
        {u"42", 42},
        {u"  42", 42},     // leading blanks skipped
        {u"42 ", 42},      // trailing blank stops, digits so far
        {u"-5", -5},
        {u"+7", 7},
        {u"-12a", 12},     // stopped early: sign dropped
        {u"12a", 12},
        {u"abc", 0},
        {u"-", 0},
        {u"+", 0},
        {u" ", 0},
        {u"300", 300},
        {u"$FF", 255},
        {u"$ff", 255},
        {u"x1A", 26},
        {u"X1a", 26},
        {u"0x10", 16},
        {u"0X10", 16},
        {u"$", 0},
        {u"0x", 0},
        {u"$1G", 1},
        {u"-$10", 0},      // no sign before a hex prefix
        {u"--1", 0},
        {u"007", 7},
        {u"1 2", 1},
        {u"\t5", 0},       // only blanks are skipped
        {u"-0", 0},
        {u"12.5", 12},
        {u"99999999999999999999999", std::numeric_limits<long long>::max()},
        {u"-99999999999999999999999", -std::numeric_limits<long long>::max()},
        {u"$FFFFFFFFFFFFFFFFFF", std::numeric_limits<long long>::max()},
        {u"\u0661", 0},    // non-ASCII digits do not count
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseNumber(QString::fromUtf16(c.text)), c.value)
            << QString::fromUtf16(c.text).toStdString();
}
