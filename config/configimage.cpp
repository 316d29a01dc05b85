#include "config/configimage.h"

#include <stdexcept>

namespace {
void checkBit(int bit)
{
    if (bit < 0 || bit > 7)
        throw std::out_of_range("image bit out of range");
}
} // namespace

void SetImageBit(ConfigImage &image, int offset, int bit)
{
    checkBit(bit);
    image[offset] = static_cast<std::uint8_t>(image[offset] | (1u << bit));
}

void ClearImageBit(ConfigImage &image, int offset, int bit)
{
    checkBit(bit);
    image[offset] = static_cast<std::uint8_t>(image[offset] & ~(1u << bit));
}

bool TestImageBit(const ConfigImage &image, int offset, int bit)
{
    checkBit(bit);
    return (image[offset] >> bit) & 1u;
}

void AssignImageBit(ConfigImage &image, int offset, int bit, bool value)
{
    if (value)
        SetImageBit(image, offset, bit);
    else
        ClearImageBit(image, offset, bit);
}

std::uint8_t DayMask(std::uint8_t index)
{
    if (index <= 6)
        return static_cast<std::uint8_t>(1u << index);
    switch (index) {
    case 7:
        return 0x3E; // Mo-Fr
    case 8:
        return 0x41; // Sa-So
    case 9:
        return 0x7F; // Mo-So
    default:
        return 0;
    }
}

std::uint8_t OneHot(int index, int k)
{
    const int shift = index + k;
    if (shift < 0 || shift > 7)
        return 0;
    return static_cast<std::uint8_t>(1u << shift);
}
