#pragma once

#include "config/configimage.h"

#include <array>
#include <cstdint>

// Bits of each image byte that a capture of relay page p owns: the page's own records and
// its bits in the shared bytes, the running lights, the globals and the name slots. Written
// out by offset rather than taken from the layout, so a layout that moves a record fails.
inline std::array<std::uint8_t, ConfigImage::Size> OwnedBits(int p)
{
    std::array<std::uint8_t, ConfigImage::Size> owned{};
    const auto all = [&](int from, int count) {
        for (int i = from; i < from + count; ++i)
            owned[static_cast<std::size_t>(i)] = 0xFF;
    };
    const auto bits = [&](int offset, std::uint8_t mask) {
        owned[static_cast<std::size_t>(offset)] |= mask;
    };
    all(2 * p, 1);
    bits(2 * p + 1, 0x3F);
    all(16 + 14 * p, 14);
    bits(128 + 3 * p, 0x07);
    all(129 + 3 * p, 2);
    bits(152 + 8 * p, 0x03);
    all(153 + 8 * p, 7);
    all(222, 16);
    bits(244, 0x06);
    all(245, 1);
    bits(246, static_cast<std::uint8_t>(1u << p));
    all(247, 1);
    bits(248, static_cast<std::uint8_t>(1u << p));
    bits(256 + 4 * p, 0x01);
    all(257 + 4 * p, 3);
    all(512, 9 * 16);
    all(904, 6);
    all(920 + 2 * p, 2);
    return owned;
}
