#include "tools/cardsim_core.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Feeds bytes one by one and collects every reply, as the line would carry them.
Bytes Feed(CardSimCore &card, const Bytes &in, CardSimCore::Clock::time_point t = {},
           bool *hungUp = nullptr)
{
    Bytes out;
    for (const std::uint8_t b : in) {
        const auto reply = card.Receive(b, t);
        out.insert(out.end(), reply.bytes.begin(), reply.bytes.end());
        if (hungUp && reply.hangUp)
            *hungUp = true;
    }
    return out;
}

Bytes Upload(int blocks, bool final)
{
    Bytes bytes{68};
    for (int i = 0; i < 16 * blocks; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i));
    if (final)
        bytes.insert(bytes.end(), {9, 8, 7, 6, 5, 4, 3, 2, 1});
    return bytes;
}

struct CoreCase
{
    const char *name;
    CardSimOptions options;
    Bytes in;
    Bytes out;
    std::size_t uploads;
};

class CardSimCoreTest : public ::testing::TestWithParam<CoreCase>
{
};

TEST_P(CardSimCoreTest, Replies)
{
    const CoreCase &c = GetParam();
    CardSimCore card(c.options);
    EXPECT_EQ(Feed(card, c.in), c.out);
    EXPECT_EQ(card.Uploads().size(), c.uploads);
}

CardSimOptions With(int version = 137, int drop = -1, int extra = -1, int noise = 0)
{
    CardSimOptions o;
    o.version = static_cast<std::uint8_t>(version);
    o.dropAckAfterBlock = drop;
    o.extraAckAfterBlock = extra;
    o.noiseBytes = noise;
    o.measurement = {128, 129, 255, 65};
    return o;
}

Bytes Acks(int n)
{
    return Bytes(static_cast<std::size_t>(n), 65);
}

Bytes Join(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Protocol, CardSimCoreTest,
    ::testing::Values(
        CoreCase{"Version", With(), {76}, {137}, 0},
        CoreCase{"WrongVersion", With(136), {76}, {136}, 0},
        CoreCase{"Measurement", With(), {84}, {128, 129, 255, 65}, 0},
        CoreCase{"UnknownBytesIgnored", With(), {0, 65, 200}, {}, 0},
        CoreCase{"FullUpload", With(), Upload(32, true), Acks(34), 1},
        // Inside an upload "L" and "T" are image data, not commands.
        CoreCase{"CommandsInsideUploadAreData", With(), {68, 76, 84}, {65}, 0},
        CoreCase{"MissingAck", With(137, 3), Upload(32, true), Acks(33), 1},
        CoreCase{"MissingFinalAck", With(137, 32), Upload(32, true), Acks(33), 1},
        CoreCase{"SurplusAck", With(137, -1, 0), Upload(1, false), Acks(3), 0},
        CoreCase{"Noise", With(137, -1, -1, 2), {76, 68}, {0x00, 0xFF, 137, 0x0D, 0x2A, 65}, 0},
        CoreCase{"TwoUploads", With(), Join(Upload(32, true), Upload(32, true)), Acks(68), 2}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CardSimCore, RecordsTheUploadAsReceived)
{
    CardSimCore card;
    const Bytes upload = Upload(32, true);
    Feed(card, upload);
    ASSERT_EQ(card.Uploads().size(), 1u);
    EXPECT_EQ(card.Uploads().front(), upload);
    EXPECT_EQ(upload.size(), static_cast<std::size_t>(CardSimCore::UploadBytes));
}

TEST(CardSimCore, HangsUpAfterTheChosenBlockWithoutAck)
{
    CardSimOptions o;
    o.hangupAfterBlock = 2;
    CardSimCore card(o);
    bool hungUp = false;
    EXPECT_EQ(Feed(card, Upload(2, false), {}, &hungUp), Acks(3)); // "D" and blocks 0, 1
    EXPECT_FALSE(hungUp);
    EXPECT_TRUE(Feed(card, Bytes(16, 1), {}, &hungUp).empty());
    EXPECT_TRUE(hungUp);
}

TEST(CardSimCore, AbandonsAnUploadThatStopsMidway)
{
    CardSimCore card;
    const CardSimCore::Clock::time_point t0{};
    Feed(card, Upload(3, false), t0);
    EXPECT_TRUE(card.InUpload());
    // After the pause a version query is a command again.
    EXPECT_EQ(Feed(card, {76}, t0 + 2s), Bytes{137});
    EXPECT_FALSE(card.InUpload());
}

TEST(CardSimCore, HexDumpSixteenBytesALine)
{
    Bytes bytes(18);
    bytes[0] = 0x44;
    bytes[17] = 0xFF;
    EXPECT_EQ(CardSimCore::HexDump(bytes), "0000: 44 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
                                           "0010: 00 ff\n");
}

} // namespace
