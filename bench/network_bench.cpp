// Cards behind a real ser2net on the loopback interface, in front of virtual cards paced like
// a 2400-baud line.
//  1. One upload (version query, then the image) over RFC 2217 against the same upload straight
//     on the pseudo-terminal, alternating in one run; with ser2net's chardelay off (as the docs
//     advise) and at its default.
//  2. N cards behind one ser2net, uploaded at once by one zelkora-cli process, against one card
//     through the same server; with the CPU time the tool used.
//  3. zelkora-cli status of N and 4N cards behind one ser2net (the version, then a
//     measurement from each), with its CPU time.
//   network_bench [rounds] [cards]      defaults: 5 rounds, 64 cards (and 4 times as many
//                                       for the status run)
#include "bench/benchimage.h"
#include "config/configimage.h"
#include "link/cardbatch.h"
#include "link/linkfailure.h"
#include "link/porttarget.h"
#include "link/transport.h"
#include "tools/cardsim_pty.h"
#include "tools/ser2net_rig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One errand's milliseconds, or -1 when it failed.
double UploadOnce(const QString &port, const ConfigImage &image, const LinkSettings &link = {})
{
    CardBatch batch({PortTarget::Parse(port)}, CardJob::Task::Upload, image);
    batch.setLinkSettings(link);
    QElapsedTimer elapsed;
    elapsed.start();
    batch.run();
    if (!batch.allOk()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(port),
                     qPrintable(batch.jobs().front()->failureText()));
        return -1;
    }
    return double(elapsed.nsecsElapsed()) / 1e6;
}

