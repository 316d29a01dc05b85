// The real serial layer, alone and under the engine, against pseudo-terminals: raw ones for
// the port operations, the virtual card for whole conversations.

#include "cardsim_pty.h"
#include "fakeport.h"
#include "linkclock.h"
#include "linkengine.h"
#include "serialport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

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

TEST(DevicePath, LinkElseTtySElseNothing)
{
    RawLine line(4);
    EXPECT_EQ(DevicePathForPort(QStringLiteral("Com4")), LinkPath(4));
    EXPECT_EQ(DevicePathForPort(QStringLiteral("cOM4")), LinkPath(4));
    EXPECT_EQ(DevicePathForPort(QStringLiteral("Com7")), QStringLiteral("/dev/ttyS6"));
    EXPECT_EQ(DevicePathForPort(QStringLiteral("Com1")), QStringLiteral("/dev/ttyS0"));
    for (const char *bad : {"Com:", "Com0", "Cam4", "Com", "Com45"})
        EXPECT_TRUE(DevicePathForPort(QString::fromLatin1(bad)).isEmpty()) << bad;
}

TEST(SerialPort, ConnectUsesTheFifthCharacter)
{
    RawLine com9(9);
    RawLine com1(1);
    SerialPort port;
    EXPECT_TRUE(port.ConnectPort(QStringLiteral("COM 9")));
    EXPECT_EQ(port.LastDevice(), LinkPath(9));
    port.SendByte(9);
    EXPECT_EQ(com9.Read(), 9);

    EXPECT_TRUE(port.ComboBox1Change(QStringLiteral("COM 12")));
    EXPECT_EQ(port.LastDevice(), LinkPath(1));
    port.SendByte(321); // only the low 8 bits go out
    EXPECT_EQ(com1.Read(), 65);
    EXPECT_EQ(com1.Read(50), -1);
    EXPECT_EQ(com9.Read(50), -1);

    // Too short: the device part is "Com:", which names no port; the old one is closed.
    EXPECT_FALSE(port.ComboBox1Change(QStringLiteral("COM")));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.LastDevice(), QStringLiteral("Com:"));
    EXPECT_EQ(port.LastFailure(), QStringLiteral("nicht gefunden"));
    EXPECT_EQ(port.ReadByte(), -1);
}

TEST(SerialPort, ReadsEveryByteValueAndTimesOutQuickly)
{
    RawLine line(3);
    SerialPort port;
    ASSERT_TRUE(port.ConnectPort(QStringLiteral("COM 3")));
    for (const int value : {0xFF, 0x00, 0x41, 0x80}) {
        line.Write(static_cast<std::uint8_t>(value));
        EXPECT_EQ(port.ReadByte(), value);
    }
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(port.ReadByte(), -1);
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_GE(timer.elapsed(), 10);
}

TEST(SerialPort, FailureCausesNameTheDevice)
{
    RawLine line(6);
    SerialPort first;
    ASSERT_TRUE(first.ConnectPort(QStringLiteral("COM 6")));
    // Reopening the port one holds is a close and an open, not a conflict.
    EXPECT_TRUE(first.ComboBox1Change(QStringLiteral("COM 6")));

    SerialPort second;
    EXPECT_FALSE(second.ConnectPort(QStringLiteral("COM 6")));
    EXPECT_EQ(second.LastDevice(), LinkPath(6));
    EXPECT_EQ(second.LastFailure(), QStringLiteral("belegt"));

    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyUSB9"), LinkPath(8)));
    EXPECT_FALSE(second.ConnectPort(QStringLiteral("COM 8")));
    EXPECT_EQ(second.LastDevice(), LinkPath(8));
    EXPECT_EQ(second.LastFailure(), QStringLiteral("nicht gefunden"));
    QFile::remove(LinkPath(8));
}

// The serial layer, engine and clock wired as in the window, against the virtual card.
class CardLinkTest : public ::testing::Test
{
protected:
    void Attach(CardSimOptions options, int n = 2, bool paced = false)
    {
        card = std::make_unique<CardSimPty>(options, paced);
        ASSERT_TRUE(card->Open());
        ASSERT_TRUE(card->LinkAs(ConfigHome(), n));
        card->Start();
        ASSERT_TRUE(port.ComboBox1Change(QStringLiteral("COM ") + QString::number(n)));
    }

    void SecondTick(int s = 0)
    {
        clock.Timer2Timer(QDateTime(QDate(2024, 3, 9), QTime(23, 59, 50)).addSecs(s), engine);
    }

