#include "cli/arguments.h"
#include "cli/clioutput.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "config/fileaccess.h"
#include "fleet/deployment.h"
#include "fleet/status.h"
#include "fleet/uploadrecording.h"
#include "forms/projectreader.h"
#include "forms/projecttext.h"
#include "link/cardbatch.h"
#include "link/endsignals.h"
#include "link/linkengine.h"
#include "link/linkfailure.h"
#include "link/measurementtext.h"
#include "link/portresolver.h"
#include "link/targetkey.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <set>

#include <csignal>

#include <memory>
#include <vector>

namespace Cli {
namespace {

QString Outcome(const CardJob &job, CardJob::Task task)
{
    switch (task) {
    case CardJob::Task::Upload:
        return QStringLiteral("übertragen");
    case CardJob::Task::Version:
        return VersionText(job.version());
    case CardJob::Task::Measure:
    case CardJob::Task::Status:
        return MeasurementLine(job.measurement());
    }
    return {};
}

// One bar per port, redrawn in place on a terminal: the cursor goes back up over the bars and
// each line is written anew. Lines stay within 80 columns, since a wrapped line would throw the
// cursor off.
class ProgressBars
{
public:
    ProgressBars(const std::vector<std::unique_ptr<CardJob>> &jobs, const Streams &streams)
        : m_jobs(jobs), m_streams(streams)
    {
        for (const auto &job : jobs)
            m_width = std::max<int>(m_width, int(Name(*job).size()));
        // More ports than the terminal has rows would scroll the bars away: one line of
        // counts instead, the failures below it at the end.
        m_summary = int(jobs.size()) > streams.rows - 2;
    }

    void draw()
    {
        QString text;
        if (m_summary) {
            int done = 0, failed = 0;
            for (const auto &job : m_jobs) {
                done += job->done() && job->ok();
                failed += job->done() && !job->ok();
            }
            const int running = int(m_jobs.size()) - done - failed;
            text = QStringLiteral("\r\x1b[K") +
                   fit(QStringLiteral("%1 Karten: %2 fertig, %3 laufen, %4 Fehler")
                           .arg(m_jobs.size())
                           .arg(done)
                           .arg(running)
                           .arg(failed));
            if (running == 0)
                text += QLatin1Char('\n');
            Print(m_streams.out, text);
            return;
        }
        if (m_drawn)
            text += QStringLiteral("\x1b[%1A").arg(m_jobs.size());
        for (const auto &job : m_jobs)
            text += QStringLiteral("\r\x1b[K") + fit(line(*job)) + QLatin1Char('\n');
        m_drawn = true;
        Print(m_streams.out, text);
    }

private:
    // A line that wraps would spoil the redraw: long device paths keep their distinctive end.
    static QString Name(const CardJob &job)
    {
        constexpr int MaxName = 20;
        const QString port = Visible(job.target().text, 400);
        return port.size() <= MaxName ? port : QStringLiteral("…") + port.right(MaxName - 1);
    }

    // Within the terminal's width (and 80 columns at most), so no line ever wraps.
    QString fit(const QString &text) const
    {
        const int columns = std::min(80, m_streams.columns) - 1;
        return text.size() <= columns ? text : text.left(std::max(0, columns));
    }

    QString line(const CardJob &job) const
    {
        // The bar gives way on a narrow terminal; the name and the state stay readable.
        const int barWidth = std::clamp(std::min(80, m_streams.columns) - m_width - 35, 4, 24);
        const int progress = job.done() && job.ok() ? LinkEngine::ProgressMax : job.progress();
        const int filled = barWidth * progress / LinkEngine::ProgressMax;
        QString state;
        if (job.done())
            // The reason follows below the bars; here it would wrap the line.
            state = job.ok() ? QStringLiteral("fertig") : QStringLiteral("FEHLER (siehe unten)");
        else if (progress < LinkEngine::BlockDueStep(1))
            state = QStringLiteral("Version und Start");
        else
            state = QStringLiteral("Block %1/%2")
                        .arg(std::min(LinkEngine::BlockCount, LinkEngine::BlockOf(progress)))
                        .arg(LinkEngine::BlockCount);
        return Name(job).leftJustified(m_width) + QStringLiteral("  [") +
               QString(filled, QLatin1Char('#')) + QString(barWidth - filled, QLatin1Char('-')) +
               QStringLiteral("] %1 %  ").arg(100 * progress / LinkEngine::ProgressMax, 3) + state;
    }

