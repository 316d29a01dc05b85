#include "cardbatch.h"
#include "clioutput.h"
#include "linkengine.h"
#include "portresolver.h"

#include <QTimer>

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
        return job.version() == LinkEngine::AcceptedVersion
                   ? QStringLiteral("Version %1").arg(job.version())
                   : QStringLiteral("Version %1 (erwartet %2)")
                         .arg(job.version())
                         .arg(LinkEngine::AcceptedVersion);
    case CardJob::Task::Measure: {
        const auto &m = job.measurement();
        return QStringLiteral("%1 °C, %2 °C, %3 °C, %4 % rel. LF")
            .arg(m[0])
            .arg(m[1])
            .arg(m[2])
            .arg(m[3]);
    }
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
    }

    void draw()
    {
        QString text;
        if (m_drawn)
            text += QStringLiteral("\x1b[%1A").arg(m_jobs.size());
        for (const auto &job : m_jobs)
            text += QStringLiteral("\r\x1b[K") + line(*job) + QLatin1Char('\n');
        m_drawn = true;
        Print(m_streams.out, text);
    }

private:
    // A line that wraps would spoil the redraw: long device paths keep their distinctive end.
    static QString Name(const CardJob &job)
    {
        constexpr int MaxName = 20;
        const QString port = job.target().text;
        return port.size() <= MaxName ? port : QStringLiteral("…") + port.right(MaxName - 1);
    }

    QString line(const CardJob &job) const
    {
        constexpr int BarWidth = 24;
        const int progress = job.done() && job.ok() ? 71 : job.progress();
        const int filled = BarWidth * progress / 71;
        QString state;
        if (job.done())
            // The reason follows below the bars; here it would wrap the line.
            state = job.ok() ? QStringLiteral("fertig") : QStringLiteral("FEHLER (siehe unten)");
        else if (progress < 5)
            state = QStringLiteral("Version und Start");
        else
            state =
                QStringLiteral("Block %1/32")
                    .arg(std::min(LinkEngine::BlockCount, LinkEngine::PositionOf(progress).block));
        return Name(job).leftJustified(m_width) + QStringLiteral("  [") +
               QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('-')) +
               QStringLiteral("] %1 %  ").arg(100 * progress / 71, 3) + state;
    }

    const std::vector<std::unique_ptr<CardJob>> &m_jobs;
    const Streams &m_streams;
    int m_width = 0;
    bool m_drawn = false;
};

int Ports(const QStringList &options, const Streams &streams)
{
    if (!options.isEmpty()) {
        Error(streams, QStringLiteral("ports"), QStringLiteral("erwartet keine Argumente"));
        return BadInput;
    }
    for (int n = 1; n <= 9; ++n)
        Print(streams.out,
              DescribePortEntry(n, SystemPortEnvironment::Instance()) + QLatin1Char('\n'));
    return Success;
}

} // namespace

int RunCardCommand(const QString &command, const QStringList &options, const Streams &streams)
{
    if (command == QLatin1String("ports"))
        return Ports(options, streams);

    QStringList files, ports;
    bool optionsEnded = false;
    for (int i = 0; i < options.size(); ++i) {
        const QString &option = options[i];
        if (optionsEnded) {
            files << option;
        } else if (option == QLatin1String("--")) {
            optionsEnded = true;
        } else if (option == QLatin1String("--port") || option == QLatin1String("-p")) {
            if (i + 1 >= options.size()) {
                Error(streams, command, option + QStringLiteral(" ohne Port"));
                return BadInput;
            }
            ports << options[++i];
        } else if (option.startsWith(QLatin1String("--port="))) {
            ports << option.mid(7);
        } else if (option.startsWith(QLatin1Char('-')) && option.size() > 1) {
            Error(streams, command, QStringLiteral("unbekannte Option %1").arg(option));
            return BadInput;
        } else {
            files << option;
        }
    }
    const bool upload = command == QLatin1String("upload");
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
    // A malformed address is bad usage; the same card twice would fight over its own port.
    std::vector<PortTarget> targets;
    QStringList seen;
    for (const QString &port : ports) {
        const PortTarget target = PortTarget::Parse(port);
        if (!target.valid()) {
            Error(streams, port, target.error);
            return BadInput;
        }
        const QString key = TargetKey(target, SystemPortEnvironment::Instance());
        if (seen.contains(key)) {
            Error(streams, port, QStringLiteral("mehrfach genannt"));
            return BadInput;
        }
        seen << key;
        targets.push_back(target);
    }

    ConfigImage image;
    if (upload) {
        const auto loaded = LoadProject(files.first(), streams);
        if (!loaded)
            return BadInput;
        image = *loaded;
    }
    const CardJob::Task task = upload                                ? CardJob::Task::Upload
                               : command == QLatin1String("version") ? CardJob::Task::Version
                                                                     : CardJob::Task::Measure;

    CardBatch batch(targets, task, image);
    const bool bars = upload && streams.terminal;
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
    QObject::connect(&batch, &CardBatch::jobFinished, &batch, [&](CardJob *job) {
        if (!bars) {
            if (job->ok())
                Print(streams.out, job->label() + QStringLiteral(": ") + Outcome(*job, task) +
                                       QLatin1Char('\n'));
            else
                Error(streams, job->label(), job->failureText());
        }
        redraw = true;
    });
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
                Error(streams, job->label(), job->failureText());
    }
    return batch.allOk() ? Success : CardFailed;
}

} // namespace Cli
