// The real serial layer, alone and under the engine, against pseudo-terminals: raw ones for
// the port operations, the virtual card for whole conversations.

#include "link/linkengine.h"
#include "link/serialport.h"
#include "tests/support/cardrig.h"
#include "tools/cardsim_pty.h"
#include "tools/eventwait.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QTemporaryDir *g_configHome = nullptr;

std::string ConfigHome()
{
    return g_configHome->path().toStdString();
}

QString LinkPath(int n)
{
    return g_configHome->path() + QStringLiteral("/zelkora/com") + QString::number(n);
}

// A bare pseudo-terminal linked as com<n>, for looking at single bytes on the wire: nothing
// serves it, the test plays the card by hand.
class RawLine
{
public:
    explicit RawLine(int n)
    {
        EXPECT_TRUE(m_line.Open());
        EXPECT_TRUE(m_line.LinkAs(ConfigHome(), n));
    }

    int Read(int timeoutMs = 200)
    {
        pollfd pfd{m_line.LineFd(), POLLIN, 0};
        std::uint8_t byte = 0;
        if (::poll(&pfd, 1, timeoutMs) <= 0 || ::read(m_line.LineFd(), &byte, 1) != 1)
            return -1;
        return byte;
    }
    void Write(std::uint8_t byte) { ASSERT_EQ(::write(m_line.LineFd(), &byte, 1), 1); }
    void Write(const std::vector<std::uint8_t> &bytes)
    {
        ASSERT_EQ(::write(m_line.LineFd(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

private:
    CardSimPty m_line;
};

struct ModeCase
{
    const char *text;
    const char *mode;
};

class ModeStringTest : public ::testing::TestWithParam<ModeCase>
{
};

TEST_P(ModeStringTest, OnlyTheFifthCharacterCounts)
{
    EXPECT_EQ(ModeStringFor(QString::fromLatin1(GetParam().text)),
              QString::fromLatin1(GetParam().mode));
}

INSTANTIATE_TEST_SUITE_P(Texts, ModeStringTest,
                         ::testing::Values(ModeCase{"COM 9", "Com9:2400,N,8,1"},
                                           ModeCase{"COM 12", "Com1:2400,N,8,1"},
                                           ModeCase{"COM", "Com:2400,N,8,1"},
                                           ModeCase{"", "Com:2400,N,8,1"}));

TEST(DevicePath, TheUsersLinkNamesTheDevice)
{
    RawLine line(4);
    for (const char *name : {"Com4", "cOM4"}) {
        const PortResolution r =
            ResolvePort(QString::fromLatin1(name), SystemPortEnvironment::Instance());
        EXPECT_EQ(r.source, PortResolution::Link) << name;
        EXPECT_EQ(r.device, LinkPath(4)) << name;
    }
    for (const char *bad : {"Com:", "Com0", "Cam4", "Com", "Com45"})
        EXPECT_EQ(ResolvePort(QString::fromLatin1(bad), SystemPortEnvironment::Instance()).source,
                  PortResolution::Invalid)
            << bad;
}

// The window's choice of its port list, as the card session hands it on.
bool Choose(SerialPort &port, const char *portListText)
{
    port.open(PortTarget::ListChoice(QString::fromLatin1(portListText)));
    return port.PortOpen();
}

TEST(SerialPort, ConnectUsesTheFifthCharacter)
{
    RawLine com9(9);
    RawLine com1(1);
    SerialPort port;
    EXPECT_TRUE(Choose(port, "COM 9"));
    EXPECT_EQ(port.farEnd(), LinkPath(9));
    port.SendByte(9);
    EXPECT_EQ(com9.Read(), 9);

    EXPECT_TRUE(Choose(port, "COM 12"));
    EXPECT_EQ(port.farEnd(), LinkPath(1));
    port.SendByte(321); // only the low 8 bits go out
    EXPECT_EQ(com1.Read(), 65);
    EXPECT_EQ(com1.Read(50), -1);
    EXPECT_EQ(com9.Read(50), -1);

    // Too short: the device part is "Com:", which names no port; the old one is closed.
    EXPECT_FALSE(Choose(port, "COM"));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.farEnd(), QStringLiteral("Com:"));
    EXPECT_EQ(FailureCause(port.failure()), QStringLiteral("nicht gefunden"));
    EXPECT_EQ(port.ReadByte(), -1);
}

// Bytes reach the port's buffer only through the event loop: a read takes what is there and
// never waits for the line, and the arrival signal says when there is something.
TEST(SerialPort, ReadsWhatArrivedAndNeverWaits)
{
    RawLine line(3);
    SerialPort port;
    ASSERT_TRUE(Choose(port, "COM 3"));
    QSignalSpy arrived(&port, &SerialPort::bytesArrived);
    line.Write({0xFF, 0x00, 0x41, 0x80});
    EXPECT_EQ(port.ReadByte(), -1); // on the line, but not yet taken in by the event loop
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.ReadByte() == 0xFF; }, 2000));
    EXPECT_GE(arrived.count(), 1);
    for (const int value : {0x00, 0x41, 0x80}) // a byte 0xFF was 255 above, never -1
        EXPECT_EQ(port.ReadByte(), value);
    EXPECT_EQ(port.ReadByte(), -1);
}

