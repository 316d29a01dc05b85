// The lines to the card, each transport held to the same contract: the serial port on a
// pseudo-terminal, and a real ser2net in front of the virtual card over RFC 2217 and raw TCP.
// Then the Telnet codec alone, byte by byte, and servers that misbehave, scripted here.
#include "config/configimage.h"
#include "link/cardbatch.h"
#include "link/linkengine.h"
#include "link/linkfailure.h"
#include "link/networkport.h"
#include "link/portresolver.h"
#include "link/targetkey.h"
#include "link/telnetcodec.h"
#include "tests/support/cardrig.h"
#include "tools/cardsim_expect.h"
#include "tools/cardsim_pty.h"
#include "tools/eventwait.h"
#include "tools/ser2net_rig.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <termios.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

// --- Addresses -------------------------------------------------------------------------

struct TargetCase
{
    const char *text;
    PortTarget::Kind kind;
    const char *hostOrError; // the host, or a piece of the refusal
    int port;
    const char *written = ""; // the address as it is written back
};

TEST(PortTargetParse, TellsEachFormAndRefusesMalformedAddresses)
{
    using K = PortTarget::Kind;
    const TargetCase cases[] = {
        {"COM 3", K::ListEntry, "", 0},
        {"com3", K::ListEntry, "", 0},
        {"/dev/ttyUSB0", K::Device, "", 0},
        {"rfc2217://gw-keller:4001", K::Network, "gw-keller", 4001, "rfc2217://gw-keller:4001"},
        {"RFC2217://10.0.0.7:1", K::Network, "10.0.0.7", 1, "rfc2217://10.0.0.7:1"},
        {"socket://[fd00::5]:4001", K::Network, "fd00::5", 4001, "socket://[fd00::5]:4001"},
        {"tcp://gw:65535", K::Network, "gw", 65535, "socket://gw:65535"},
        {"rfc2217://gw", K::Invalid, "Port fehlt", 0},
        {"rfc2217://gw:", K::Invalid, "Port fehlt", 0},
        {"socket://gw:0", K::Invalid, "1 bis 65535", 0},
        {"socket://gw:65536", K::Invalid, "1 bis 65535", 0},
        {"socket://gw:40x1", K::Invalid, "1 bis 65535", 0},
        {"socket://:4001", K::Invalid, "Rechnername fehlt", 0},
        {"socket://fd00::5:4001", K::Invalid, "in Klammern", 0},
        {"socket://[fd00::5:4001", K::Invalid, "Klammer", 0},
        {"telnet://gw:23", K::Invalid, "unbekannte Adressform telnet://", 0},
        {"", K::Invalid, "leer", 0},
    };
    for (const TargetCase &c : cases) {
        const PortTarget t = PortTarget::Parse(QString::fromUtf8(c.text));
        EXPECT_EQ(t.kind, c.kind) << c.text;
        if (c.kind == K::Invalid) {
            EXPECT_TRUE(AddressError(t).contains(QString::fromUtf8(c.hostOrError)))
                << c.text << ": " << AddressError(t).toStdString();
        } else if (t.isNetwork()) {
            EXPECT_EQ(t.host, QString::fromUtf8(c.hostOrError)) << c.text;
            EXPECT_EQ(t.port, c.port) << c.text;
            EXPECT_EQ(t.url(), QString::fromUtf8(c.written)) << c.text;
        }
    }
    // One server port named in both forms is one card.
    const PortEnvironment &environment = SystemPortEnvironment::Instance();
    EXPECT_EQ(TargetKey(PortTarget::Parse("socket://GW:4001"), environment),
              TargetKey(PortTarget::Parse("rfc2217://gw:4001"), environment));
    // One host under its names: the journal must know it as one card.
    for (const char *name : {"socket://localhost:4001", "rfc2217://[::ffff:127.0.0.1]:4001",
                             "socket://[::1]:4001", "socket://127.0.0.2:4001"})
        EXPECT_EQ(TargetKey(PortTarget::Parse(name), environment),
                  TargetKey(PortTarget::Parse("rfc2217://127.0.0.1:4001"), environment))
            << name;
    EXPECT_NE(TargetKey(PortTarget::Parse("socket://localhost:4002"), environment),
              TargetKey(PortTarget::Parse("socket://localhost:4001"), environment));
}

