#pragma once

#include "tests/support/fakeline.h"
#include "tools/cardsim_core.h"
#include "tools/cardsim_expect.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// The scripted line with the virtual card's logic behind it when `card` is set: every sent
// byte is answered at once, as by a quick card.
class FakePort : public FakeLine
{
public:
    FakePort()
    {
        answer = [this](std::uint8_t byte) {
            return card ? card->Receive(byte, CardSimCore::Clock::now()).bytes
                        : std::vector<std::uint8_t>{};
        };
    }
    std::optional<CardSimCore> card;
};

#include "config/configimage.h"
#include "link/linkclock.h"

inline std::vector<std::uint8_t> ExpectedUpload(const ConfigImage &image, const LinkClock &clock)
{
    return ExpectedUpload(image, clock.ClockSecond(), clock.ClockMinute(), clock.ClockHour(),
                          clock.TodayMask());
}

// An image whose every uploaded byte tells its place, with 244 to 248 all different.
inline ConfigImage PatternImage()
{
    ConfigImage image;
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return image;
}
