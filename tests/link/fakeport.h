#pragma once

#include "byteport.h"
#include "cardsim_core.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// A port whose received bytes are queued by the test, and which records what is sent.
// With a card attached, every sent byte is answered at once, as by a quick card.
class FakePort : public BytePort
{
public:
    void SendByte(int value) override
    {
        const auto byte = static_cast<std::uint8_t>(value & 0xFF);
        sent.push_back(byte);
        if (card) {
            const auto reply = card->Receive(byte, CardSimCore::Clock::now());
            rx.insert(rx.end(), reply.bytes.begin(), reply.bytes.end());
        }
    }
    int ReadByte() override
    {
        ++reads;
        if (rx.empty())
            return -1;
        const int byte = rx.front();
        rx.pop_front();
        return byte;
    }
    bool PortOpen() const override { return open; }

    void Queue(std::initializer_list<int> bytes) { rx.insert(rx.end(), bytes); }

    std::deque<int> rx;
    std::vector<std::uint8_t> sent;
    int reads = 0;
    bool open = true;
    std::optional<CardSimCore> card;
};

#include "configimage.h"
#include "linkclock.h"

// What the card must receive for one upload: "D", image bytes 0 to 511, then the clock,
// today's bit and bytes 244, 245, 246, 248, 247.
inline std::vector<std::uint8_t> ExpectedUpload(const ConfigImage &image, const LinkClock &clock)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(1 + ConfigImage::UploadSize + 9);
    bytes.push_back(68);
    for (int i = 0; i < ConfigImage::UploadSize; ++i)
        bytes.push_back(image[i]);
    for (const std::uint8_t b :
         {clock.ClockSecond(), clock.ClockMinute(), clock.ClockHour(), clock.TodayMask(),
          image[244], image[245], image[246], image[248], image[247]})
        bytes.push_back(b);
    return bytes;
}

// An image whose every uploaded byte tells its place, with 244 to 248 all different.
inline ConfigImage PatternImage()
{
    ConfigImage image;
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return image;
}