// --- The Telnet codec ------------------------------------------------------------------

constexpr std::uint8_t IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;

struct CodecCase
{
    const char *name;
    Bytes fromServer;
    Bytes data;  // what the card sent
    Bytes reply; // what the client answers
    TelnetCodec::Problem problem;
};

TEST(TelnetCodec, DecodesEveryPieceTheSameWhereverTheStreamIsCut)
{
    using P = TelnetCodec::Problem;
    Bytes runaway{IAC, SB, 44, 106};
    runaway.insert(runaway.end(), 5000, 0x55);
    runaway.insert(runaway.end(), {IAC, SE, 65});
    const CodecCase cases[] = {
        {"data with doubled 255",
         {1, IAC, IAC, 2, IAC, IAC, IAC, IAC},
         {1, 255, 2, 255, 255},
         {},
         P::None},
        {"what ser2net sends first",
         {IAC, WILL, 3,  IAC, DO,  3,    IAC, WILL, 1,  IAC, DONT,
          1,   IAC,  DO, 0,   IAC, WILL, 0,   IAC,  DO, 44},
         {},
         {IAC, DONT, 1},
         P::None},
        {"unknown options refused once",
         {IAC, WILL, 1, IAC, WILL, 1, IAC, DO, 24, IAC, DO, 24},
         {},
         {IAC, DONT, 1, IAC, WONT, 24},
         P::None},
        {"notifications between data bytes",
         {137, IAC, SB, 44,  107,  0x30, IAC, SE,  IAC, 241, 65,
          IAC, SB,  44, 106, 0x60, IAC,  SE,  IAC, 249, 66},
         {137, 65, 66},
         {},
         P::None},
        {"255 inside a subnegotiation", {IAC, SB, 44, 107, IAC, IAC, IAC, SE, 7}, {7}, {}, P::None},
        {"speed reply with extra bytes",
         {IAC, SB, 44, 101, 0, 0, 9, 0x60, 0, 0, IAC, SE, 9},
         {9},
         {},
         P::None},
        {"confirmations of the card's line",
         {IAC, SB,  44, 102, 8,  IAC, SE,  IAC, SB,  44, 103, 1,  IAC, SE,  IAC, SB,  44, 104,
          1,   IAC, SE, IAC, SB, 44,  105, 1,   IAC, SE, IAC, SB, 44,  105, 7,   IAC, SE},
         {},
         {},
         P::None},
        {"purge drops the banner",
         {'h', 'i', IAC, SB, 44, 112, 3, IAC, SE, 137},
         {137},
         {},
         P::None},
        {"another speed",
         {IAC, SB, 44, 101, 0, 0, 0x25, 0x80, IAC, SE},
         {},
         {},
         P::SettingsRejected},
        {"parity even", {IAC, SB, 44, 103, 3, IAC, SE}, {}, {}, P::SettingsRejected},
        {"binary refused", {IAC, WONT, 0}, {}, {}, P::NoBinary},
        {"com port option refused", {IAC, DONT, 44}, {}, {}, P::NoComPort},
        {"runaway subnegotiation", runaway, {65}, {}, P::None},
        {"command breaks off a subnegotiation",
         {IAC, SB, 44, 101, 1, IAC, 241, 5},
         {5},
         {},
         P::None},
    };
    for (const CodecCase &c : cases) {
        // Whole, byte by byte, and cut once at every place.
        std::vector<std::vector<std::size_t>> cuts{{}, {}};
        for (std::size_t i = 1; i < c.fromServer.size(); ++i)
            cuts[1].push_back(i);
        for (std::size_t i = 1; i < c.fromServer.size() && c.fromServer.size() < 100; ++i)
            cuts.push_back({i});
        for (const auto &cut : cuts) {
            TelnetCodec codec;
            codec.Opening();
            TelnetCodec::Output out;
            std::size_t from = 0;
            for (std::size_t to : cut) {
                codec.Feed(c.fromServer.data() + from, to - from, out);
                from = to;
            }
            codec.Feed(c.fromServer.data() + from, c.fromServer.size() - from, out);
            EXPECT_EQ(out.data, c.data) << c.name << ", cut in " << cut.size() + 1;
            EXPECT_EQ(out.reply, c.reply) << c.name;
            EXPECT_EQ(codec.problem(), c.problem) << c.name;
        }
    }
}

