#pragma once

#include "link/porttarget.h"
#include "link/transport.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <vector>

// The one scripted line of the tests and the engine fuzzer: received bytes are queued by the
// caller, sent bytes are recorded, and `answer`, when set, replies to each sent byte (a card
// that answers at once). With holdReplies the answers wait in `pending` until Deliver lets
// them arrive. Nothing is signalled by itself: the caller steps the engine.
class FakeLine : public Transport
{
public:
    void open(const PortTarget &) override { isOpen = true; }
    void close() override { isOpen = false; }
    bool PortOpen() const override { return isOpen; }

    void SendByte(int value) override
    {
        const auto byte = static_cast<std::uint8_t>(value & 0xFF);
        sent.push_back(byte);
        if (answer) {
            const std::vector<std::uint8_t> reply = answer(byte);
            auto &to = holdReplies ? pending : rx;
            to.insert(to.end(), reply.begin(), reply.end());
        }
    }
    int ReadByte() override
    {
        ++reads;
        if (onRead)
            onRead();
        if (rx.empty())
            return -1;
        const int byte = rx.front();
        rx.pop_front();
        return byte;
    }

    void Queue(std::initializer_list<int> bytes)
    {
        rx.insert(rx.end(), bytes.begin(), bytes.end());
    }
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
    bool isOpen = true;
    std::function<std::vector<std::uint8_t>(std::uint8_t)> answer;
    std::function<void()> onRead; // a check of the reader's (the fuzzer's invariants)
};
