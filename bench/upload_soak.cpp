// The soak run: many uploads through one card session against a virtual card that injects a
// random fault into one upload in five: a dropped, surplus or noisy acknowledgement, or a
// hang-up after which the card comes back on a new line. A stalled upload is left with
// "Reset", as a user would. Checks that every upload the card records as complete holds each
// block once and in order, and prints the resident memory after the first ten uploads and at
// the end.
// The card is paced like a 2400-baud line, as the session expects of a real line.
//   upload_soak [uploads] [seed]     defaults: 200 uploads, seed 1

#include "config/configimage.h"
#include "link/cardsession.h"
#include "link/linkengine.h"
#include "link/serialport.h"
#include "tools/cardsim_expect.h"
#include "tools/cardsim_pty.h"
#include "tools/eventwait.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <unistd.h>

namespace {

const QDateTime FixedNow(QDate(2024, 1, 7), QTime(14, 5, 9)); // Sunday

long ResidentKiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

enum Fault
{
    NoFault,
    DroppedAck,
    SurplusAck,
    NoisyAck,
    HangUp,
    FaultKinds
};

const char *const FaultNames[FaultKinds] = {"none", "dropped acknowledgement",
                                            "surplus acknowledgement", "noisy acknowledgements",
                                            "hang-up, card back"};

} // namespace

