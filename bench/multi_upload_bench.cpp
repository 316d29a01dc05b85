// Uploads to many virtual cards at once, each paced like a 2400-baud line, through the same
// card errands that zelkora-cli upload runs (version first, then the image). Prints the time
// of one upload to one card beside that of the same upload to N cards at once, and their
// ratio; every card's record is checked against the image.
//   multi_upload_bench [cards] [rounds]     defaults: 8 cards, 3 rounds

#include "bench/benchimage.h"
#include "config/configimage.h"
#include "link/cardbatch.h"
#include "tools/cardsim_pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// One upload to `count` fresh cards at once; the milliseconds until the last one finished,
// or -1 when a card failed or recorded something else than the image.
double UploadToCards(int count, const ConfigImage &image)
{
    std::vector<std::unique_ptr<CardSimPty>> cards;
    std::vector<PortTarget> targets;
    for (int i = 0; i < count; ++i) {
        cards.push_back(PlugCard());
        if (!cards.back())
            return -1; // the card said why
        targets.push_back(PortTarget::Parse(QString::fromStdString(cards.back()->DevicePath())));
    }
    CardBatch batch(targets, CardJob::Task::Upload, image);
    QElapsedTimer elapsed;
    elapsed.start();
    batch.run();
    const double ms = double(elapsed.nsecsElapsed()) / 1e6;
    for (int i = 0; i < count; ++i) {
        const auto uploads = cards[std::size_t(i)]->Uploads();
        const bool same = uploads.size() == 1 && uploads[0].size() == 522 &&
                          std::equal(image.data(), image.data() + 512, uploads[0].begin() + 1);
        const CardJob &job = *batch.jobs()[std::size_t(i)];
        if (!job.ok() || !same) {
            std::fprintf(stderr, "card %d: %s\n", i + 1,
                         qPrintable(job.ok() ? QStringLiteral("wrong record") : job.failureText()));
            return -1;
        }
    }
    return ms;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int cards = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const ConfigImage image = BenchImage();
    // Version query and reply, then the upload: bytes on the wire in both directions.
    const double wireMs = (2 + 1 + 512 + 9 + 34) * 10.0 * 1000.0 / 2400.0;

    std::vector<double> one, many;
    for (int round = 0; round < rounds; ++round) {
        const double single = UploadToCards(1, image);
        const double all = UploadToCards(cards, image);
        if (single < 0 || all < 0)
            return 1;
        one.push_back(single);
        many.push_back(all);
        std::printf("round %d: 1 card %.1f ms, %d cards %.1f ms\n", round + 1, single, cards, all);
    }
    const double a = Median(one), b = Median(many);
    std::printf("wire time of version query and upload: %.1f ms\n", wireMs);
    std::printf("median, 1 card:  %.1f ms (%.3f x wire)\n", a, a / wireMs);
    std::printf("median, %d cards: %.1f ms (%.3f x wire)\n", cards, b, b / wireMs);
    std::printf("ratio %d cards / 1 card: %.3f (target at most 1.15)\n", cards, b / a);
    return 0;
}
