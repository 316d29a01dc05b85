#include "cli/arguments.h"
#include "cli/clioutput.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "config/fileaccess.h"
#include "config/fileerror.h"
#include "fleet/status.h"
#include "link/cardbatch.h"
#include "link/endsignals.h"
#include "link/linkengine.h"
#include "link/measurementtext.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

#include <csignal>

namespace Cli {
namespace {

enum class Tone
{
    Plain,
    Good,
    Warn,
    Bad,
};

struct Cell
{
    QString text;
    Tone tone = Tone::Plain;
};

Cell Answer(const CardStatus &c)
{
    if (c.busy)
        return {QStringLiteral("belegt"), Tone::Warn};
    if (!c.reachable)
        return {QStringLiteral("keine Antwort"), Tone::Bad};
    return {VersionText(c.version), c.firmwareOk().value_or(false) ? Tone::Good : Tone::Bad};
}

Cell Reading(const CardStatus &c)
{
    if (!c.measurement)
        // Asked and not trusted: the reason column says why.
        return {c.reachable && c.firmwareOk().value_or(false) ? QStringLiteral("fehlt")
                                                              : QStringLiteral("-"),
                c.reachable ? Tone::Warn : Tone::Plain};
    const std::array<int, 4> &m = *c.measurement;
    return {QStringLiteral("%1/%2/%3 °C %4 %").arg(m[0]).arg(m[1]).arg(m[2]).arg(m[3]) +
                (HumidityPossible(m[3]) ? QString() : QStringLiteral(" (!)")),
            HumidityPossible(m[3]) ? Tone::Plain : Tone::Warn};
}

Cell Standing(const CardStatus &c)
{
    if (!c.standing)
        return {QStringLiteral("-")};
    const QString word = StandingWord(*c.standing);
    switch (*c.standing) {
    case Standing::Current:
        return {word, Tone::Good};
    case Standing::Changed:
        return {c.changes < 0 ? word
                              : QStringLiteral("%1 (%2 %3)")
                                    .arg(word)
                                    .arg(c.changes)
                                    .arg(c.changes == 1 ? QStringLiteral("Änderung")
                                                        : QStringLiteral("Änderungen")),
                Tone::Warn};
    case Standing::Never:
        return {word, Tone::Warn};
    case Standing::Unknown:
        break;
    }
    return {word, Tone::Bad};
}

Cell LastUpload(const CardStatus &c)
{
    if (!c.last)
        return {QStringLiteral("-")};
    const UploadRecord &r = *c.last;
    QString who = r.program;
    if (!r.computer.isEmpty())
        who += QStringLiteral(" auf ") + r.computer;
    return {QStringLiteral("%1 %2 (%3)")
                .arg(r.when.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                     UploadRecord::OutcomeWord(r.outcome), Visible(who, 60))};
}

// The table of a round: one line per card, in the order given, columns aligned; on a terminal
// with colours the answer and the standing in green, yellow or red, and every line cut to the
// terminal's width so that a redraw in place never wraps.
QStringList Table(const StatusRound &round, bool manifest, const Streams &streams)
{
    // Without a manifest a card's name is its port, and there is no project to stand against.
    std::vector<std::vector<Cell>> rows;
    const auto row = [manifest](std::vector<Cell> cells) {
        if (!manifest) {
            cells.erase(cells.begin() + 4);
            cells.erase(cells.begin() + 1);
        }
        return cells;
    };
    rows.push_back(row({{QStringLiteral("KARTE")},
                        {QStringLiteral("PORT")},
                        {QStringLiteral("ANTWORT")},
                        {QStringLiteral("MESSUNG")},
                        {QStringLiteral("STAND")},
                        {QStringLiteral("GRUND")},
                        {QStringLiteral("LETZTE ÜBERTRAGUNG")}}));
    for (const CardStatus &c : round.cards)
        rows.push_back(row({{Visible(c.name, manifest ? 30 : 60)},
                            {Visible(c.port, 60)},
                            Answer(c),
                            Reading(c),
                            Standing(c),
                            // Before the last upload, so that a narrow terminal keeps it.
                            {Visible(c.reason, streams.terminal ? 60 : 300)},
                            LastUpload(c)}));
    std::vector<qsizetype> widths(rows.front().size(), 0);
    for (const auto &cells : rows)
        for (std::size_t i = 0; i < cells.size(); ++i)
            widths[i] = std::max(widths[i], cells[i].text.size());
    QStringList lines;
    for (const auto &cells : rows) {
        QString line, shown;
        const int columns = streams.terminal ? streams.columns - 1 : INT_MAX;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            QString text =
                i + 1 < cells.size() ? cells[i].text.leftJustified(widths[i] + 2) : cells[i].text;
            // Cut before the colour is added: the codes take no room on the screen.
            const qsizetype room = columns - shown.size();
            if (room <= 0)
                break;
            if (text.size() > room)
                text = text.left(room);
            shown += text;
            static const char *const codes[] = {"", "\x1b[32m", "\x1b[33m", "\x1b[31m"};
            if (streams.colours && cells[i].tone != Tone::Plain) {
                const QString cell = text.trimmed();
                text = QString::fromLatin1(codes[int(cells[i].tone)]) + cell +
                       QStringLiteral("\x1b[0m") + QString(text.size() - cell.size(), u' ');
            }
            line += text;
        }
        lines << line.trimmed();
    }
    return lines;
}

struct StatusOptions
{
    std::vector<PortTarget> targets;
    std::optional<Manifest> manifest;
    LinkSettings link;
    bool json = false;
    QString metrics;
    int watchSeconds = 0;
};

// Reads the arguments; an error line and nothing where they are refused.
std::optional<StatusOptions> ReadOptions(const Arguments &args, const Streams &streams)
{
    StatusOptions options;
    options.json = args.has(Option::Json);
    options.metrics = args.value(Option::Prometheus);
    if (args.has(Option::Watch))
        options.watchSeconds = args.value(Option::Watch).toInt();
    const QStringList ports = args.all(Option::Port);
    if (args.files.isEmpty() == ports.isEmpty()) {
        Error(streams, QStringLiteral("status"),
              QStringLiteral("erwartet entweder die Anlage (ANLAGE.json) oder --port"));
        return std::nullopt;
    }
    if (!args.files.isEmpty()) {
        options.manifest = LoadManifest(args.files.first(), streams);
        if (!options.manifest)
            return std::nullopt;
        for (const DeployCard &card : options.manifest->cards)
            options.targets.push_back(card.target);
    } else {
        std::optional<std::vector<PortTarget>> targets = ReadPorts(ports, streams);
        if (!targets)
            return std::nullopt;
        options.targets = std::move(*targets);
    }
    const std::optional<LinkSettings> link = ReadLinkSettings(args, options.targets, streams);
    if (!link)
        return std::nullopt;
    options.link = *link;
    return options;
}

// Rounds of status, their output and the end signals.
class StatusRunner
{
public:
    StatusRunner(const StatusOptions &options, const Streams &streams)
        : m_options(options), m_streams(streams)
    {
    }