TEST(TelnetCodec, HoldsDataWhileTheServerAsksAndSetsTheLineFirst)
{
    TelnetCodec codec;
    const Bytes opening = codec.Opening();
    // 2400 baud, 8, none, 1, no flow control, DTR off, RTS off, purge: in that order.
    const Bytes settings{IAC, SB,  44,  1,  0,  0,   9,   0x60, IAC, SE,  IAC, SB, 44,  2,   8,
                         IAC, SE,  IAC, SB, 44, 3,   1,   IAC,  SE,  IAC, SB,  44, 4,   1,   IAC,
                         SE,  IAC, SB,  44, 5,  1,   IAC, SE,   IAC, SB,  44,  5,  8,   IAC, SE,
                         IAC, SB,  44,  5,  12, IAC, SE,  IAC,  SB,  44,  12,  3,  IAC, SE};
    ASSERT_GE(opening.size(), settings.size());
    EXPECT_TRUE(std::equal(settings.begin(), settings.end(), opening.end() - settings.size()));
    TelnetCodec::Output out;
    const Bytes suspend{IAC, SB, 44, 108, IAC, SE}, resume{IAC, SB, 44, 109, IAC, SE};
    codec.Feed(suspend.data(), suspend.size(), out);
    EXPECT_TRUE(codec.Suspended());
    codec.Feed(resume.data(), resume.size(), out);
    EXPECT_FALSE(codec.Suspended());
}

// --- Every transport to the virtual card -------------------------------------------------

enum class Line
{
    Serial,
    Rfc2217,
    Raw,
    Rfc2217Tls, // ser2net's ssl layer with clientauth
    RawTls,
};

class TransportContract : public ::testing::TestWithParam<Line>
{
protected:
    void SetUp() override
    {
        if (GetParam() != Line::Serial && !Ser2netRig::Available())
            GTEST_SKIP() << "ser2net is not installed (tools/setup.sh installs it)";
    }

    // A paced virtual card, and the port text that reaches it on this transport.
    QString plug(const CardSimOptions &options = {})
    {
        std::string error;
        m_card = PlugCard(options, {}, &error);
        if (!m_card) {
            ADD_FAILURE() << error;
            return {};
        }
        if (GetParam() == Line::Serial)
            return QString::fromStdString(m_card->DevicePath());
        Ser2netRig::Options server;
        if (tls() && !secure(server))
            return {};
        if (!m_server.start({m_card->DevicePath()}, server, &error)) {
            ADD_FAILURE() << error;
            return {};
        }
        return GetParam() == Line::Rfc2217 || GetParam() == Line::Rfc2217Tls
                   ? m_server.rfc2217Url(0)
                   : m_server.rawUrl(0);
    }

    bool tls() const { return GetParam() == Line::Rfc2217Tls || GetParam() == Line::RawTls; }

    // Certificates for the server and a client it allows, and the client's settings.
    bool secure(Ser2netRig::Options &options)
    {
        std::string error;
        TestPki pki;
        QString client;
        const QString authDir = m_pkiDir.filePath(QStringLiteral("auth"));
        if (!pki.make(m_pkiDir.path(), &error) ||
            !pki.makeClient(QStringLiteral("vertrag"), &client, &error) ||
            !AllowClient(authDir, QStringLiteral("vertrag"), client, &error)) {
            ADD_FAILURE() << error;
            return false;
        }
        options.tls = Ser2netRig::Options::Tls{TestPki::KeyOf(pki.server).toStdString(),
                                               pki.server.toStdString(), authDir.toStdString()};
        m_link.certificateFile = client;
        m_link.keyFile = TestPki::KeyOf(client);
        m_link.caFile = pki.ca;
        m_link.knownServersFile = m_pkiDir.filePath(QStringLiteral("known_servers"));
        return true;
    }

