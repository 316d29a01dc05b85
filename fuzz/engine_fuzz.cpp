// A card session on a fake port fed an arbitrary byte stream, step by step, with the
// buttons pressed at arbitrary moments. The input is a little program of operations:
//   0 b        the card sends byte b
//   1 n        n times: the card sends 65, then a tick (carries uploads deep quickly)
//   2          one step of the engine (a tick of Timer1 or an arrival: the same routine)
//   3 / 4 / 5  "Send" / "Reset" / "Messen"
//   6 s        one tick of Timer2 (clock refresh and poll start) at a time taken from s
//   7          the port goes away or comes back
//   8 o v      the user edits image byte o (mod 1024) to v between ticks
// and checks after every step what must hold whatever the card or the user does.
#include "config/configimage.h"
#include "link/cardsession.h"
#include "link/linkclock.h"
#include "link/linkengine.h"
#include "tests/support/fakeline.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what, int a = 0, int b = 0)
{
    std::fprintf(stderr, "engine invariant broken: %s (%d, %d)\n", what, a, b);
    std::abort();
}

// The tests' scripted line; a read while it is closed breaks the engine's contract.
class FakePort : public FakeLine
{
public:
    FakePort()
    {
        onRead = [this] {
            if (!isOpen)
                fail("read while the port is closed");
        };
    }
};

bool stepInUse(int step)
{
    return step == LinkEngine::UploadAsked ||
           (step >= LinkEngine::AwaitUploadAccept && step <= LinkEngine::UploadDone) ||
           (step >= LinkEngine::MeasureAsked && step <= LinkEngine::Idle);
}

class Harness
{
public:
    Harness()
    {
        for (int i = 0; i < ConfigImage::Size; ++i)
            image[i] = static_cast<std::uint8_t>(i * 151 + 7);
        QObject::connect(&engine, &LinkEngine::uploadCompleted, [this] {
            if (m_uploadPos != UploadBytes)
                fail("upload reported complete after bytes", m_uploadPos);
            m_uploadActive = false;
        });
        // A disturbed upload is over: not one more byte of it may go out.
        QObject::connect(&engine, &LinkEngine::uploadDisturbed, [this](int block) {
            if (block < 1 || block > LinkEngine::BlockCount + 1)
                fail("disturbed at block", block);
            m_disturbed = true;
        });
        QObject::connect(&engine, &LinkEngine::progressChanged, [](int v) {
            if (v < 0 || v > LinkEngine::UploadDone)
                fail("progress bar value", v);
        });
        QObject::connect(&session, &CardSession::measured,
                         [this](int t1, int t2, int t3, int humidity) {
                             checkMeasurement(t1, t2, t3, humidity);
                         });
    }

    void tick()
    {
        const int before = engine.LinkStep();
        port.sent.clear();
        session.Step();
        if (!port.isOpen) {
            if (!port.sent.empty() || engine.LinkStep() != before)
                fail("engine moved without a port", before, engine.LinkStep());
            return;
        }
        std::size_t i = 0;
        const int command = before == LinkEngine::MeasureAsked  ? LinkEngine::CommandMeasure
                            : before == LinkEngine::UploadAsked ? LinkEngine::CommandUpload
                            : before == LinkEngine::PollAsked   ? LinkEngine::CommandVersion
                                                                : -1;
        if (command >= 0) {
            if (port.sent.empty() || port.sent[0] != command)
                fail("command byte missing at step", before);
            if (command == LinkEngine::CommandUpload) {
                m_uploadActive = true;
                m_uploadPos = 0;
            }
            i = 1;
        }
        const std::size_t data = port.sent.size() - i;
        if (m_disturbed) {
            if (!m_uploadActive || data != 0)
                fail("disturbed outside an upload, or sent on after it", int(data));
            m_uploadActive = false;
            m_disturbed = false;
        }
        if (data == 0)
            return;
        // Never more than one block per tick, and only the block that is due next.
        const int want = m_uploadPos < ConfigImage::UploadSize ? LinkEngine::BlockSize : FinalSize;
        if (!m_uploadActive || data != std::size_t(want))
            fail("unexpected bytes sent in one tick", int(data), m_uploadPos);
        for (std::size_t k = 0; k < data; ++k) {
            if (port.sent[i + k] != expectedByte(m_uploadPos))
                fail("image byte out of order at upload position", m_uploadPos);
            ++m_uploadPos;
        }
    }

    void breakOff() { m_uploadActive = false; }

    void check() const
    {
        if (!stepInUse(engine.LinkStep()))
            fail("LinkStep outside the protocol's values", engine.LinkStep());
        if (engine.MeasureCount() < 0 || engine.MeasureCount() > 4)
            fail("MeasureCount beyond MeasureBuffer", engine.MeasureCount());
    }

    FakePort port;
    ConfigImage image;
    CardSession session{port, image};
    LinkEngine &engine = session.engine();
    const LinkClock &clock = session.clock();

private:
    static constexpr int FinalSize = 9;
    static constexpr int UploadBytes = ConfigImage::UploadSize + FinalSize;

    int expectedByte(int pos) const
    {
        if (pos < ConfigImage::UploadSize)
            return image[pos];
        const int finalBlock[FinalSize] = {
            clock.ClockSecond(), clock.ClockMinute(), clock.ClockHour(),
            clock.TodayMask(),   image[244],          image[245],
            image[246],          image[248],          image[247]};
        return finalBlock[pos - ConfigImage::UploadSize];
    }

    void checkMeasurement(int t1, int t2, int t3, int humidity) const
    {
        const auto &m = engine.MeasureBuffer();
        const auto celsius = [](std::uint8_t b) { return b <= 128 ? int(b) : int(b) - 256; };
        if (engine.MeasureCount() != 4 || t1 != celsius(m[0]) || t2 != celsius(m[1]) ||
            t3 != celsius(m[2]) || humidity != m[3])
            fail("measurement does not match the bytes", engine.MeasureCount());
    }

    bool m_uploadActive = false;
    bool m_disturbed = false;
    int m_uploadPos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Harness h;
    std::size_t i = 0;
    const auto next = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };
    const QDateTime base(QDate(2024, 1, 7), QTime(0, 0, 0));

    while (i < size) {
        switch (next() % 9) {
        case 0:
            h.port.rx.push_back(next());
            break;
        case 1:
            for (int n = next(); n > 0; --n) {
                h.port.rx.push_back(LinkEngine::Ack);
                h.tick();
                h.check();
            }
            break;
        case 2:
            h.tick();
            break;
        case 3:
            h.session.Send();
            break;
        case 4:
            h.session.Reset();
            h.breakOff();
            if (h.engine.LinkStep() != LinkEngine::Idle)
                fail("Reset did not return to idle", h.engine.LinkStep());
            break;
        case 5:
            h.session.Measure();
            h.breakOff();
            break;
        case 6:
            h.session.SecondTick(base.addSecs(qint64(next()) * 3607));
            break;
        case 7:
            h.port.isOpen = !h.port.isOpen;
            break;
        case 8: {
            const int offset = (next() << 8 | next()) % ConfigImage::Size;
            h.image[offset] = next();
            break;
        }
        }
        h.check();
    }
    return 0;
}
