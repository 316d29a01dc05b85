#include "app/editorrules.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

struct LimitCase
{
    const char *text;
    NumberRange range;
    const char *shown;
};

void PrintTo(const LimitCase &c, std::ostream *out)
{
    *out << '"' << c.text << "\" in " << c.range.lowest << ".." << c.range.highest;
}

class LimitNumberTextTest : public testing::TestWithParam<LimitCase>
{
};

TEST_P(LimitNumberTextTest, ShowsTextWithinRangeOrNearestBound)
{
    const LimitCase &c = GetParam();
    EXPECT_EQ(LimitNumberText(QString::fromUtf8(c.text), c.range), QString::fromUtf8(c.shown));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, LimitNumberTextTest,
    testing::Values(
        LimitCase{"300", SecondsRange, "255"}, LimitCase{"255", SecondsRange, "255"},
        LimitCase{"256", SecondsRange, "255"}, LimitCase{"1", SecondsRange, "1"},
        LimitCase{"0", SecondsRange, "1"}, LimitCase{"", SecondsRange, ""},
        LimitCase{"-", SecondsRange, "-"}, LimitCase{" $", SecondsRange, " $"},
        LimitCase{"0X", RandomCounterRange, "0X"}, LimitCase{"abc", SecondsRange, "1"},
        LimitCase{" 7", SecondsRange, " 7"}, LimitCase{"0x10", SecondsRange, "0x10"},
        LimitCase{"0x100", SecondsRange, "255"}, LimitCase{"75", RandomCounterRange, "60"},
        LimitCase{"61", RandomCounterRange, "60"}, LimitCase{"-5", RandomCounterRange, "1"},
        LimitCase{"-1", RandomCounterRange, "1"},
        // The number rule drops the sign when a stray character follows.
        LimitCase{"-5x", RandomCounterRange, "-5x"},
        LimitCase{"99999999999999999999", RandomCounterRange, "60"},
        LimitCase{"-99999999999999999999", RandomCounterRange, "1"},
        LimitCase{"-3", DirectionChangeRange, "0"}, LimitCase{"0", DirectionChangeRange, "0"},
        LimitCase{"1000", DirectionChangeRange, "255"}, LimitCase{"128", ThresholdRange, "128"},
        LimitCase{"129", ThresholdRange, "128"}, LimitCase{"-127", ThresholdRange, "-127"},
        LimitCase{"-128", ThresholdRange, "-127"}, LimitCase{"$FF", ThresholdRange, "128"}));
