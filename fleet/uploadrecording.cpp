#include "fleet/uploadrecording.h"

#include "link/cardjob.h"
#include "link/cardsession.h"
#include "link/linkengine.h"
#include "link/transport.h"

#include <QFileInfo>
#include <QSysInfo>

UploadRecord SessionRecord(const CardSession &session, const QString &port, const QString &key,
                           const QString &project, const QString &program, UploadOutcome outcome,
                           const QString &reason, int block)
{
    UploadRecord r;
    r.when = QDateTime::currentDateTime();
    r.port = port;
    r.reached = session.transport().farEnd();
    r.key = key;
    r.project = project.isEmpty() ? QString() : QFileInfo(project).absoluteFilePath();
    r.hash = UploadJournal::HashOf(session.image());
    const std::vector<std::uint8_t> &last = session.engine().LastFinalBlock();
    if (outcome == UploadOutcome::Complete || block > LinkEngine::BlockCount)
        r.finalBlock =
            QByteArray(reinterpret_cast<const char *>(last.data()), qsizetype(last.size()));
    r.outcome = outcome;
    r.reason = reason;
    r.block = block;
    r.program = program;
    r.computer = QSysInfo::machineHostName();
    return r;
}

JournalRecorder::JournalRecorder(const UploadJournal &journal, const QString &program,
                                 Naming project, Naming name)
    : m_journal(journal), m_program(program), m_project(std::move(project)), m_name(std::move(name))
{
}

UploadRecord JournalRecorder::record(const CardJob &job) const
{
    const bool ended = job.done() && !job.ok();
    UploadRecord r = SessionRecord(job.session(), job.target().text, job.cardKey(),
                                   m_project ? m_project(job) : QString(), m_program, job.outcome(),
                                   ended ? job.failureText() : QString(), job.stoppedAtBlock());
    if (m_name)
        r.name = m_name(job);
    if (job.finishedAt().isValid())
        r.when = job.finishedAt();
    return r;
}

QString JournalRecorder::uploadBegun(const CardJob &job)
{
    return m_journal.append(record(job), job.session().image());
}

QString JournalRecorder::uploadEnded(const CardJob &job)
{
    return m_journal.append(record(job), job.session().image());
}