    std::unique_ptr<CardJob> run(const QString &port, CardJob::Task task, const ConfigImage &image)
    {
        CardBatch batch({PortTarget::Parse(port)}, task, image);
        batch.setLinkSettings(m_link);
        batch.run();
        // The job outlives the batch for the test's questions.
        auto &jobs = const_cast<std::vector<std::unique_ptr<CardJob>> &>(batch.jobs());
        return std::move(jobs.front());
    }

    std::unique_ptr<CardSimPty> m_card;
    Ser2netRig m_server;
    QTemporaryDir m_pkiDir;
    LinkSettings m_link;
};

TEST_P(TransportContract, UploadsVersionAndMeasurementByteForByteEvenFullOf255)
{
    CardSimOptions options;
    options.measurement = {255, 255, 128, 255};
    const QString port = plug(options);
    ASSERT_FALSE(port.isEmpty());
    ConfigImage image;
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = i % 3 ? 255 : std::uint8_t(i);

    const auto version = run(port, CardJob::Task::Version, image);
    EXPECT_TRUE(version->ok()) << version->failureText().toStdString();
    EXPECT_EQ(version->version(), 137);

    const auto upload = run(port, CardJob::Task::Upload, image);
    ASSERT_TRUE(upload->ok()) << upload->failureText().toStdString();
    const auto records = m_card->Uploads();
    ASSERT_EQ(records.size(), 1u);
    ASSERT_EQ(records[0].size(), 522u);
    EXPECT_TRUE(std::equal(image.data(), image.data() + 512, records[0].begin() + 1));
    // The final block: the clock, then image bytes 244, 245, 246, 248, 247.
    EXPECT_EQ(Bytes(records[0].begin() + 517, records[0].end()),
              (Bytes{image[244], image[245], image[246], image[248], image[247]}));

    const auto measure = run(port, CardJob::Task::Measure, image);
    ASSERT_TRUE(measure->ok()) << measure->failureText().toStdString();
    EXPECT_EQ(measure->measurement(), (std::array<int, 4>{-1, -1, 128, 255}));

    if (GetParam() == Line::Rfc2217 || GetParam() == Line::Rfc2217Tls) {
        // ser2net opened the device at 9600 baud; the client's settings made it the card's.
        termios line{};
        ASSERT_EQ(tcgetattr(m_card->LineFd(), &line), 0);
        EXPECT_EQ(cfgetospeed(&line), B2400);
        EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    }
}

TEST_P(TransportContract, AServerGoneMidUploadIsNamedAsCutOffAtItsBlock)
{
    if (GetParam() == Line::Serial)
        GTEST_SKIP() << "a pulled adapter is the serial tests' own case";
    const QString port = plug();
    ASSERT_FALSE(port.isEmpty());
    ConfigImage image;
    CardBatch batch({PortTarget::Parse(port)}, CardJob::Task::Upload, image);
    batch.setLinkSettings(m_link);
    QObject::connect(&batch, &CardBatch::progressed, &batch, [this](CardJob *job) {
        if (job->progress() >= 24 && m_server.running())
            m_server.stop();
    });
    batch.run();
    const CardJob &job = *batch.jobs().front();
    EXPECT_FALSE(job.ok());
    EXPECT_EQ(job.failure().kind, FailureKind::CutOff);
    EXPECT_GE(job.failure().block, 10);
    EXPECT_TRUE(job.failureText().contains(QStringLiteral("zurücksetzen")))
        << job.failureText().toStdString();
}

std::string LineName(Line line)
{
    const char *const names[] = {"Serial", "Rfc2217", "Raw", "Rfc2217Tls", "RawTls"};
    return names[int(line)];
}