int main(int argc, char **argv)
{
    int uploads = 200;
    unsigned seed = 1;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (positional++ == 0)
            uploads = std::max(1, std::atoi(argv[i]));
        else
            seed = unsigned(std::strtoul(argv[i], nullptr, 10));
    }
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    std::mt19937 random(seed);

    ConfigImage image;
    CardSession session(image);
    session.setTimeSource([] { return FixedNow; });
    int completions = 0;
    QObject::connect(&session, &CardSession::uploadCompleted, [&] { ++completions; });
    int progress = 0;
    QObject::connect(&session, &CardSession::progressChanged, [&](int value) { progress = value; });

    std::unique_ptr<CardSimPty> card;
    std::size_t recordsOnThisCard = 0;
    const auto plugCard = [&] {
        card = std::make_unique<CardSimPty>(CardSimOptions{}, true);
        std::string error;
        if (!card->Open(&error) || !card->LinkAs(configHome.path().toStdString(), 1, &error)) {
            std::fprintf(stderr, "upload_soak: %s\n", error.c_str());
            std::exit(1);
        }
        card->Start();
        recordsOnThisCard = 0;
        if (!session.ComboBox1Change(QStringLiteral("COM 1"))) {
            std::fprintf(stderr, "upload_soak: the port does not open\n");
            std::exit(1);
        }
    };
    plugCard();
    // The clock bytes of an upload are those of the last once-a-second tick.
    session.SecondTick(FixedNow);
    session.start();

    int faults[FaultKinds] = {};
    int completed = 0;
    int resets = 0;
    int badRecords = 0;
    int lostRecords = 0;
    int earlyCompletions = 0;
    long rssAfterTen = 0;
    std::vector<std::pair<int, long>> rssSteps;
    QElapsedTimer wall;
    wall.start();
    const auto report = [&](int n, Fault fault, const std::vector<std::uint8_t> &got) {
        const auto want = ExpectedUpload(image, 9, 5, 14, 1);
        std::size_t i = 0;
        while (i < got.size() && i < want.size() && got[i] == want[i])
            ++i;
        std::fprintf(stderr, "upload %d (fault: %s): %zu bytes recorded, first difference at %zu\n",
                     n + 1, FaultNames[fault], got.size(), i);
    };

    for (int n = 0; n < uploads; ++n) {
        // Each upload carries other bytes, so a record of an older upload cannot pass.
        for (int i = 0; i < ConfigImage::Size; ++i)
            image[i] = std::uint8_t(random());
        const Fault fault = random() % 5 == 0 ? Fault(1 + random() % (FaultKinds - 1)) : NoFault;
        ++faults[fault];
        CardSimOptions options;
        const int block = int(random() % 32);
        if (fault == DroppedAck)
            options.dropAckAfterBlock = block;
        else if (fault == SurplusAck)
            options.extraAckAfterBlock = block;
        else if (fault == NoisyAck)
            options.noiseBytes = 1 + int(random() % 7);
        else if (fault == HangUp)
            options.hangupAfterBlock = block;
        card->SetOptions(options);

        if (!RunEventsUntil([&] { return session.LinkStep() == LinkEngine::Idle; }, 3000))
            session.Reset();
        const int before = completions;
        session.Send();
        // A stall is two seconds without progress; the user then presses "Reset".
        int lastProgress = -1;
        QElapsedTimer sinceProgress;
        sinceProgress.start();
        while (completions == before && session.PortOpen()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (progress != lastProgress) {
                lastProgress = progress;
                sinceProgress.restart();
            } else if (sinceProgress.elapsed() > 2000) {
                session.Reset();
                ++resets;
                break;
            }
        }
        if (completions > before) {
            ++completed;
            // The card keeps the record of what it received; it must be this upload whole.
            // A completion reported before the card has its record would mean the session took
            // an acknowledgement for one it was not: counted, then the card is given the time
            // of one block on the line.
            if (card->Uploads().size() == recordsOnThisCard)
                ++earlyCompletions;
            RunEventsUntil([&] { return card->Uploads().size() > recordsOnThisCard; }, 500);
            const auto records = card->Uploads();
            if (records.size() != recordsOnThisCard + 1)
                ++lostRecords;
            else if (records.back() != ExpectedUpload(image, 9, 5, 14, 1)) {
                ++badRecords;
                report(n, fault, records.back());
            }
            card->ClearUploads();
            recordsOnThisCard = 0;
        } else if (card->Uploads().size() != recordsOnThisCard) {
            // A record of an upload the program never saw completed: only the final block's
            // acknowledgement may be missing, and the bytes must still be right.
            const auto records = card->Uploads();
            if (records.back() != ExpectedUpload(image, 9, 5, 14, 1))
                ++badRecords;
            card->ClearUploads();
            recordsOnThisCard = 0;
        }
        if (!session.PortOpen()) {
            // The card gave up the broken upload by now; it comes back on a new line.
            RunEventsUntil([&] { return card->HungUp(); }, 2000);
            plugCard();
            session.Reset();
        } else {
            card->SetOptions({});
            // The card gives up a broken-off upload after a pause without bytes.
            if (completions == before)
                RunEventsUntil([] { return false; }, 1600);
        }
        if (n + 1 == 10)
            rssAfterTen = ResidentKiB();
        if ((n + 1) % 50 == 0)
            rssSteps.push_back({n + 1, ResidentKiB()});
    }
    const long rssEnd = ResidentKiB();

    std::printf("uploads: %d in %.1f s (paced at 2400 baud), seed %u\n", uploads,
                double(wall.elapsed()) / 1000.0, seed);
    for (int f = 0; f < FaultKinds; ++f)
        std::printf("  fault %-26s %4d\n", FaultNames[f], faults[f]);
    std::printf("completed: %d, left with Reset: %d\n", completed, resets);
    std::printf("card records not equal to the upload: %d, missing records: %d\n", badRecords,
                lostRecords);
    std::printf("completions seen before the card had the final block: %d\n", earlyCompletions);
    std::printf("resident memory by uploads:");
    for (const auto &[count, kib] : rssSteps)
        std::printf(" %d: %ld KiB;", count, kib);
    std::printf("\n");
    std::printf("resident memory after 10 uploads: %ld KiB, at the end: %ld KiB (%+ld KiB)\n",
                rssAfterTen, rssEnd, rssEnd - rssAfterTen);
    return badRecords == 0 && lostRecords == 0 ? 0 : 1;
}
