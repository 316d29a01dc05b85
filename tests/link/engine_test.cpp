#include "link/linkclock.h"
#include "link/linkengine.h"
#include "tests/support/fakeport.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include <ostream>

namespace {

constexpr int Idle = LinkEngine::Idle;
constexpr int AwaitVersion = LinkEngine::AwaitVersion;
constexpr int MeasureCollect = LinkEngine::MeasureCollect;
// The step that waits for the acknowledgement of block 1 to 33.
constexpr int Awaiting(int block)
{
    return LinkEngine::BlockDueStep(block) + 1;
}

class EngineTest : public ::testing::Test
{
protected:
    EngineTest()
    {
        QObject::connect(&engine, &LinkEngine::progressChanged,
                         [this](int value) { progress.push_back(value); });
        QObject::connect(&engine, &LinkEngine::measured, [this](int a, int b, int c, int d) {
            measurement = {a, b, c, d};
        });
        QObject::connect(&engine, &LinkEngine::uploadCompleted, [this] { ++completions; });
        QObject::connect(&engine, &LinkEngine::sendDisabled, [this] { ++disabled; });
    }

    void AttachCard(CardSimOptions options = {}) { port.card.emplace(options); }

    // Sets the clock to a Wednesday 14:05:09 and returns the engine to idle.
    void SetClock()
    {
        clock.Timer2Timer(QDateTime(QDate(2024, 3, 6), QTime(14, 5, 9)));
        engine.Button2Click();
        progress.clear();
    }

    int Ticks(int count)
    {
        for (int i = 0; i < count; ++i)
            engine.Timer1Timer();
        return engine.LinkStep();
    }

    // Drives the engine into a state: "idle", "poll" (waiting for the version), "measure"
    // (collecting), "accept" (waiting for the card to take the upload), "block0" (block 1 out).
    void Enter(const std::string &state)
    {
        if (state == "poll") {
            engine.StartPoll();
            Ticks(1);
        } else if (state == "measure") {
            engine.Button3Click();
            Ticks(1);
        } else if (state == "accept" || state == "block0") {
            engine.Button1Click();
            Ticks(1);
            if (state == "block0") {
                port.Queue({65});
                Ticks(1);
            }
        }
        port.sent.clear();
    }

