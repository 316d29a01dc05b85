#include "config/numberrule.h"

#include <gtest/gtest.h>

#include <limits>

TEST(NumberRule, Table)
{
    const struct
    {
        const char16_t *text;
        long long value;
        NumberText kind; // how far the rule gets: a field may only keep complete texts
    } cases[] = {
        {u"", 0, NumberText::Unfinished},
        {u"0", 0, NumberText::Complete},
        {u"42", 42, NumberText::Complete},
        {u"  42", 42, NumberText::Complete}, // leading blanks skipped
        {u"42 ", 42, NumberText::Invalid},   // trailing blank stops, digits so far
        {u"-5", -5, NumberText::Complete},
        {u"+7", 7, NumberText::Complete},
        {u"-12a", 12, NumberText::Invalid}, // stopped early: sign dropped
        {u"12a", 12, NumberText::Invalid},
        {u"abc", 0, NumberText::Invalid},
        {u"-", 0, NumberText::Unfinished},
        {u"+", 0, NumberText::Unfinished},
        {u" ", 0, NumberText::Unfinished},
        {u"300", 300, NumberText::Complete},
        {u"$FF", 255, NumberText::Complete},
        {u"$ff", 255, NumberText::Complete},
        {u"x1A", 26, NumberText::Complete},
        {u"X1a", 26, NumberText::Complete},
        {u"0x10", 16, NumberText::Complete},
        {u"0X10", 16, NumberText::Complete},
        {u"$", 0, NumberText::Unfinished},
        {u"0x", 0, NumberText::Unfinished},
        {u"$1G", 1, NumberText::Invalid},
        {u"-$10", 0, NumberText::Invalid}, // no sign before a hex prefix
        {u"--1", 0, NumberText::Invalid},
        {u"007", 7, NumberText::Complete},
        {u"1 2", 1, NumberText::Invalid},
        {u"\t5", 0, NumberText::Invalid}, // only blanks are skipped
        {u"-0", 0, NumberText::Complete},
        {u"12.5", 12, NumberText::Invalid},
        {u"99999999999999999999999", std::numeric_limits<long long>::max(), NumberText::Complete},
        {u"-99999999999999999999999", -std::numeric_limits<long long>::max(), NumberText::Complete},
        {u"$FFFFFFFFFFFFFFFFFF", std::numeric_limits<long long>::max(), NumberText::Complete},
        {u"\u0661", 0, NumberText::Invalid}, // non-ASCII digits do not count
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ParseNumber(QString::fromUtf16(c.text)), c.value)
            << QString::fromUtf16(c.text).toStdString();
        EXPECT_EQ(ClassifyNumberText(QString::fromUtf16(c.text)), c.kind)
            << QString::fromUtf16(c.text).toStdString();
    }
}
