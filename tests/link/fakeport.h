#pragma once

#include "byteport.h"
#include "cardsim_core.h"
#include "cardsim_expect.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// A port whose received bytes are queued by the test, and which records what is sent.
// With a card attached, every sent byte is answered at once, as by a quick card; with
// holdReplies the answers wait in `pending` until the test lets them arrive.
class FakePort : public BytePort
{
public:
    void SendByte(int value) override
    {
        const auto byte = static_cast<std::uint8_t>(value & 0xFF);
        sent.push_back(byte);
        if (card) {
            const auto reply = card->Receive(byte, CardSimCore::Clock::now());
            auto &to = holdReplies ? pending : rx;
            to.insert(to.end(), reply.bytes.begin(), reply.bytes.end());
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
    // Lets up to n held answers arrive; how many did.
    std::size_t Deliver(std::size_t n)
    {
        std::size_t k = 0;
        for (; k < n && !pending.empty(); ++k) {
            rx.push_back(pending.front());
            pending.pop_front();
        }
        return k;
    }

    std::deque<int> rx;
    std::deque<int> pending;
    bool holdReplies = false;
    std::vector<std::uint8_t> sent;
    int reads = 0;
    bool open = true;
    std::optional<CardSimCore> card;
};

#include "configimage.h"
#include "linkclock.h"

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