double CpuSeconds(const rusage &u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs zelkora-cli with the arguments and --port for each port: wall milliseconds and CPU
// seconds, or -1 when it failed.
std::pair<double, double> CliRun(QStringList arguments, const QStringList &ports)
{
    for (const QString &port : ports)
        arguments << QStringLiteral("--port") << port;
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    QProcess cli;
    QElapsedTimer elapsed;
    elapsed.start();
    cli.start(QStringLiteral(ZELKORA_CLI), arguments);
    if (!cli.waitForFinished(60000) || cli.exitCode() != 0) {
        const QByteArray out = cli.readAllStandardOutput();
        std::fprintf(stderr, "zelkora-cli: %s%s\n", cli.readAllStandardError().constData(),
                     out.right(2000).constData());
        return {-1, -1};
    }
    const double ms = double(elapsed.nsecsElapsed()) / 1e6;
    getrusage(RUSAGE_CHILDREN, &after);
    return {ms, CpuSeconds(after) - CpuSeconds(before)};
}

std::pair<double, double> CliUpload(const QString &project, const QStringList &ports)
{
    return CliRun({QStringLiteral("upload"), project}, ports);
}

std::vector<std::unique_ptr<CardSimPty>> PlugCards(int count)
{
    std::vector<std::unique_ptr<CardSimPty>> cards;
    for (int i = 0; i < count; ++i) {
        cards.push_back(PlugCard());
        if (!cards.back())
            std::exit(1); // the card said why
    }
    return cards;
}

// One card, then every card behind one ser2net, by one zelkora-cli each round: the medians.
struct Fleet
{
    double one = -1, many = -1, cpu = -1;
    std::size_t records = 0; // uploads the cards received
};

Fleet UploadToMany(int rounds, int cardCount, const QString &project,
                   const Ser2netRig::Options &options, const char *label)
{
    auto cards = PlugCards(cardCount);
    std::vector<std::string> devices;
    for (const auto &card : cards)
        devices.push_back(card->DevicePath());
    Ser2netRig server;
    std::string error;
    if (!server.start(devices, options, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return {};
    }
    QStringList all;
    for (std::size_t i = 0; i < devices.size(); ++i)
        all << server.rfc2217Url(i);
    std::vector<double> one, many, cpu;
    for (int round = 0; round < rounds; ++round) {
        const auto single = CliUpload(project, {all.first()});
        const auto whole = CliUpload(project, all);
        if (single.first < 0 || whole.first < 0)
            return {};
        one.push_back(single.first);
        many.push_back(whole.first);
        cpu.push_back(whole.second);
        std::printf("%sround %d: 1 card %.1f ms, %d cards %.1f ms, CPU %.2f s\n", label, round + 1,
                    single.first, cardCount, whole.first, whole.second);
    }
    Fleet fleet{Median(one), Median(many), Median(cpu)};
    for (const auto &card : cards)
        fleet.records += card->Uploads().size();
    return fleet;
}

// Milliseconds from open to a line that carries card bytes, or -1.
double OpenOnce(const QString &port)
{
    const PortTarget target = PortTarget::Parse(port);
    std::unique_ptr<Transport> line(target.addressForm().make(nullptr));
    LinkSettings settings;
    line->configure(settings);
    QEventLoop loop;
    QObject::connect(line.get(), &Transport::stateChanged, &loop, [&] {
        if (line->state() != Transport::State::Opening)
            loop.quit();
    });
    QElapsedTimer elapsed;
    elapsed.start();
    line->open(target);
    if (line->state() == Transport::State::Opening)
        loop.exec();
    const double ms = double(elapsed.nsecsElapsed()) / 1e6;
    const bool open = line->PortOpen();
    if (!open)
        std::fprintf(stderr, "%s: %s\n", qPrintable(port),
                     qPrintable(FailureCause(line->failure())));
    line->close();
    return open ? ms : -1;
}

// Uploads through a ser2net with TLS and client certificates: the client's identity and the
// CA in the configuration folder, as keygen and an installer would leave them.
int TlsFigures(int rounds, int cardCount, const ConfigImage &image, const QString &project)
{
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("zelkora"));
    QDir().mkpath(folder + QStringLiteral("/pki"));
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    std::string error;
    TestPki pki;
    QString client;
    if (!pki.make(folder + QStringLiteral("/pki"), &error) ||
        !pki.makeClient(QStringLiteral("bench"), &client, &error) ||
        !AllowClient(folder + QStringLiteral("/auth"), QStringLiteral("bench"), client, &error) ||
        !QFile::copy(client, folder + QStringLiteral("/client.crt")) ||
        !QFile::copy(TestPki::KeyOf(client), folder + QStringLiteral("/client.key")) ||
        !QFile::copy(pki.ca, folder + QStringLiteral("/ca.crt"))) {
        std::fprintf(stderr, "certificates: %s\n", error.c_str());
        return 1;
    }
    QFile::setPermissions(folder + QStringLiteral("/client.key"),
                          QFile::ReadOwner | QFile::WriteOwner);
    Ser2netRig::Options tls;
    tls.tls =
        Ser2netRig::Options::Tls{TestPki::KeyOf(pki.server).toStdString(), pki.server.toStdString(),
                                 (folder + QStringLiteral("/auth")).toStdString()};

    // 4. One upload over rfc2217+tls:// against the pseudo-terminal, in one run; a handshake.
    {
        auto cards = PlugCards(1);
        Ser2netRig server;
        if (!server.start({cards[0]->DevicePath()}, tls, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::vector<double> pty, secure, handshake, plainOpen;
        for (int round = 0; round < rounds; ++round) {
            const double a = UploadOnce(QString::fromStdString(cards[0]->DevicePath()), image);
            const double b = UploadOnce(server.rfc2217Url(0), image);
            const double c = OpenOnce(server.rawUrl(0));
            if (a < 0 || b < 0 || c < 0)
                return 1;
            pty.push_back(a);
            secure.push_back(b);
            handshake.push_back(c);
        }
        const double a = Median(pty), b = Median(secure);
        std::printf("TLS: pseudo-terminal %.1f ms, rfc2217+tls:// through ser2net (ssl, "
                    "clientauth) %.1f ms, ratio %.3f (target at most 1.03)\n",
                    a, b, b / a);
        std::printf("TLS: connection and handshake to socket+tls:// %.1f ms (median)\n",
                    Median(handshake));
    }

    // 5. Many cards behind one TLS ser2net, from one zelkora-cli.
    const Fleet fleet = UploadToMany(rounds, cardCount, project, tls, "TLS: ");
    if (fleet.one < 0)
        return 1;
    std::printf("TLS: zelkora-cli, 1 card %.1f ms, %d cards through one ser2net %.1f ms, CPU "
                "%.2f s (median); ratio %.3f (target at most 1.10)\n",
                fleet.one, cardCount, fleet.many, fleet.cpu, fleet.many / fleet.one);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // 256 cards behind one ser2net take more descriptors than the usual soft limit of 1024.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    // The journal of these runs is the benchmark's own, not the user's.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int cardCount = argc > 2 ? std::max(1, std::atoi(argv[2])) : 64;
    if (!Ser2netRig::Available()) {
        std::fprintf(stderr, "ser2net is not installed (tools/setup.sh installs it)\n");
        return 1;
    }
    const ConfigImage image = BenchImage();
    // "tls" as the third argument: only the figures over TLS.
    const bool onlyTls = argc > 3 && std::strcmp(argv[3], "tls") == 0;
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("bench.rel"));
    QFile file(project);
    if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char *>(image.data()),
                                                       ConfigImage::Size) != ConfigImage::Size)
        return 1;
    file.close();
    if (onlyTls)
        return TlsFigures(rounds, cardCount, image, project);
    const double wireMs = (2 + 1 + 512 + 9 + 34) * 10.0 * 1000.0 / 2400.0;
    std::printf("wire time of version query and upload: %.1f ms\n", wireMs);

    // 1. RFC 2217 against the pseudo-terminal, in one run.
    for (const bool chardelay : {false, true}) {
        auto cards = PlugCards(1);
        Ser2netRig server;
        std::string error;
        Ser2netRig::Options options;
        options.chardelay = chardelay;
        if (!server.start({cards[0]->DevicePath()}, options, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::vector<double> pty, rfc;
        for (int round = 0; round < rounds; ++round) {
            const double a = UploadOnce(QString::fromStdString(cards[0]->DevicePath()), image);
            const double b = UploadOnce(server.rfc2217Url(0), image);
            if (a < 0 || b < 0)
                return 1;
            pty.push_back(a);
            rfc.push_back(b);
        }
        const double a = Median(pty), b = Median(rfc);
        std::printf("chardelay %-5s: pseudo-terminal %.1f ms, RFC 2217 through ser2net %.1f ms, "
                    "ratio %.3f%s\n",
                    chardelay ? "true" : "false", a, b, b / a,
                    chardelay ? " (ser2net's default)" : " (target at most 1.03)");
    }

    // 2. Many cards behind one ser2net, from one zelkora-cli.
    const Fleet fleet = UploadToMany(rounds, cardCount, project, {}, "");
    if (fleet.one < 0)
        return 1;
    const double a = fleet.one, b = fleet.many;
    std::printf("zelkora-cli, 1 card through ser2net: %.1f ms\n", a);
    std::printf("zelkora-cli, %d cards through one ser2net: %.1f ms, CPU %.2f s (median)\n",
                cardCount, b, fleet.cpu);
    std::printf("ratio %d cards / 1 card: %.3f (target at most 1.10); %zu uploads recorded\n",
                cardCount, b / a, fleet.records);
    std::string error;

    // 3. zelkora-cli status: every card asked its version and a measurement at once.
    for (const int count : {cardCount, 4 * cardCount}) {
        auto asked = PlugCards(count);
        std::vector<std::string> paths;
        for (const auto &card : asked)
            paths.push_back(card->DevicePath());
        Ser2netRig statusServer;
        if (!statusServer.start(paths, {}, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        QStringList ports;
        for (std::size_t i = 0; i < paths.size(); ++i)
            ports << statusServer.rfc2217Url(i);
        std::vector<double> wall, cpuTime;
        for (int round = 0; round < rounds; ++round) {
            const auto run = CliRun({QStringLiteral("status")}, ports);
            if (run.first < 0) {
                std::fprintf(stderr, "ser2net %s\n",
                             statusServer.running() ? "still runs" : "has ended");
                return 1;
            }
            wall.push_back(run.first);
            cpuTime.push_back(run.second);
        }
        std::printf("zelkora-cli status, %d cards through one ser2net: %.1f ms, CPU %.2f s "
                    "(median; target %s)\n",
                    count, Median(wall), Median(cpuTime),
                    count <= 64 ? "within 2 s for 64" : "within 3 s for 256");
    }
    return TlsFigures(rounds, cardCount, image, project);
}