TEST(SerialPort, FailureCausesNameTheDevice)
{
    RawLine line(6);
    SerialPort first;
    ASSERT_TRUE(Choose(first, "COM 6"));
    // Reopening the port one holds is a close and an open, not a conflict.
    EXPECT_TRUE(Choose(first, "COM 6"));

    SerialPort second;
    EXPECT_FALSE(Choose(second, "COM 6"));
    EXPECT_EQ(second.farEnd(), LinkPath(6));
    EXPECT_EQ(FailureCause(second.failure()), QStringLiteral("belegt"));
    // Qt's own lock file names the holder: this very test program.
    EXPECT_TRUE(DescribeFailure(second.failure(), second.environment())
                    .startsWith(QStringLiteral("belegt von ")))
        << DescribeFailure(second.failure(), second.environment()).toStdString();
    EXPECT_TRUE(DescribeFailure(second.failure(), second.environment())
                    .endsWith(QStringLiteral("(PID %1)").arg(::getpid())))
        << DescribeFailure(second.failure(), second.environment()).toStdString();

    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyUSB9"), LinkPath(8)));
    EXPECT_FALSE(Choose(second, "COM 8"));
    EXPECT_EQ(second.farEnd(), LinkPath(8));
    EXPECT_EQ(FailureCause(second.failure()), QStringLiteral("nicht gefunden"));
    QFile::remove(LinkPath(8));
}

// The session as the window runs it, against the virtual card.
TEST(CardSessionLine, FullUploadArrivesByteForByte)
{
    SessionRig rig(g_configHome->path(), 2);
    ASSERT_TRUE(rig.plugCardAndChoosePort());
    ASSERT_TRUE(rig.pressSend());
    ASSERT_TRUE(rig.waitForCompletions(1));
    EXPECT_TRUE(rig.cardRecordedUploads(1)) << rig.why;
    const auto upload = rig.card->Uploads().front();
    // Sunday 14:05:09
    EXPECT_EQ(upload[513], 9);
    EXPECT_EQ(upload[515], 14);
    EXPECT_EQ(upload[516], 1);
    EXPECT_EQ(rig.session.LinkStep(), LinkEngine::Idle);
}

struct LinkVersionCase
{
    int version;
    bool paced;
    bool wrongVersion;
};

class CardVersionTest : public ::testing::TestWithParam<LinkVersionCase>
{
};

TEST_P(CardVersionTest, PollShowsLinkAndVersion)
{
    CardSimOptions options;
    options.version = static_cast<std::uint8_t>(GetParam().version);
    SessionRig rig(g_configHome->path(), 7);
    ASSERT_TRUE(rig.plugCardAndChoosePort(options, GetParam().paced));
    EXPECT_TRUE(rig.connected);
    EXPECT_EQ(rig.wrongVersion, GetParam().wrongVersion);
    EXPECT_EQ(rig.sendEnabled, !GetParam().wrongVersion);
}

INSTANTIATE_TEST_SUITE_P(Versions, CardVersionTest,
                         ::testing::Values(LinkVersionCase{137, false, false},
                                           LinkVersionCase{136, false, true},
                                           LinkVersionCase{136, true, true}));

TEST(CardSessionLine, MeasurementGivesTheCardsBytes)
{
    CardSimOptions options;
    options.measurement = {128, 129, 255, 65};
    SessionRig rig(g_configHome->path(), 2);
    ASSERT_TRUE(rig.plugCard(options));
    ASSERT_TRUE(rig.session.ComboBox1Change(rig.portText()));
    QSignalSpy shown(&rig.session, &CardSession::measured);
    rig.session.Measure();
    ASSERT_TRUE(shown.wait(3000));
    const QList<QVariant> values = shown.takeFirst();
    EXPECT_EQ(values.at(0).toInt(), 128);
    EXPECT_EQ(values.at(1).toInt(), -127);
    EXPECT_EQ(values.at(2).toInt(), -1);
    EXPECT_EQ(values.at(3).toInt(), 65);
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST(CardSessionLine, HangUpMidUploadStopsCleanlyAndReopens)
{
    CardSimOptions options;
    options.hangupAfterBlock = 10;
    SessionRig rig(g_configHome->path(), 5);
    ASSERT_TRUE(rig.plugCardAndChoosePort(options));
    Transport &port = rig.session.transport();
    QSignalSpy lost(&port, &Transport::lineLost);
    ASSERT_TRUE(rig.pressSend());
    ASSERT_TRUE(lost.wait(5000));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(FailureCause(port.failure()), QStringLiteral("getrennt"));
    // The line went dead once the 11th block was in; its acknowledgement never came.
    EXPECT_EQ(rig.session.LinkStep(), LinkEngine::BlockDueStep(11) + 1);
    EXPECT_EQ(port.ReadByte(), -1);
    rig.card.reset();

    // A second of the window's life with both timers: nothing may spin on the dead line.
    const double cpuBefore = CpuSeconds();
    QTest::qWait(1000);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.3);
    EXPECT_EQ(rig.completions, 0);

    // The device is back: choosing the port again opens it and the card answers.
    rig.session.Reset();
    ASSERT_TRUE(rig.plugCardAndChoosePort());
    EXPECT_FALSE(rig.wrongVersion);
}

