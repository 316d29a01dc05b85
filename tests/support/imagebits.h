#pragma once

#include "config/configimage.h"

#include <array>
#include <cstdint>

// A mask for every byte of an image, made of whole bytes and single bits.
class ImageBits
{
public:
    void all(int from, int count)
    {
        for (int i = from; i < from + count; ++i)
            m_mask[static_cast<std::size_t>(i)] = 0xFF;
    }
    void bits(int offset, std::uint8_t mask) { m_mask[static_cast<std::size_t>(offset)] |= mask; }
    std::uint8_t operator[](int offset) const { return m_mask[static_cast<std::size_t>(offset)]; }

private:
    std::array<std::uint8_t, ConfigImage::Size> m_mask{};
};

// Bits of each image byte that a capture of relay page p owns: the page's own records and
// its bits in the shared bytes, the running lights, the globals and the name slots. Written
// out by offset rather than taken from the layout, so a layout that moves a record fails.
inline ImageBits OwnedBits(int p)
{
    ImageBits owned;
    owned.all(2 * p, 1);
    owned.bits(2 * p + 1, 0x3F);
    owned.all(16 + 14 * p, 14);
    owned.bits(128 + 3 * p, 0x07);
    owned.all(129 + 3 * p, 2);
    owned.bits(152 + 8 * p, 0x03);
    owned.all(153 + 8 * p, 7);
    owned.all(222, 16);
    owned.bits(244, 0x06);
    owned.all(245, 1);
    owned.bits(246, static_cast<std::uint8_t>(1u << p));
    owned.all(247, 1);
    owned.bits(248, static_cast<std::uint8_t>(1u << p));
    owned.bits(256 + 4 * p, 0x01);
    owned.all(257 + 4 * p, 3);
    owned.all(512, 9 * 16);
    owned.all(904, 6);
    owned.all(920 + 2 * p, 2);
    return owned;
}
