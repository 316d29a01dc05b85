#include "config/configimage.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(DayMask, EveryListIndex)
{
    const struct
    {
        int index;
        int mask;
    } cases[] = {{0, 1},  {1, 2},  {2, 4},   {3, 8},  {4, 16}, {5, 32},  {6, 64},
                 {7, 62}, {8, 65}, {9, 127}, {10, 0}, {11, 0}, {128, 0}, {255, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(DayMask(static_cast<std::uint8_t>(c.index)), c.mask) << "index " << c.index;
}

TEST(OneHot, EightBitShiftDropsHighIndices)
{
    const struct
    {
        int index, k, value;
    } cases[] = {{0, 0, 1},   {3, 0, 8}, {7, 0, 128}, {8, 0, 0}, {-1, 0, 0}, {0, 2, 4},
                 {5, 2, 128}, {6, 2, 0}, {-1, 2, 2},  {2, 0, 4}, {40, 0, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(OneHot(c.index, c.k), c.value) << c.index << " + " << c.k;
}

TEST(ImageBits, SetClearTestTouchOnlyTheirBit)
{
    ConfigImage image;
    image[300] = 0b1010'0101;
    SetImageBit(image, 300, 1);
    EXPECT_EQ(image[300], 0b1010'0111);
    ClearImageBit(image, 300, 7);
    EXPECT_EQ(image[300], 0b0010'0111);
    SetImageBit(image, 300, 0); // already set
    EXPECT_EQ(image[300], 0b0010'0111);
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_EQ(TestImageBit(image, 300, bit), ((0b0010'0111 >> bit) & 1) == 1) << bit;
    EXPECT_EQ(image[299], 0);
    EXPECT_EQ(image[301], 0);

    AssignImageBit(image, 1023, 7, true);
    EXPECT_EQ(image[1023], 0x80);
    AssignImageBit(image, 1023, 7, false);
    EXPECT_EQ(image[1023], 0);
}

TEST(ImageBits, OutOfRangeOffsetsAndBitsAreRejected)
{
    ConfigImage image;
    EXPECT_THROW(SetImageBit(image, 1024, 0), std::out_of_range);
    EXPECT_THROW(SetImageBit(image, -1, 0), std::out_of_range);
    EXPECT_THROW(SetImageBit(image, 0, 8), std::out_of_range);
    EXPECT_THROW(TestImageBit(image, 0, -1), std::out_of_range);
    EXPECT_EQ(image, ConfigImage{});
}

TEST(LowByte, TwosComplement)
{
    EXPECT_EQ(LowByte(300), 44);
    EXPECT_EQ(LowByte(-5), 251);
    EXPECT_EQ(LowByte(-128), 128);
    EXPECT_EQ(LowByte(-1), 255);
    EXPECT_EQ(LowByte(256), 0);
}