    template <typename Done> bool TickUntil(Done done, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < timeoutMs) {
            engine.Timer1Timer();
            QCoreApplication::processEvents();
        }
        return done();
    }

    ConfigImage image = PatternImage();
    SerialPort port;
    LinkClock clock;
    LinkEngine engine{port, image, clock};
    std::unique_ptr<CardSimPty> card;
};

TEST_F(CardLinkTest, FullUploadArrivesByteForByte)
{
    Attach({});
    SecondTick();
    engine.Button2Click();
    QSignalSpy done(&engine, &LinkEngine::uploadCompleted);
    engine.Button1Click();
    ASSERT_TRUE(TickUntil([&] { return done.count() > 0; }));
    const auto uploads = card->Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads.front().size(), 522u);
    EXPECT_EQ(uploads.front(), ExpectedUpload(image, clock));
    // Saturday 23:59:50
    EXPECT_EQ(uploads.front()[513], 50);
    EXPECT_EQ(uploads.front()[515], 23);
    EXPECT_EQ(uploads.front()[516], 64);
    EXPECT_EQ(engine.LinkStep(), 99);
}

struct LinkVersionCase
{
    int version;
    bool paced;
    const char *warning;
};

class CardVersionTest : public CardLinkTest, public ::testing::WithParamInterface<LinkVersionCase>
{
};

TEST_P(CardVersionTest, PollShowsLinkAndVersion)
{
    CardSimOptions options;
    options.version = static_cast<std::uint8_t>(GetParam().version);
    Attach(options, 7, GetParam().paced);
    QString link, warning;
    QObject::connect(&clock, &LinkClock::linkTextChanged, [&](const QString &t) { link = t; });
    QObject::connect(&clock, &LinkClock::versionTextChanged,
                     [&](const QString &t) { warning = t; });
    SecondTick();
    EXPECT_EQ(link, QStringLiteral("ni. verbunden"));
    ASSERT_TRUE(TickUntil([&] { return engine.LinkStep() == 99; }));
    SecondTick(1);
    EXPECT_EQ(link, QStringLiteral("verbunden"));
    EXPECT_EQ(warning, QString::fromUtf8(GetParam().warning));
}

INSTANTIATE_TEST_SUITE_P(Versions, CardVersionTest,
                         ::testing::Values(LinkVersionCase{137, false, ""},
                                           LinkVersionCase{136, false, "Rel Karte falsche Version"},
                                           LinkVersionCase{136, true,
                                                           "Rel Karte falsche Version"}));

TEST_F(CardLinkTest, MeasurementShowsTheCardsBytes)
{
    CardSimOptions options;
    options.measurement = {128, 129, 255, 65};
    Attach(options);
    QSignalSpy shown(&engine, &LinkEngine::measurementShown);
    engine.Button3Click();
    ASSERT_TRUE(TickUntil([&] { return shown.count() > 0; }));
    const QList<QVariant> texts = shown.takeFirst();
    EXPECT_EQ(texts.at(0).toString(), QStringLiteral("128 °C"));
    EXPECT_EQ(texts.at(1).toString(), QStringLiteral("-127 °C"));
    EXPECT_EQ(texts.at(2).toString(), QStringLiteral("-1 °C"));
    EXPECT_EQ(texts.at(3).toString(), QStringLiteral("65 % rel. LF"));
    EXPECT_EQ(engine.LinkStep(), 99);
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(CardLinkTest, HangUpMidUploadStopsCleanlyAndReopens)
{
    CardSimOptions options;
    options.hangupAfterBlock = 10;
    Attach(options, 5);
    QSignalSpy lost(&port, &SerialPort::portLost);
    QSignalSpy done(&engine, &LinkEngine::uploadCompleted);
    engine.Button1Click();
    ASSERT_TRUE(TickUntil([&] { return lost.count() > 0; }));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.LastFailure(), QStringLiteral("getrennt"));
    EXPECT_EQ(engine.LinkStep(), 6 + 2 * 10); // block 10 out, its acknowledgement never came
    EXPECT_EQ(port.ReadByte(), -1);
    card.reset();

    // A second of the window's life with both timers: nothing may spin on the dead line.
    QTimer timer1;
    QObject::connect(&timer1, &QTimer::timeout, [&] { engine.Timer1Timer(); });
    timer1.start(20);
    const double cpuBefore = CpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    timer1.stop();
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.3);
    EXPECT_EQ(done.count(), 0);

    // The device is back: choosing the port again opens it and the card answers.
    Attach({}, 5);
    engine.Button2Click();
    SecondTick();
    ASSERT_TRUE(TickUntil([&] { return engine.LinkStep() == 99; }));
    EXPECT_TRUE(engine.CardSeen());
    EXPECT_TRUE(engine.VersionOk());
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
