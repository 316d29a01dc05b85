// Full uploads against the virtual card paced like a 2400-baud line. Prints how close the
// window's card session comes to the wire's limit, beside an ideal client on the same kind of
// line, and how long the event loop was held up during the uploads and while the card is
// only polled.
//   upload_bench [uploads] [idle seconds]     defaults: 3 uploads, 10 s idle

#include "bench/benchimage.h"
#include "config/configimage.h"
#include "link/cardsession.h"
#include "link/linkengine.h"
#include "link/serialport.h"
#include "link/transport.h"
#include "tools/cardsim_expect.h"
#include "tools/cardsim_pty.h"
#include "tools/eventwait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ProgramBytes = 1 + 512 + 9;
constexpr int CardBytes = 34;

double WireLimitMs()
{
    return (ProgramBytes + CardBytes) * 10.0 * 1000.0 / 2400.0;
}

bool WaitForAck(int fd)
{
    for (;;) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 3000) <= 0)
            return false;
        std::uint8_t byte = 0;
        if (::read(fd, &byte, 1) != 1)
            return false;
        if (byte == LinkEngine::Ack)
            return true;
    }
}

bool WriteAll(int fd, const std::uint8_t *bytes, std::size_t count)
{
    return ::write(fd, bytes, count) == static_cast<ssize_t>(count);
}

// The reference: each block written the moment its acknowledgement is read, blocking, with
// no engine and no event loop. Milliseconds, or a negative value when the card failed.
double IdealClientUpload(const ConfigImage &image)
{
    CardSimPty card({}, true);
    std::string error;
    if (!card.Open(&error)) {
        std::fprintf(stderr, "upload_bench: %s\n", error.c_str());
        return -1;
    }
    card.Start();
    const int fd = ::open(card.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);

    const auto start = std::chrono::steady_clock::now();
    const std::uint8_t command = LinkEngine::CommandUpload;
    bool ok = WriteAll(fd, &command, 1) && WaitForAck(fd);
    for (int block = 0; ok && block < LinkEngine::BlockCount; ++block) {
        std::uint8_t bytes[LinkEngine::BlockSize];
        for (int i = 0; i < LinkEngine::BlockSize; ++i)
            bytes[i] = image[block * LinkEngine::BlockSize + i];
        ok = WriteAll(fd, bytes, sizeof bytes) && WaitForAck(fd);
    }
    const std::uint8_t final[9] = {9,          5,          14,         1,         image[244],
                                   image[245], image[246], image[248], image[247]};
    ok = ok && WriteAll(fd, final, sizeof final) && WaitForAck(fd);
    const auto end = std::chrono::steady_clock::now();
    ::close(fd);
    if (!ok)
        return -1;
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// The longest the program itself held the event loop: the time of each outermost event
// delivery (a timer of the session, bytes arriving, a signal it emits). Unlike the probe's
// lateness this leaves out the time the thread waits for a core.
class TimedApplication : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth++ > 0) {
            const bool handled = QCoreApplication::notify(receiver, event);
            --m_depth;
            return handled;
        }
        QElapsedTimer timer;
        timer.start();
        const bool handled = QCoreApplication::notify(receiver, event);
        --m_depth;
        if (m_watching)
            m_longestNs = std::max(m_longestNs, timer.nsecsElapsed());
        return handled;
    }

    void watch()
    {
        m_longestNs = 0;
        m_watching = true;
    }
    double stopMs()
    {
        m_watching = false;
        return double(m_longestNs) / 1e6;
    }