    const std::vector<std::unique_ptr<CardJob>> &m_jobs;
    const Streams &m_streams;
    int m_width = 0;
    bool m_drawn = false;
    bool m_summary = false;
};

// Runs the errands, drawing bars on a terminal or printing one line per card as it ends. An
// upload's journal records are the job's own; an end record that could not be written is
// said. Ctrl-C, SIGTERM or SIGHUP let the uploads under way finish (a card left in the middle
// would take whatever comes next as its configuration) and start no other; a second one ends
// at once. The status: 0 when every card did its errand, 1 when one did not, 128 + the signal
// after an end signal.
int RunBatch(CardBatch &batch, CardJob::Task task, const Streams &streams,
             const std::function<QString(const CardJob &)> &named)
{
    const bool bars = task == CardJob::Task::Upload && streams.terminal;
    ProgressBars progress(batch.jobs(), streams);
    bool redraw = false;
    QTimer repaint;
    repaint.setInterval(100);
    QObject::connect(&repaint, &QTimer::timeout, &batch, [&] {
        if (redraw)
            progress.draw();
        redraw = false;
    });
    QObject::connect(&batch, &CardBatch::progressed, &batch, [&] { redraw = true; });
    // Lines come in the order the cards were given, each as soon as those before it ended.
    std::size_t nextLine = 0;
    QObject::connect(&batch, &CardBatch::jobFinished, &batch, [&](CardJob *job) {
        if (!job->journalProblem().isEmpty())
            Error(streams, named(*job),
                  QStringLiteral("nicht im Journal vermerkt: ") + job->journalProblem());
        for (; !bars && nextLine < batch.jobs().size() && batch.jobs()[nextLine]->done();
             ++nextLine) {
            const CardJob &ended = *batch.jobs()[nextLine];
            if (ended.ok())
                Print(streams.out, Visible(named(ended), 160) + QStringLiteral(": ") +
                                       Outcome(ended, task) + QLatin1Char('\n'));
            else
                Error(streams, named(ended), ended.failureText());
        }
        redraw = true;
    });
    int endSignal = 0;
#ifndef Q_OS_WIN
    EndSignals ends({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&ends, &EndSignals::endRequested, &batch, [&](int number) {
        const bool first = endSignal == 0;
        endSignal = number;
        for (const auto &job : batch.jobs())
            first ? job->finishUnderway() : job->interrupt();
        if (first && task == CardJob::Task::Upload)
            Print(streams.err, QStringLiteral("zelkora-cli: Übertragung wird zu Ende geführt … "
                                              "(noch einmal: sofort abbrechen)\n"));
    });
#endif
    if (bars) {
        progress.draw();
        repaint.start();
    }
    batch.run();
    if (bars) {
        progress.draw();
        // Below the bars, every failure once more as an error line.
        for (const auto &job : batch.jobs())
            if (!job->ok())
                Error(streams, named(*job), job->failureText());
    }
    if (endSignal != 0)
        return 128 + endSignal;
    return batch.allOk() ? Success : CardFailed;
}

// Uploads rest on the journal: one that cannot record its beginning sends nothing.
void Journalled(CardBatch &batch, JournalRecorder &recorder)
{
    for (const auto &job : batch.jobs())
        job->setRecorder(&recorder);
}

QString Short(const QByteArray &hash)
{
    return QString::fromLatin1(hash.left(12));
}

} // namespace

bool JournalIsAFile(const UploadJournal &journal, const Streams &streams)
{
    const QFileInfo file(journal.journalPath());
    if (!file.exists() || file.isFile())
        return true;
    Error(streams, journal.journalPath(), QStringLiteral("keine gewöhnliche Datei"));
    return false;
}

std::vector<UploadRecord> ReadJournal(const UploadJournal &journal, const Streams &streams)
{
    QString cut;
    std::vector<UploadRecord> records = journal.read(&cut);
    if (!cut.isEmpty())
        Error(streams, QStringLiteral("journal"), cut);
    return records;
}

std::optional<std::vector<PortTarget>> ReadPorts(const QStringList &ports, const Streams &streams)
{
    // A malformed address is bad usage; the same card twice would fight over its own port.
    std::vector<PortTarget> targets;
    QStringList seen;
    for (const QString &port : ports) {
        const PortTarget target = PortTarget::Parse(port);
        if (!target.valid()) {
            Error(streams, port, AddressError(target));
            return std::nullopt;
        }
        // An address that is none is bad usage, also where a com<n> file holds it.
        if (const QString bad = BadListEntry(target, SystemPortEnvironment::Instance());
            !bad.isEmpty()) {
            Error(streams, port, bad);
            return std::nullopt;
        }
        const QString key = TargetKey(target, SystemPortEnvironment::Instance());
        if (seen.contains(key)) {
            Error(streams, port, QStringLiteral("mehrfach genannt"));
            return std::nullopt;
        }
        seen << key;
        targets.push_back(target);
    }
    return targets;
}

std::optional<Manifest> LoadManifest(const QString &path, const Streams &streams)
{
    QByteArray text;
    if (const FileStatus status = ReadFileHead(path, MaxInputBytes, false, text); !status.ok()) {
        Error(streams, path, FileErrorMessage(status));
        return std::nullopt;
    }
    QStringList problems;
    Manifest manifest = ReadManifest(text, QFileInfo(path).absolutePath(),
                                     SystemPortEnvironment::Instance(), &problems);
    if (!problems.isEmpty()) {
        for (const QString &problem : problems)
            Error(streams, path, problem);
        return std::nullopt;
    }
    return manifest;
}

int Journal(const Arguments &args, const Streams &streams)
{
    const QString port = args.value(Option::Port);
    const int last = args.has(Option::Last) ? args.value(Option::Last).toInt() : -1;
    const bool json = args.has(Option::Json);
    QString key;
    if (!port.isNull()) {
        const PortTarget target = PortTarget::Parse(port);
        if (!target.valid()) {
            Error(streams, port, AddressError(target));
            return BadInput;
        }
        key = TargetKey(target, SystemPortEnvironment::Instance());
    }
    const UploadJournal journal;
    if (!JournalIsAFile(journal, streams))
        return BadInput;
    std::vector<UploadRecord> records = ReadJournal(journal, streams);
    if (records.empty() && !json) {
        Print(streams.err, QStringLiteral("zelkora-cli: journal: noch keine Übertragung im "
                                          "Journal (%1)\n")
                               .arg(journal.journalPath()));
        return Success;
    }
    std::reverse(records.begin(), records.end());
    std::set<QString> decided; // cards whose newest record that touched them is behind us
    QJsonArray array;
    QString text;
    int shown = 0;
    for (const UploadRecord &r : records) {
        // Marked: what the card holds now. Only a complete upload that nothing came after.
        const bool newestComplete = r.touchedCard() && decided.insert(r.key).second &&
                                    r.outcome == UploadRecord::Outcome::Complete;
        if (!key.isNull() && r.key != key)
            continue;
        if (last > 0 && shown >= last)
            break;
        ++shown;
        if (json) {
            QJsonObject o = r.toJson();
            o.insert(QStringLiteral("aktuell"), newestComplete);
            array.append(o);
            continue;
        }
        QString where = r.name.isEmpty() ? r.port : r.name + QStringLiteral(" ") + r.port;
        if (!r.reached.isEmpty() && r.reached != r.port)
            where += QStringLiteral(" (") + r.reached + QLatin1Char(')');
        where = Visible(where, 120);
        text += QStringLiteral("%1 %2  %3  %4  %5  %6")
                    .arg(newestComplete ? QLatin1Char('*') : QLatin1Char(' '))
                    .arg(UploadRecord::TimeText(r.when).replace(QLatin1Char('T'), QLatin1Char(' ')),
                         where,
                         r.project.isEmpty() ? QStringLiteral("-")
                                             : Visible(QFileInfo(r.project).fileName(), 80),
                         Short(r.hash), UploadRecord::OutcomeWord(r.outcome));
        if (r.outcome != UploadRecord::Outcome::Complete &&
            r.outcome != UploadRecord::Outcome::Begun)
            text += QStringLiteral(": ") + Visible(r.reason, 300);
        text += QStringLiteral("  (%1)\n").arg(r.program);
    }
    if (json)
        Print(streams.out, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    else
        Print(streams.out, text);
    return Success;
}

int Deploy(const Arguments &args, const Streams &streams)
{
    const QString manifestPath = args.files.isEmpty() ? QString() : args.files.first();
    const QString reportPath = args.value(Option::Report);
    const bool plan = args.has(Option::Plan);
    const bool onlyChanged = args.has(Option::OnlyChanged);
    const bool json = args.has(Option::Json);
    if (json && !plan) {
        Error(streams, QStringLiteral("deploy"), QStringLiteral("--json nur mit --plan"));
        return BadInput;
    }
    if (manifestPath.isNull()) {
        Error(streams, QStringLiteral("deploy"),
              QStringLiteral("erwartet die Anlage (ANLAGE.json)"));
        return BadInput;
    }
    const std::optional<Manifest> read = LoadManifest(manifestPath, streams);
    if (!read)
        return BadInput;
    const Manifest &manifest = *read;
    std::vector<PortTarget> targets;
    for (const DeployCard &card : manifest.cards)
        targets.push_back(card.target);
    const std::optional<LinkSettings> link = ReadLinkSettings(args, targets, streams);
    if (!link)
        return BadInput;
    const UploadJournal journal;
    if (!JournalIsAFile(journal, streams))
        return BadInput;
    // The whole promise of a deployment rests on the journal, and a report asked for must
    // come: both are checked before anything is sent.
    if (!plan) {
        if (const QString why = journal.checkWritable(); !why.isEmpty()) {
            Error(streams, QStringLiteral("deploy"), why + QStringLiteral(" (nichts gesendet)"));
            return BadInput;
        }
        if (!reportPath.isEmpty()) {
            if (const FileStatus status = CheckWritable(reportPath); !status.ok()) {
                Error(streams, reportPath,
                      FileErrorMessage(status) + QStringLiteral(" (nichts gesendet)"));
                return BadInput;
            }
        }
    }
    const std::vector<PlannedCard> planned =
        PlanDeployment(manifest, ReadJournal(journal, streams));
    // Names come from the manifest: written visibly, so no name can forge a line.
    const auto nameOf = [](const DeployCard &card) {
        return Visible(card.name, 60) + QStringLiteral(" (") + Visible(card.target.text, 100) +
               QLatin1Char(')');
    };
    if (plan) {
        bool changes = false;
        std::vector<DeployOutcome> outcomes;
        for (const PlannedCard &p : planned) {
            changes |= p.standing != Standing::Current;
            DeployOutcome outcome;
            outcome.card = p.card;
            outcome.planned = &p;
            outcome.skipped = onlyChanged && p.unchanged();
            outcomes.push_back(outcome);
            QString line = nameOf(*p.card) + QStringLiteral(": ");
            if (p.state.kind == CardState::Kind::Never)
                line += QStringLiteral("nie vollständig übertragen\n");
            else if (p.state.kind == CardState::Kind::Unknown)
                line += p.state.unknownReason() +
                        QStringLiteral(", die Karte zurücksetzen; wird übertragen\n");
            else if (p.unchanged())
                line += QStringLiteral("unverändert seit %1\n")
                            .arg(p.state.last->when.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
            else if (!p.lastImage)
                line += QStringLiteral(
                            "anders als die Übertragung vom %1 (ihr Bild fehlt im Journal)\n")
                            .arg(p.state.last->when.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
            else {
                const QStringList &changes = p.changes;
                line += QStringLiteral("%1 %2 seit %3\n")
                            .arg(changes.size())
                            .arg(changes.size() == 1 ? QStringLiteral("Änderung")
                                                     : QStringLiteral("Änderungen"))
                            .arg(p.state.last->when.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
                for (const QString &change : changes)
                    line += QStringLiteral("  ") + Visible(change, 200) + QLatin1Char('\n');
            }
            if (!json)
                Print(streams.out, line);
        }
        if (!reportPath.isEmpty()) {
            if (const FileStatus written =
                    WriteFileAtomically(reportPath, DeployReportJson(outcomes));
                !written.ok()) {
                Error(streams, reportPath, FileErrorMessage(written));
                return BadInput;
            }
        }
        if (json)
            Print(streams.out, QString::fromUtf8(DeployReportJson(outcomes)));
        // As diff does: 1 when an upload would change a card.
        return changes ? Differs : Success;
    }

    std::vector<CardBatch::Errand> errands;
    std::vector<DeployOutcome> outcomes;
    std::map<const CardJob *, const DeployCard *> cardOf;
    for (const PlannedCard &p : planned) {
        DeployOutcome outcome;
        outcome.card = p.card;
        if (onlyChanged && p.unchanged()) {
            outcome.skipped = true;
            Print(streams.out, nameOf(*p.card) + QStringLiteral(": unverändert, übersprungen\n"));
        } else {
            errands.push_back({p.card->target, &p.card->image});
        }
        outcomes.push_back(outcome);
    }
    CardBatch batch(errands, CardJob::Task::Upload);
    batch.setLinkSettings(*link);
    std::size_t next = 0;
    for (DeployOutcome &outcome : outcomes)
        if (!outcome.skipped) {
            outcome.job = batch.jobs()[next++].get();
            cardOf[outcome.job] = outcome.card;
        }
    JournalRecorder recorder(
        journal, QStringLiteral("zelkora-cli"),
        [&](const CardJob &job) { return cardOf.at(&job)->project; },
        [&](const CardJob &job) { return cardOf.at(&job)->name; });
    Journalled(batch, recorder);
    const int status = errands.empty()
                           ? Success
                           : RunBatch(batch, CardJob::Task::Upload, streams,
                                      [&](const CardJob &job) { return nameOf(*cardOf.at(&job)); });
    if (!reportPath.isEmpty()) {
        if (const FileStatus written = WriteFileAtomically(reportPath, DeployReportJson(outcomes));
            !written.ok()) {
            Error(streams, reportPath, FileErrorMessage(written));
            return status == Success ? CardFailed : status;
        }
    }
    return status;
}

int Ports(const Arguments &args, const Streams &streams)
{
    const QStringList entries = DescribePortEntries(SystemPortEnvironment::Instance());
    if (args.has(Option::Json)) {
        QJsonArray ports;
        for (const QString &entry : entries) {
            const qsizetype colon = entry.indexOf(QStringLiteral(": "));
            ports.append(QJsonObject{{QStringLiteral("name"), entry.left(colon)},
                                     {QStringLiteral("beschreibung"), entry.mid(colon + 2)}});
        }
        const QJsonObject document{{QStringLiteral("format"), QStringLiteral("zelkora-ports")},
                                   {QStringLiteral("version"), 1},
                                   {QStringLiteral("ports"), ports}};
        Print(streams.out,
              QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)));
        return Success;
    }
    for (const QString &entry : entries)
        Print(streams.out, Visible(entry, 400) + QLatin1Char('\n')); // names a com<n> file holds
    return Success;
}

namespace {
// upload, version and measure: one errand for each card named by --port.
int CardErrands(const Arguments &args, CardJob::Task task, const Streams &streams)
{
    const QString &command = args.command;
    const QStringList &files = args.files;
    const QStringList ports = args.all(Option::Port);
    const bool upload = task == CardJob::Task::Upload;
    if (files.size() != (upload ? 1 : 0)) {
        Error(streams, command,
              upload
                  ? QStringLiteral("erwartet genau eine Projektdatei (zelkora-cli upload --help)")
                  : QStringLiteral("erwartet keine Datei, nur --port"));
        return BadInput;
    }
    if (ports.isEmpty()) {
        Error(streams, command, QStringLiteral("kein --port genannt"));
        return BadInput;
    }
    const std::optional<std::vector<PortTarget>> read = ReadPorts(ports, streams);
    if (!read)
        return BadInput;
    const std::vector<PortTarget> &targets = *read;
    const std::optional<LinkSettings> link = ReadLinkSettings(args, targets, streams);
    if (!link)
        return BadInput;

    ConfigImage image;
    if (upload) {
        const auto loaded = LoadProject(files.first(), streams);
        if (!loaded)
            return BadInput;
        image = *loaded;
    }
    const UploadJournal journal;
    // What a card holds is known only from the journal: an upload it cannot record is not
    // begun.
    if (upload && !JournalIsAFile(journal, streams))
        return BadInput;
    if (upload) {
        if (const QString why = journal.checkWritable(); !why.isEmpty()) {
            Error(streams, command, why + QStringLiteral(" (nichts gesendet)"));
            return CardFailed;
        }
    }
    CardBatch batch(targets, task, image);
    batch.setLinkSettings(*link);
    JournalRecorder recorder(journal, QStringLiteral("zelkora-cli"),
                             [&](const CardJob &) { return files.first(); });
    if (upload)
        Journalled(batch, recorder);
    if (!upload && args.has(Option::Json)) {
        // One document once every card has ended, the cards in the order given.
        Streams quiet = streams;
        quiet.out = nullptr;
        const int status =
            RunBatch(batch, task, quiet, [](const CardJob &job) { return job.label(); });
        const StatusRound round =
            CollectStatus(batch, nullptr, ReadJournal(journal, streams), journal);
        Print(streams.out, QString::fromUtf8(StatusJson(round)));
        return status;
    }
    return RunBatch(batch, task, streams, [](const CardJob &job) { return job.label(); });
}
} // namespace

int Upload(const Arguments &args, const Streams &streams)
{
    return CardErrands(args, CardJob::Task::Upload, streams);
}

int Version(const Arguments &args, const Streams &streams)
{
    return CardErrands(args, CardJob::Task::Version, streams);
}

int Measure(const Arguments &args, const Streams &streams)
{
    return CardErrands(args, CardJob::Task::Measure, streams);
}

std::optional<ConfigImage> LoadProjectOrCard(const QString &path, const Streams &streams)
{
    if (!path.startsWith(QLatin1String("karte:")))
        return LoadProject(path, streams);
    const PortTarget target = PortTarget::Parse(path.mid(6));
    if (!target.valid()) {
        Error(streams, path, AddressError(target));
        return std::nullopt;
    }
    const UploadJournal journal;
    if (!JournalIsAFile(journal, streams))
        return std::nullopt;
    const CardState state = UploadJournal::StateOf(
        ReadJournal(journal, streams), TargetKey(target, SystemPortEnvironment::Instance()));
    if (state.kind == CardState::Kind::Never) {
        Error(streams, path,
              QStringLiteral("keine vollständige Übertragung im Journal (%1)")
                  .arg(journal.journalPath()));
        return std::nullopt;
    }
    if (state.kind == CardState::Kind::Unknown) {
        Error(streams, path, state.unknownReason());
        return std::nullopt;
    }
    const std::optional<UploadRecord> &last = state.last;
    const std::optional<ConfigImage> image = journal.image(last->hash);
    if (!image)
        Error(streams, path,
              QStringLiteral("das Bild der Übertragung vom %1 fehlt im Journal")
                  .arg(last->when.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    return image;
}

} // namespace Cli
