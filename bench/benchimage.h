#pragma once

#include "config/configimage.h"

#include <cstdint>

// The image every upload benchmark sends: each byte different from its neighbours, so a
// shifted or repeated block would show in the card's record.
inline ConfigImage BenchImage()
{
    ConfigImage image;
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + 1);
    return image;
}