INSTANTIATE_TEST_SUITE_P(Lines, TransportContract,
                         ::testing::Values(Line::Serial, Line::Rfc2217, Line::Raw, Line::Rfc2217Tls,
                                           Line::RawTls),
                         [](const auto &info) { return LineName(info.param); });

// --- Servers that misbehave --------------------------------------------------------------

struct ServerCase
{
    const char *name;
    const char *scheme;
    Bytes greeting; // sent on accept
    bool closeAfterGreeting;
    FailureKind expected;
    const char *inText;
    int greetingAfterMs = 0;  // how long the server waits before it says anything
    int answerEveryByte = -1; // answers each byte it reads with this one
};

// A scripted device server on loopback: greets, may close, may answer every byte it reads.
void Serve(QTcpServer &server, const ServerCase &c)
{
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, &c] {
        QTcpSocket *peer = server.nextPendingConnection();
        QTimer::singleShot(c.greetingAfterMs, peer, [peer, &c] {
            peer->write(reinterpret_cast<const char *>(c.greeting.data()),
                        qint64(c.greeting.size()));
            peer->flush();
            if (c.closeAfterGreeting)
                peer->disconnectFromHost();
        });
        if (c.answerEveryByte >= 0)
            QObject::connect(peer, &QTcpSocket::readyRead, peer, [peer, &c] {
                peer->write(QByteArray(int(peer->readAll().size()), char(c.answerEveryByte)));
            });
    });
}

