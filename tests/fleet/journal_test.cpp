// The upload journal: appended by many processes at once without losing or tearing a record,
// read past damage, and never in the way of an upload when it cannot be written.
#include "config/configimage.h"
#include "fleet/uploadjournal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

UploadRecord Record(int n, UploadRecord::Outcome outcome = UploadRecord::Outcome::Complete)
{
    UploadRecord r;
    r.when = QDateTime::currentDateTime();
    r.port = QStringLiteral("COM %1").arg(n % 9 + 1);
    r.key = QStringLiteral("dev:/dev/ttyUSB%1").arg(n % 9);
    r.project = QStringLiteral("/anlage/karte%1.rel").arg(n);
    ConfigImage image;
    image[0] = std::uint8_t(n);
    r.hash = UploadJournal::HashOf(image);
    r.finalBlock = QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9);
    r.outcome = outcome;
    r.program = QStringLiteral("zelkora-cli");
    return r;
}

TEST(UploadJournal, ManyWritersAtOnceLoseNoRecordAndTearNone)
{
    QTemporaryDir dir;
    const UploadJournal journal(dir.path());
    constexpr int Writers = 4, Each = 150;
    std::vector<pid_t> children;
    for (int w = 0; w < Writers; ++w) {
        const pid_t child = ::fork();
        if (child == 0) {
            int failed = 0;
            for (int i = 0; i < Each; ++i) {
                ConfigImage image;
                image[0] = std::uint8_t(w * Each + i);
                failed += !journal.append(Record(w * Each + i), image).isEmpty();
            }
            ::_exit(failed);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::vector<UploadRecord> records = journal.read();
    EXPECT_EQ(records.size(), std::size_t(Writers * Each));
    std::set<QString> projects;
    for (const UploadRecord &r : records)
        projects.insert(r.project);
    EXPECT_EQ(projects.size(), std::size_t(Writers * Each));
    // Each distinct image is kept once, under its hash, and reads back as itself.
    EXPECT_EQ(QDir(dir.path() + QStringLiteral("/bilder")).entryList(QDir::Files).size(), 256);
    ASSERT_TRUE(journal.image(records.front().hash).has_value());
}

TEST(UploadJournal, ADamagedJournalIsReadUpToWhatIsReadable)
{
    QTemporaryDir dir;
    const UploadJournal journal(dir.path());
    ConfigImage image;
    ASSERT_TRUE(journal.append(Record(1), image).isEmpty());
    QFile file(journal.journalPath());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("garbage \xff\xfe not json\n");
    file.write("{\"version\": 2, \"zeit\": \"2030-01-01T00:00:00+00:00\"}\n"); // a later format
    file.write("{\"version\": 1, \"port\": \"COM 1\"}\n");                     // half a record
    file.write(QByteArray(300000, '{') + "\n");
    file.close();
    ASSERT_TRUE(journal.append(Record(2, UploadRecord::Outcome::CutOff), image).isEmpty());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("{\"version\": 1, \"zeit\": \"2026-12-08T10:00:00+01:00\", \"port\": \"CO");
    file.close();
    const std::vector<UploadRecord> records = journal.read();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].outcome, UploadRecord::Outcome::CutOff);
    EXPECT_EQ(journal.state(Record(1).key).last->project, Record(1).project);
    EXPECT_EQ(journal.state(Record(2).key).kind, CardState::Kind::Unknown);
    // An image that is not what its name says is not handed out.
    QFile kept(dir.path() + QStringLiteral("/bilder/") + QString::fromLatin1(records[0].hash) +
               QStringLiteral(".rel"));
    ASSERT_TRUE(kept.open(QIODevice::ReadWrite));
    kept.write("x");
    kept.close();
    EXPECT_FALSE(journal.image(records[0].hash).has_value());
}

// What a card holds, by the records of its uploads, oldest first (another card's between).
struct StateCase
{
    const char *name;
    std::vector<std::pair<UploadRecord::Outcome, int>> records; // outcome, block
    CardState::Kind kind;
    int heldProject; // Holds: which record's project (index)
    const char *reason;
};

TEST(UploadJournal, ACardHoldsItsProjectOnlyAfterACompleteLastUpload)
{
    using O = UploadRecord::Outcome;
    using K = CardState::Kind;
    const StateCase cases[] = {
        {"nothing", {}, K::Never, -1, ""},
        {"begun and complete", {{O::Begun, 0}, {O::Complete, 0}}, K::Holds, 1, ""},
        {"A, then B killed", {{O::Complete, 0}, {O::Begun, 0}}, K::Unknown, -1, "nicht beendet"},
        {"A, then B cut off",
         {{O::Complete, 0}, {O::Begun, 0}, {O::CutOff, 10}},
         K::Unknown,
         -1,
         "abgebrochen bei Block 10 von 32"},
        {"A, then B disturbed",
         {{O::Complete, 0}, {O::Disturbed, 33}},
         K::Unknown,
         -1,
         "gestört beim Schlussblock"},
        {"A, then B interrupted",
         {{O::Complete, 0}, {O::Interrupted, 4}},
         K::Unknown,
         -1,
         "unterbrochen"},
        // Older journals recorded failures before the first byte: they touched nothing.
        {"A, then a refused open", {{O::Complete, 0}, {O::Failed, 0}}, K::Holds, 0, ""},
        {"unknown, then complete",
         {{O::Begun, 0}, {O::Begun, 0}, {O::Complete, 0}},
         K::Holds,
         2,
         ""},
    };
    for (const StateCase &c : cases) {
        std::vector<UploadRecord> records;
        for (std::size_t i = 0; i < c.records.size(); ++i) {
            UploadRecord r = Record(1, c.records[i].first);
            r.block = c.records[i].second;
            r.project = QStringLiteral("/p%1.rel").arg(i);
            records.push_back(r);
            records.push_back(Record(2)); // another card, complete
        }
        const CardState state = UploadJournal::StateOf(records, Record(1).key);
        EXPECT_EQ(state.kind, c.kind) << c.name;
        if (c.kind == K::Holds) {
            EXPECT_EQ(state.last->project, QStringLiteral("/p%1.rel").arg(c.heldProject)) << c.name;
        }
        EXPECT_TRUE(state.unknownReason().contains(QString::fromUtf8(c.reason))) << c.name;
        EXPECT_EQ(state.kind == K::Unknown, state.unknownReason().startsWith("unbekannt: "))
            << c.name;
    }
}

TEST(UploadJournal, AFolderThatCannotBeWrittenSaysSo)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("kein-ordner")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const UploadJournal journal(blocker.fileName() + QStringLiteral("/zelkora"));
    const QString failed = journal.append(Record(3), ConfigImage{});
    EXPECT_TRUE(failed.startsWith(QStringLiteral("Journal "))) << failed.toStdString();
    EXPECT_FALSE(journal.checkWritable().isEmpty());
    EXPECT_TRUE(journal.read().empty());

    // A FIFO in the journal's place holds neither a reader nor a writer, and is refused.
    const UploadJournal fifo(dir.path());
    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/bilder")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo.journalPath()).constData(), 0600), 0);
    EXPECT_TRUE(fifo.checkWritable().contains(QStringLiteral("keine gewöhnliche Datei")));
    EXPECT_TRUE(fifo.append(Record(3), ConfigImage{}).contains(QStringLiteral("gewöhnliche")));
    EXPECT_TRUE(fifo.read().empty());
}

} // namespace