private:
    int m_depth = 0;
    bool m_watching = false;
    qint64 m_longestNs = 0;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    const int uploads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    TimedApplication app(argc, argv);
    const ConfigImage image = BenchImage();

    // What the probe reads with no port and no card at all: the machine's own noise.
    LoopBlockProbe baselineProbe;
    baselineProbe.start();
    RunEventsUntil([] { return false; }, 3000);
    baselineProbe.stop();
    const double baselineMs = baselineProbe.longestMs();

    std::vector<double> ideal;
    for (int i = 0; i < uploads; ++i) {
        const double ms = IdealClientUpload(image);
        if (ms < 0) {
            std::fprintf(stderr, "upload_bench: the ideal client's upload failed\n");
            return 1;
        }
        ideal.push_back(ms);
    }

    CardSimPty card({}, true);
    std::string error;
    if (!card.Open(&error) || !card.LinkAs(configHome.path().toStdString(), 1, &error)) {
        std::fprintf(stderr, "upload_bench: %s\n", error.c_str());
        return 1;
    }
    card.Start();
    CardSession session(image);
    bool connected = false;
    int reports = 0;
    QObject::connect(&session, &CardSession::linkReported, [&](bool isConnected, bool) {
        connected = isConnected;
        ++reports;
    });
    int completions = 0;
    QElapsedTimer uploadTimer;
    double lastUploadMs = 0;
    QObject::connect(&session, &CardSession::uploadCompleted, [&] {
        lastUploadMs = double(uploadTimer.nsecsElapsed()) / 1e6;
        ++completions;
    });
    if (!session.ConnectPort(QStringLiteral("COM 1"))) {
        std::fprintf(stderr, "upload_bench: %s: %s\n", qPrintable(session.transport().farEnd()),
                     qPrintable(FailureCause(session.transport().failure())));
        return 1;
    }
    session.start();
    if (!RunEventsUntil([&] { return reports >= 2 && connected; }, 5000)) {
        std::fprintf(stderr, "upload_bench: the card does not answer the poll\n");
        return 1;
    }

    LoopBlockProbe probe;
    std::vector<double> measured;
    double longestUploadBlock = 0;
    double longestUploadHold = 0;
    for (int i = 0; i < uploads; ++i) {
        if (!RunEventsUntil([&] { return session.LinkStep() == LinkEngine::Idle; }, 3000))
            return 1;
        probe.start();
        app.watch();
        uploadTimer.start();
        session.Send();
        if (!RunEventsUntil([&] { return completions == i + 1; }, 20000)) {
            std::fprintf(stderr, "upload_bench: no completion within 20 s (step %d)\n",
                         session.LinkStep());
            return 1;
        }
        probe.stop();
        longestUploadBlock = std::max(longestUploadBlock, probe.longestMs());
        longestUploadHold = std::max(longestUploadHold, app.stopMs());
        measured.push_back(lastUploadMs);
    }

    const int reportsBefore = reports;
    int answered = 0;
    QObject::connect(&session, &CardSession::linkReported,
                     [&](bool isConnected, bool) { answered += isConnected ? 1 : 0; });
    probe.start();
    app.watch();
    RunEventsUntil([] { return false; }, idleSeconds * 1000);
    const double longestIdleHold = app.stopMs();
    probe.stop();
    const double longestIdleBlock = probe.longestMs();
    const int idleDelaysOver1 = probe.countLongerThan(1.0);
    const int idleDelaysOver2 = probe.countLongerThan(2.0);

    const auto received = card.Uploads();
    bool allReceived = received.size() == std::size_t(uploads);
    for (const auto &upload : received)
        allReceived = allReceived && upload.size() == std::size_t(ProgramBytes);

    const double wire = WireLimitMs();
    std::printf("wire limit (%d + %d bytes at 2400 baud, 8N1):  %8.1f ms\n", ProgramBytes,
                CardBytes, wire);
    std::printf("ideal client, median of %d uploads:          %8.1f ms  ratio %.3f\n", uploads,
                Median(ideal), Median(ideal) / wire);
    std::printf("card session, median of %d uploads:          %8.1f ms  ratio %.3f\n", uploads,
                Median(measured), Median(measured) / wire);
    std::printf("card session, slowest upload:                 %8.1f ms  ratio %.3f\n",
                *std::max_element(measured.begin(), measured.end()),
                *std::max_element(measured.begin(), measured.end()) / wire);
    std::printf("longest the session held the loop, uploads:  %8.2f ms\n", longestUploadHold);
    std::printf("longest the session held the loop, %2d s idle: %8.2f ms\n", idleSeconds,
                longestIdleHold);
    std::printf("longest event-loop block during the uploads: %8.2f ms\n", longestUploadBlock);
    std::printf(
        "longest event-loop block in %2d s idle:        %8.2f ms  (%d of %d polls answered)\n",
        idleSeconds, longestIdleBlock, answered, reports - reportsBefore);
    std::printf("  delays over 1 ms / over 2 ms in idle:       %5d / %d\n", idleDelaysOver1,
                idleDelaysOver2);
    std::printf("for reference, the same probe with no port open:%5.2f ms (%d over 1 ms)\n",
                baselineMs, baselineProbe.countLongerThan(1.0));
    std::printf("card received every upload whole:             %8s\n", allReceived ? "yes" : "NO");
    return allReceived ? 0 : 1;
}
