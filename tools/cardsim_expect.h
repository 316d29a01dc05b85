#pragma once

#include <cstdint>
#include <vector>

// What the card must receive for one upload of image (anything with operator[] giving image
// bytes): "D", image bytes 0 to 511, then the clock's second, minute and hour, today's
// weekday bit, and image bytes 244, 245, 246, 248, 247.
template <typename Image>
std::vector<std::uint8_t> ExpectedUpload(const Image &image, std::uint8_t second,
                                         std::uint8_t minute, std::uint8_t hour,
                                         std::uint8_t todayMask)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(1 + 512 + 9);
    bytes.push_back(68);
    for (int i = 0; i < 512; ++i)
        bytes.push_back(image[i]);
    for (const std::uint8_t b : {second, minute, hour, todayMask})
        bytes.push_back(b);
    for (const int offset : {244, 245, 246, 248, 247})
        bytes.push_back(image[offset]);
    return bytes;
}