TEST(MisbehavingServer, EachEndsTheErrandWithItsOwnCauseAndNothingHangs)
{
    const Bytes inUse{'P', 'o', 'r', 't', ' ', 'a', 'l', 'r', 'e',  'a', 'd',
                      'y', ' ', 'i', 'n', ' ', 'u', 's', 'e', '\r', '\n'};
    const std::string missing = "Device open failure: Value or file not found\r\n";
    const Bytes deviceMissing(missing.begin(), missing.end());
    Bytes garbage;
    std::uint32_t seed = 2217;
    for (int i = 0; i < 65536; ++i) {
        seed = seed * 1664525u + 1013904223u;
        garbage.push_back(std::uint8_t(seed >> 24));
    }
    Bytes flood{IAC, DO, 44, IAC, SB, 44, 107};
    flood.insert(flood.end(), 100000, 7);
    Bytes toggling, nops{IAC, DO, 44};
    for (int i = 0; i < 50000; ++i) {
        toggling.insert(toggling.end(), {IAC, WILL, 0, IAC, WONT, 0});
        nops.insert(nops.end(), {IAC, 241});
    }
    const Bytes takesLine{IAC, DO, 44, IAC, WILL, 0, IAC, DO, 0};
    const ServerCase cases[] = {
        {"never negotiates", "rfc2217", {}, false, FailureKind::NoNegotiation, "Verhandlung"},
        {"data and no Telnet", "rfc2217", {137, 1, 2}, false, FailureKind::NotTelnet, "socket://"},
        {"port in use", "rfc2217", inUse, true, FailureKind::Busy, "Port already in use"},
        {"port in use, raw", "socket", inUse, true, FailureKind::Busy, "Port already in use"},
        // ser2net's words when the adapter at the gateway is unplugged: tried again, not busy.
        {"device missing at the server", "socket", deviceMissing, true, FailureKind::DeviceMissing,
         "Gerät am Server fehlt (Server meldet: Device open failure: Value or file not found)"},
        {"Telnet on a raw port",
         "socket",
         {IAC, WILL, 3, IAC, DO, 0},
         false,
         FailureKind::IsTelnet,
         "rfc2217://"},
        {"binary refused", "rfc2217", {IAC, WONT, 0}, false, FailureKind::NoBinary, "BINARY"},
        {"never takes up the Com Port option",
         "rfc2217",
         {IAC, WILL, 0, IAC, DO, 0},
         false,
         FailureKind::NoComPort,
         "wenn er sie selbst auf 2400 8N1 hält: socket:// verwenden"},
        {"another speed",
         "rfc2217",
         {IAC, DO, 44, IAC, SB, 44, 101, 0, 0, 0x25, 0x80, IAC, SE},
         false,
         FailureKind::SettingsRejected,
         "9600 Baud statt 2400"},
        {"runaway subnegotiation, no card", "rfc2217", flood, false, FailureKind::NoVersion, "(L)"},
        {"toggles an option without end", "rfc2217", toggling, false, FailureKind::RunawayTelnet,
         "ohne Ende"},
        {"floods NOP", "rfc2217", nops, false, FailureKind::RunawayTelnet, "ohne Ende"},
        {"closes at once", "rfc2217", {}, true, FailureKind::Closed, "getrennt"},
        // Waited for within the connect limit: a card that does not answer, not a raw port.
        {"negotiates after 2.5 s", "rfc2217", takesLine, false, FailureKind::NoVersion, "(L)",
         2500},
        {"answers every byte with 65",
         "socket",
         {},
         false,
         FailureKind::VersionDisturbed,
         "Antwort 65 ist keine Version",
         0,
         65},
        {"answers every byte with 65, Telnet", "rfc2217", takesLine, false,
         FailureKind::VersionDisturbed, "Antwort 65", 0, 65},
    };
    // Bytes that come without being asked may read as anything, but never as a card that
    // answered: random bytes, a version or a reading sent on connect, before the question.
    const ServerCase unasked[] = {
        {"garbage", "rfc2217", garbage, false, FailureKind::None, ""},
        {"garbage, raw", "socket", garbage, false, FailureKind::None, ""},
        {"137 on connect", "socket", {137}, false, FailureKind::None, ""},
        {"a reading on connect", "socket", {21, 22, 23, 45}, false, FailureKind::None, ""},
        {"137, then 65 to everything", "socket", {137}, false, FailureKind::None, "", 0, 65},
    };
    for (const ServerCase &c : unasked) {
        for (const CardJob::Task task :
             {CardJob::Task::Version, CardJob::Task::Measure, CardJob::Task::Upload}) {
            QTcpServer server;
            ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
            Serve(server, c);
            ConfigImage image;
            CardBatch batch({PortTarget::Parse(QStringLiteral("%1://127.0.0.1:%2")
                                                   .arg(QLatin1String(c.scheme))
                                                   .arg(server.serverPort()))},
                            task, image);
            batch.run();
            EXPECT_FALSE(batch.jobs().front()->ok())
                << c.name << ", task " << int(task) << ": "
                << batch.jobs().front()->failureText().toStdString();
        }
    }
    for (const ServerCase &c : cases) {
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        Serve(server, c);
        const QString url =
            QStringLiteral("%1://127.0.0.1:%2").arg(c.scheme).arg(server.serverPort());
        ConfigImage image;
        CardBatch batch({PortTarget::Parse(url)}, CardJob::Task::Version, image);
        QElapsedTimer took;
        took.start();
        batch.run();
        const CardJob &job = *batch.jobs().front();
        EXPECT_FALSE(job.ok()) << c.name;
        EXPECT_EQ(job.failure().kind, c.expected)
            << c.name << ": " << job.failureText().toStdString();
        EXPECT_TRUE(job.failureText().contains(QString::fromUtf8(c.inText)))
            << c.name << ": " << job.failureText().toStdString();
        // Whatever the server does, the errand ends: the connect limit and the errand's
        // deadline, with room for a loaded machine.
        EXPECT_LT(took.elapsed(), 15000) << c.name;
    }
}

TEST(MisbehavingServer, NobodyListeningIsRefusedAndAnAddressThatNeverAnswersGivesUpIn5s)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    ConfigImage image;
    CardBatch refused({PortTarget::Parse(QStringLiteral("socket://127.0.0.1:%1").arg(closedPort))},
                      CardJob::Task::Version, image);
    refused.run();
    EXPECT_EQ(refused.jobs().front()->failure().kind, FailureKind::Refused);
    EXPECT_TRUE(refused.jobs().front()->failureText().startsWith(
        QStringLiteral("lässt sich nicht öffnen: Verbindung abgelehnt")));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