    FakePort port;
    ConfigImage image = PatternImage();
    LinkClock clock;
    LinkEngine engine{port, image, clock.Values()};
    std::vector<int> progress;
    std::vector<int> measurement;
    int completions = 0;
    int disabled = 0;
};

TEST_F(EngineTest, FullUploadSendsEveryByteInOrderOneBlockPerTick)
{
    SetClock();
    AttachCard();
    engine.Button1Click();

    // The first tick sends "D", reads the card's 65 and sends block 0 at once.
    EXPECT_EQ(Ticks(1), Awaiting(1));
    EXPECT_EQ(port.sent.size(), 1u + 16u);
    for (int block = 2; block <= LinkEngine::BlockCount; ++block)
        ASSERT_EQ(Ticks(1), Awaiting(block)) << "block " << block;
    EXPECT_EQ(Ticks(1), Awaiting(LinkEngine::FinalBlock));
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(Ticks(1), Idle);
    EXPECT_EQ(completions, 1);

    EXPECT_EQ(port.sent, ExpectedUpload(image, clock));
    EXPECT_EQ(port.card->Uploads().size(), 1u);
    std::vector<int> expectedProgress;
    for (int block = 1; block <= LinkEngine::FinalBlock; ++block)
        expectedProgress.push_back(Awaiting(block));
    expectedProgress.push_back(LinkEngine::ProgressMax);
    EXPECT_EQ(progress, expectedProgress);
    EXPECT_TRUE(engine.CardSeen());
}

TEST_F(EngineTest, BlocksAreReadFromTheImageWhenTheyGoOut)
{
    SetClock();
    AttachCard();
    engine.Button1Click();
    Ticks(3);          // blocks 0 to 2 are out
    image[5] = 0xEE;   // block 0: already sent, keeps the old value on the wire
    image[300] = 0xDD; // block 18: not sent yet
    Ticks(40);
    ASSERT_EQ(port.card->Uploads().size(), 1u);
    const auto &upload = port.card->Uploads().front();
    EXPECT_NE(upload[1 + 5], 0xEE);
    EXPECT_EQ(upload[1 + 300], 0xDD);
}

// Faults of the card, each against the complete expected wire traffic: no block may be
// skipped and success may only be reported when the last block was acknowledged.
struct CardFaultCase
{
    const char *name;
    CardSimOptions options;
    bool completes;
    int finalStep;
};

class EngineCardFaultTest : public EngineTest, public ::testing::WithParamInterface<CardFaultCase>
{
};

TEST_P(EngineCardFaultTest, UploadOutcome)
{
    const CardFaultCase &c = GetParam();
    SetClock();
    AttachCard(c.options);
    engine.Button1Click();
    Ticks(60);
    EXPECT_EQ(engine.LinkStep(), c.finalStep);
    EXPECT_EQ(completions, c.completes ? 1 : 0);
    const std::vector<std::uint8_t> expected = ExpectedUpload(image, clock);
    if (c.completes) {
        EXPECT_EQ(port.sent, expected);
    } else {
        // Whatever went out is a prefix of the correct upload: nothing skipped.
        ASSERT_LE(port.sent.size(), expected.size());
        EXPECT_TRUE(std::equal(port.sent.begin(), port.sent.end(), expected.begin()));
    }
}

CardSimOptions Fault(int drop, int extra, int noise = 0)
{
    CardSimOptions o;
    o.dropAckAfterBlock = drop;
    o.extraAckAfterBlock = extra;
    o.noiseBytes = noise;
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EngineCardFaultTest,
    ::testing::Values(CardFaultCase{"SurplusAckThenMissingLast", Fault(32, 30), false, Idle},
                      CardFaultCase{"SurplusAckAfterBlock5", Fault(-1, 5), false, Idle},
                      CardFaultCase{"SurplusAckAfterFinalBlock", Fault(-1, 32), true, Idle},
                      CardFaultCase{"MissingAckAfterBlock3", Fault(3, -1), false, Awaiting(4)},
                      CardFaultCase{"NoFault", Fault(-1, -1), true, Idle},
                      CardFaultCase{"NoiseBeforeEveryReply", Fault(-1, -1, 3), true, Idle}),
    [](const auto &info) { return std::string(info.param.name); });

// Received bytes in a given state, one tick: what LinkStep, CardSeen and the buffer become.
struct ByteCase
{
    const char *name;
    const char *state;
    std::vector<int> bytes;
    int step;
    bool cardSeen;
    int measureCount;
    std::size_t sentCount; // bytes sent in the tick
};

class EngineByteTest : public EngineTest, public ::testing::WithParamInterface<ByteCase>
{
};

TEST_P(EngineByteTest, OneTick)
{
    const ByteCase &c = GetParam();
    Enter(c.state);
    for (const int b : c.bytes)
        port.rx.push_back(b);
    engine.Timer1Timer();
    EXPECT_EQ(engine.LinkStep(), c.step);
    EXPECT_EQ(engine.CardSeen(), c.cardSeen);
    EXPECT_EQ(engine.MeasureCount(), c.measureCount);
    EXPECT_EQ(port.sent.size(), c.sentCount);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, EngineByteTest,
    ::testing::Values(
        // A stray 65 while idle marks the card as seen but leaves the engine idle.
        ByteCase{"StrayAckWhileIdle", "idle", {65}, Idle, true, 0, 0},
        ByteCase{"VersionByteWhileIdleIgnored", "idle", {137}, Idle, false, 0, 0},
        ByteCase{"Version137", "poll", {137}, Idle, true, 0, 0},
        ByteCase{"AckAnswersPollWithoutVerdict", "poll", {65}, Idle, true, 0, 0},
        ByteCase{"NonVersionByteDroppedAtPoll", "poll", {0x7F}, AwaitVersion, false, 0, 0},
        ByteCase{"TopBitsElevenDroppedAtPoll", "poll", {0xC9}, AwaitVersion, false, 0, 0},
        ByteCase{"NoiseThenVersion", "poll", {0, 255, 137}, Idle, true, 0, 0},
        ByteCase{"AckAcceptsUpload", "accept", {65}, Awaiting(1), true, 0, 16},
        // A second 65 that no block awaits gives the upload up: nothing more goes out.
        ByteCase{"TwoAcksForTheAcceptDisturb", "accept", {65, 65}, Idle, true, 0, 0},
        ByteCase{"TwoAcksAfterABlockDisturb", "block0", {65, 65}, Idle, true, 0, 0},
        ByteCase{"ThreeAcksAfterABlockDisturb", "block0", {65, 65, 65}, Idle, true, 0, 0},
        ByteCase{"VersionByteDuringUploadIgnored", "block0", {137}, Awaiting(1), true, 0, 0},
        ByteCase{"AckAsFirstMeasurementByteIsData", "measure", {65}, MeasureCollect, true, 1, 0},
        ByteCase{"AckAsLastMeasurementByteIsData", "measure", {1, 2, 3, 65}, Idle, true, 4, 0},
        ByteCase{"MeasurementComplete", "measure", {20, 21, 22, 50}, Idle, false, 4, 0},
        // Bytes after the fourth fall to idle and are dropped; the buffer keeps four places.
        ByteCase{"SurplusMeasurementBytes", "measure", {1, 2, 3, 4, 5, 6, 7}, Idle, false, 4, 0},
        ByteCase{
            "SurplusAckAfterMeasurementStaysIdle", "measure", {1, 2, 3, 4, 65}, Idle, true, 4, 0}),
    [](const auto &info) { return std::string(info.param.name); });

struct MeasurementCase
{
    std::array<int, 4> bytes;
    std::vector<int> shown; // three temperatures in °C, humidity in %
};

class EngineMeasurementTest : public EngineTest,
                              public ::testing::WithParamInterface<MeasurementCase>
{
};

TEST_P(EngineMeasurementTest, LabelsShowSignedTemperaturesAndHumidity)
{
    const MeasurementCase &c = GetParam();
    engine.Button3Click();
    engine.Timer1Timer();
    EXPECT_EQ(port.sent, std::vector<std::uint8_t>{84});
    for (const int b : c.bytes)
        port.rx.push_back(b);
    engine.Timer1Timer();
    EXPECT_EQ(measurement, c.shown);
    EXPECT_EQ(engine.LinkStep(), LinkEngine::Idle);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(engine.MeasureBuffer()[i], c.bytes[i]);
    // Idle again: the next poll starts.
    engine.StartPoll();
    EXPECT_EQ(engine.LinkStep(), LinkEngine::PollAsked);
}

INSTANTIATE_TEST_SUITE_P(
    Values, EngineMeasurementTest,
    ::testing::Values(MeasurementCase{{128, 129, 255, 255}, {128, -127, -1, 255}},
                      MeasurementCase{{128, 129, 255, 65}, {128, -127, -1, 65}},
                      MeasurementCase{{65, 0, 127, 0}, {65, 0, 127, 0}}));

TEST_F(EngineTest, MeasurementSplitOverTicks)
{
    engine.Button3Click();
    engine.Timer1Timer();
    port.Queue({10, 65});
    engine.Timer1Timer();
    EXPECT_EQ(engine.LinkStep(), LinkEngine::MeasureCollect);
    EXPECT_TRUE(measurement.empty());
    port.Queue({12, 40});
    engine.Timer1Timer();
    EXPECT_EQ(measurement, (std::vector<int>{10, 65, 12, 40}));
}

struct VersionCase
{
    int version;
    bool ok;
};

class EngineVersionTest : public EngineTest, public ::testing::WithParamInterface<VersionCase>
{
};

TEST_P(EngineVersionTest, WrongVersionDisablesSendForGood)
{
    const VersionCase &c = GetParam();
    engine.StartPoll();
    engine.Timer1Timer();
    EXPECT_EQ(port.sent, std::vector<std::uint8_t>{76});
    port.Queue({c.version});
    engine.Timer1Timer();
    EXPECT_EQ(engine.VersionOk(), c.ok);
    EXPECT_EQ(disabled, c.ok ? 0 : 1);
    // A later good answer clears VersionOk's warning but never enables "Send" again.
    engine.StartPoll();
    EXPECT_TRUE(engine.VersionOk());
    engine.Timer1Timer();
    port.Queue({137});
    engine.Timer1Timer();
    EXPECT_EQ(disabled, c.ok ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Versions, EngineVersionTest,
                         ::testing::Values(VersionCase{137, true}, VersionCase{136, false},
                                           VersionCase{138, false}, VersionCase{128, false},
                                           VersionCase{191, false}));

TEST_F(EngineTest, MessenDuringUploadBreaksOffAndKeepsBar)
{
    SetClock();
    AttachCard();
    engine.Button1Click();
    Ticks(5);
    const int bar = progress.back();
    EXPECT_EQ(bar, 14);
    engine.Button3Click();
    port.sent.clear();
    port.rx.clear();
    engine.Timer1Timer();
    EXPECT_EQ(port.sent.front(), 84);
    EXPECT_EQ(progress.back(), bar);
    EXPECT_EQ(completions, 0);
}

TEST_F(EngineTest, SendDuringPollStartsNothing)
{
    engine.StartPoll();
    engine.Button1Click();
    EXPECT_EQ(engine.LinkStep(), LinkEngine::PollAsked);
    engine.Timer1Timer();
    engine.Button1Click();
    EXPECT_EQ(engine.LinkStep(), LinkEngine::AwaitVersion);
    EXPECT_EQ(port.sent, std::vector<std::uint8_t>{76});
}

TEST_F(EngineTest, PollStartsOnlyWhenIdleOrUnanswered)
{
    for (const char *state : {"accept", "block0", "measure"}) {
        engine.Button2Click();
        Enter(state);
        const int step = engine.LinkStep();
        engine.StartPoll();
        EXPECT_EQ(engine.LinkStep(), step) << state;
    }
    engine.Button2Click();
    Enter("poll");
    engine.StartPoll();
    EXPECT_EQ(engine.LinkStep(), LinkEngine::PollAsked);
}

TEST_F(EngineTest, ClosedPortStandsStillAndResumes)
{
    port.isOpen = false;
    engine.Button1Click();
    Ticks(5);
    EXPECT_EQ(engine.LinkStep(), LinkEngine::UploadAsked);
    EXPECT_TRUE(port.sent.empty());
    EXPECT_EQ(port.reads, 0);
    EXPECT_TRUE(progress.empty());
    port.isOpen = true;
    engine.Timer1Timer();
    EXPECT_EQ(port.sent, std::vector<std::uint8_t>{68});
    EXPECT_EQ(engine.LinkStep(), LinkEngine::AwaitUploadAccept);
}

TEST_F(EngineTest, ResetReturnsToIdleFromAnyStateAndClearsBar)
{
    for (const char *state : {"accept", "block0", "measure", "poll"}) {
        Enter(state);
        progress.clear();
        engine.Button2Click();
        EXPECT_EQ(engine.LinkStep(), LinkEngine::Idle) << state;
        EXPECT_EQ(progress, std::vector<int>{0}) << state;
    }
}

TEST_F(EngineTest, ChatteringLineCannotHoldTheTickForever)
{
    Enter("poll");
    // A device that never falls silent: every read finds a byte.
    port.rx.assign(100000, 0x2A);
    port.reads = 0;
    engine.Timer1Timer();
    EXPECT_LE(port.reads, LinkEngine::MaxBytesPerTick);
    // What is still waiting is read at the next ticks; a reply behind it still counts.
    port.rx.assign(LinkEngine::MaxBytesPerTick + 3, 0x2A);
    port.rx.push_back(137);
    Ticks(3);
    EXPECT_EQ(engine.LinkStep(), LinkEngine::Idle);
    EXPECT_TRUE(engine.CardSeen());
}

// A step runs on every tick and on every arrival of bytes. However ticks and arrivals
// interleave, and however the card's answers are split into arrivals, the wire carries the
// same upload in the same order, every block once.
struct InterleavingCase
{
    const char *name;
    unsigned seed;
    int maxBytesPerArrival;
    int tickPercent; // share of steps that are ticks with nothing new arrived
    CardSimOptions options;
};

void PrintTo(const InterleavingCase &c, std::ostream *out)
{
    *out << c.name;
}

class EngineInterleavingTest : public EngineTest,
                               public ::testing::WithParamInterface<InterleavingCase>
{
};

TEST_P(EngineInterleavingTest, SameUploadWhateverRunsTheSteps)
{
    const InterleavingCase &c = GetParam();
    SetClock();
    AttachCard(c.options);
    port.holdReplies = true;
    std::mt19937 random(c.seed);
    engine.Button1Click();
    for (int step = 0; step < 5000 && completions == 0; ++step) {
        if (int(random() % 100) >= c.tickPercent)
            port.Deliver(1 + random() % std::size_t(c.maxBytesPerArrival));
        engine.Timer1Timer();
    }
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(engine.LinkStep(), LinkEngine::Idle);
    EXPECT_EQ(port.sent, ExpectedUpload(image, clock));
    ASSERT_EQ(port.card->Uploads().size(), 1u);
    // Steps without news send nothing: the progress only ever moves forward.
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

CardSimOptions Noisy(int bytes)
{
    CardSimOptions options;
    options.noiseBytes = bytes;
    return options;
}

INSTANTIATE_TEST_SUITE_P(Orders, EngineInterleavingTest,
                         ::testing::Values(InterleavingCase{"ArrivalsOnly", 1, 1, 0, {}},
                                           InterleavingCase{"MostlyTicks", 2, 1, 90, {}},
                                           InterleavingCase{"WholeRepliesAtOnce", 3, 64, 50, {}},
                                           InterleavingCase{"NoiseSplitAnyhow", 4, 3, 30,
                                                            Noisy(5)}),
                         [](const auto &info) { return std::string(info.param.name); });

// On a real line a block takes 67 ms to the card: a 65 sooner than the wire could carry the
// bytes before it, or one that no block awaits, is no acknowledgement of the card's. The
// upload is given up where it stood (the card must be reset); only one in which every block
// went out after its own acknowledgement completes.
struct LineClockCase
{
    const char *name;
    int strayAfter;       // -1: none; else after that many acknowledgements (0: after "D")
    std::int64_t strayUs; // after what was sent last left
    int disturbedAt;      // 0: the upload completes
};

TEST_F(EngineTest, AcknowledgementsTheLineCannotHaveCarriedDisturbTheUpload)
{
    const LineClockCase cases[] = {
        {"every acknowledgement in its time", -1, 0, 0},
        {"a 65 quicker than one byte after D", 0, 3000, 1},
        {"the card's surplus 65, 4 ms after its accept", 1, 4000, 1},
        {"a stray 65 in the middle of block 20", 20, 30000, 20},
        {"a 65 right after the final block", 33, 2000, 33},
    };
    SetClock();
    for (const LineClockCase &c : cases) {
        std::int64_t nowUs = 0;
        LinkEngine engine(port, image, clock.Values());
        engine.setLineClock([&nowUs] { return nowUs; });
        int completed = 0, disturbedAt = 0;
        QObject::connect(&engine, &LinkEngine::uploadCompleted, [&] { ++completed; });
        QObject::connect(&engine, &LinkEngine::uploadDisturbed, [&](int b) { disturbedAt = b; });
        port.sent.clear();
        engine.Button1Click();
        engine.Timer1Timer(); // "D" at 0 ms
        // Acknowledgement n answers "D" (0), block n (1 to 32) or the final block (33).
        for (int ack = 0; ack <= 33 && !disturbedAt && !completed; ++ack) {
            const int bytes = ack == 0 ? 1 : ack == 33 ? 9 : 16;
            if (c.strayAfter == ack) {
                nowUs += c.strayUs;
                port.Queue({65});
                engine.Timer1Timer();
                if (disturbedAt)
                    break;
            }
            nowUs += (bytes + 1) * LinkEngine::ByteTimeUs;
            port.Queue({65});
            engine.Timer1Timer();
        }
        EXPECT_EQ(disturbedAt, c.disturbedAt) << c.name;
        EXPECT_EQ(completed, c.disturbedAt ? 0 : 1) << c.name;
        EXPECT_EQ(engine.LinkStep(), LinkEngine::Idle) << c.name;
        const std::vector<std::uint8_t> expected = ExpectedUpload(image, clock);
        if (!c.disturbedAt) {
            EXPECT_EQ(port.sent, expected) << c.name;
        } else {
            // Nothing beyond the blocks before the disturbance.
            EXPECT_LE(port.sent.size(), std::size_t(1 + 16 * c.disturbedAt)) << c.name;
            EXPECT_TRUE(std::equal(port.sent.begin(), port.sent.end(), expected.begin())) << c.name;
        }
    }
}

TEST_F(EngineTest, NoAnswerWaitsWithoutTimeOut)
{
    Enter("accept");
    EXPECT_EQ(Ticks(200), 4);
    EXPECT_TRUE(port.sent.empty());
}

} // namespace