    // One round; nothing when an end signal came in the middle of it.
    std::optional<StatusRound> round()
    {
        const ConfigImage nothing; // a status round sends no image
        CardBatch batch(m_options.targets, CardJob::Task::Status, nothing);
        batch.setLinkSettings(m_options.link);
        m_batch = &batch;
        batch.run();
        m_batch = nullptr;
        if (m_endSignal != 0)
            return std::nullopt;
        const UploadJournal journal;
        const std::vector<UploadRecord> records = JournalIsAFile(journal, m_streams)
                                                      ? ReadJournal(journal, m_streams)
                                                      : std::vector<UploadRecord>();
        return CollectStatus(batch, m_options.manifest ? &*m_options.manifest : nullptr, records,
                             journal);
    }

    // Writes the round: table, JSON and the metrics file. False when the metrics file could
    // not be written (said on standard error).
    bool show(const StatusRound &round)
    {
        if (m_options.json) {
            // With --watch a document per round, each on one line.
            QByteArray text = StatusJson(round, m_options.watchSeconds > 0);
            if (!text.endsWith('\n'))
                text += '\n';
            Print(m_streams.out, QString::fromUtf8(text));
        } else {
            QStringList lines = Table(round, m_options.manifest.has_value(), m_streams);
            if (m_options.watchSeconds > 0)
                lines.prepend(QStringLiteral("zelkora-cli status, %1, alle %2 s (Ctrl-C beendet)")
                                  .arg(round.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                                  .arg(m_options.watchSeconds));
            QString text;
            const bool inPlace = m_streams.terminal && m_options.watchSeconds > 0;
            // The previous round is overwritten in place, as the progress bars are.
            if (inPlace && m_drawnLines > 0)
                text += QStringLiteral("\x1b[%1A").arg(m_drawnLines);
            for (const QString &line : lines)
                text +=
                    (inPlace ? QStringLiteral("\r\x1b[K") : QString()) + line + QLatin1Char('\n');
            if (!inPlace && m_options.watchSeconds > 0)
                text += QLatin1Char('\n');
            m_drawnLines = int(lines.size());
            Print(m_streams.out, text);
        }
        if (m_options.metrics.isEmpty())
            return true;
        if (const FileStatus written = ReplaceFileWhole(m_options.metrics, StatusMetrics(round));
            !written.ok()) {
            Error(m_streams, m_options.metrics, FileErrorMessage(written));
            return false;
        }
        return true;
    }

    // Waits until the next round is due, or an end signal came: false then.
    bool waitUntil(qint64 dueMs, const QElapsedTimer &clock)
    {
        if (m_endSignal != 0)
            return false;
        const qint64 left = dueMs - clock.elapsed();
        if (left > 0) {
            QEventLoop loop;
            m_wait = &loop;
            QTimer::singleShot(left, &loop, &QEventLoop::quit);
            loop.exec();
            m_wait = nullptr;
        }
        return m_endSignal == 0;
    }

    // A status round takes nothing from a card: an end signal ends it at once.
    void endRequested(int number)
    {
        m_endSignal = number;
        if (m_batch)
            for (const auto &job : m_batch->jobs())
                job->interrupt();
        if (m_wait)
            m_wait->quit();
    }
    int endSignal() const { return m_endSignal; }

private:
    const StatusOptions &m_options;
    const Streams &m_streams;
    CardBatch *m_batch = nullptr;
    QEventLoop *m_wait = nullptr;
    int m_endSignal = 0;
    int m_drawnLines = 0;
};

} // namespace

int Status(const Arguments &args, const Streams &streams)
{
    const std::optional<StatusOptions> options = ReadOptions(args, streams);
    if (!options)
        return BadInput;
    // A metrics file that cannot be written is found before any card is asked.
    if (!options->metrics.isEmpty()) {
        if (const FileStatus status = CheckWritable(options->metrics); !status.ok()) {
            Error(streams, options->metrics, FileErrorMessage(status));
            return BadInput;
        }
    }
    StatusRunner runner(*options, streams);
#ifndef Q_OS_WIN
    EndSignals ends({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&ends, &EndSignals::endRequested, &ends,
                     [&runner](int number) { runner.endRequested(number); });
#endif
    std::optional<int> status; // that of the last whole round
    QElapsedTimer clock;
    clock.start();
    for (qint64 round = 0;; ++round) {
        const std::optional<StatusRound> found = runner.round();
        if (!found)
            break;
        const bool written = runner.show(*found);
        status = found->healthy() && written ? Success : CardFailed;
        if (options->watchSeconds <= 0 ||
            !runner.waitUntil((round + 1) * options->watchSeconds * 1000LL, clock))
            break;
    }
    if (!status || options->watchSeconds <= 0)
        return runner.endSignal() != 0 ? 128 + runner.endSignal() : *status;
    return *status;
}

} // namespace Cli