// One device under two names: the lock is the device's own, so a second program that names
// the device itself is kept off it as well (root passes the terminal's own exclusive mode).
TEST(SerialPort, TheLockNamesTheDeviceNotTheLink)
{
    SessionRig rig(g_configHome->path(), 4);
    ASSERT_TRUE(rig.plugCardAndChoosePort());
    SerialPort other;
    other.open(PortTarget::Parse(QString::fromStdString(rig.card->DevicePath())));
    EXPECT_FALSE(other.PortOpen());
    EXPECT_EQ(other.failure().kind, FailureKind::Busy)
        << FailureCause(other.failure()).toStdString();
}

// AddressSanitizer keeps freed memory in quarantine on purpose, so there the resident size
// grows with every read, whatever the program holds: the bound is for the normal build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool ResidentSizeTellsWhatIsHeld = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool ResidentSizeTellsWhatIsHeld = false;
#else
constexpr bool ResidentSizeTellsWhatIsHeld = true;
#endif
#else
constexpr bool ResidentSizeTellsWhatIsHeld = true;
#endif

// A device that sends without end (a wrong device, noise): what the window holds stays
// bounded and the once-a-second tick goes on.
TEST(CardSessionLine, AFloodingLineKeepsMemoryBoundedAndTheLoopFree)
{
    SessionRig rig(g_configHome->path(), 6);
    ASSERT_TRUE(rig.plugCard({}, true));
    rig.card->Stop(); // the test floods the line itself
    ASSERT_TRUE(rig.session.ComboBox1Change(rig.portText()));
    const int fd = rig.card->LineFd();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        std::vector<std::uint8_t> noise(65536);
        for (std::size_t i = 0; i < noise.size(); ++i)
            noise[i] = std::uint8_t(i * 7919 + 13);
        while (!stop) {
            if (::write(fd, noise.data(), noise.size()) < 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const auto residentKiB = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        return 0LL;
    };
    const long long before = residentKiB();
    const int reportsBefore = rig.reports;
    QTest::qWait(3000);
    stop = true;
    flood.join();
    if (ResidentSizeTellsWhatIsHeld) {
        EXPECT_LT(residentKiB() - before, 32 * 1024) << "resident memory grew by more than 32 MiB";
    }
    EXPECT_GE(rig.reports - reportsBefore, 2) << "the once-a-second tick was held up";
    EXPECT_TRUE(rig.session.PortOpen());
}

// A pseudo-terminal that went away does not come back, though a new one may get its number;
// its link pointed elsewhere is the user's new choice and opens by itself.
TEST(CardSessionLine, AGonePseudoTerminalIsNotTakenOverByTheNextOne)
{
    SessionRig rig(g_configHome->path(), 7);
    ASSERT_TRUE(rig.plugCardAndChoosePort());
    const std::string firstPath = rig.card->DevicePath();
    CardSimOptions hangUp;
    hangUp.hangupAfterBlock = 0;
    rig.card->SetOptions(hangUp);
    ASSERT_TRUE(rig.pressSend());
    ASSERT_TRUE(RunEventsUntil([&] { return !rig.session.PortOpen(); }, 5000));
    rig.card.reset();
    rig.session.Reset();

    // Another program's pseudo-terminal, very likely under the same number.
    CardSimPty other({}, true);
    ASSERT_TRUE(other.Open());
    other.Start();
    QSignalSpy attempts(&rig.session.transport(), &Transport::tried);
    if (other.DevicePath() == firstPath) {
        QTest::qWait(2500);
        EXPECT_EQ(attempts.count(), 0)
            << "reopened a new pseudo-terminal that took the old one's number";
        EXPECT_FALSE(rig.session.PortOpen());
    }
    // The link pointed at the new device: opened by itself within the tick.
    ASSERT_TRUE(other.LinkAs(ConfigHome(), 7));
    EXPECT_TRUE(RunEventsUntil([&] { return rig.session.PortOpen(); }, 2500))
        << FailureCause(rig.session.transport().failure()).toStdString() << " " << attempts.count()
        << " tries " << rig.session.transport().farEnd().toStdString();
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir configHome;
    g_configHome = &configHome;
    // Port links are looked up in the user's configuration folder; keep ours apart.
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QDir().mkpath(configHome.path() + QStringLiteral("/zelkora"));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
