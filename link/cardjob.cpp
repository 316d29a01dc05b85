#include "link/cardjob.h"

#include "link/cardsession.h"
#include "link/linkengine.h"
#include "link/transport.h"

#include <QTimer>

CardJob::CardJob(const PortTarget &target, Task task, const ConfigImage &image, QObject *parent)
    : QObject(parent), m_target(target), m_task(task), m_session(new CardSession(image, this))
{
    m_session->setFreshClock(true);
    connect(m_session, &CardSession::stepped, this, &CardJob::check);
    connect(m_session, &CardSession::progressChanged, this, [this](int value) {
        if (m_stage == Stage::Upload && value != m_progress) {
            m_progress = value;
            emit progressChanged(value);
        }
    });
    connect(m_session, &CardSession::uploadCompleted, this, [this] {
        if (m_stage == Stage::Upload)
            finish(true);
    });
    connect(m_session, &CardSession::measured, this, [this](int t1, int t2, int t3, int humidity) {
        if (m_stage == Stage::Measure) {
            m_measurement = {t1, t2, t3, humidity};
            // The line has no framing: a reading is trusted only when nothing follows it.
            m_stage = Stage::MeasureSettle;
            m_bytesAtReading = m_session->engine().BytesReceived();
            QTimer::singleShot(MeasureSettleMs, this, [this] {
                if (m_stage != Stage::MeasureSettle)
                    return;
                const std::int64_t extra = m_session->engine().BytesReceived() - m_bytesAtReading;
                if (extra == 0)
                    return finish(true);
                LinkFailure disturbed;
                disturbed.kind = FailureKind::Disturbed;
                disturbed.where = m_session->transport().farEnd();
                disturbed.value = int(4 + extra);
                finish(false, disturbed);
            });
        }
    });
    connect(m_session, &CardSession::portStateChanged, this, &CardJob::lineChanged);
}

CardJob::~CardJob() = default;

QString CardJob::label() const
{
    if (m_target.kind != PortTarget::Kind::ListEntry)
        return m_target.text;
    const QString entry = m_target.url();
    const QString reached = m_session->transport().farEnd();
    return reached.isEmpty() || reached.startsWith(QLatin1String("COM"))
               ? entry
               : entry + QStringLiteral(" (") + reached + QLatin1Char(')');
}

UploadRecord CardJob::journalRecord(const QString &project, const QString &program) const
{
    const UploadRecord::Outcome outcome = m_ok ? UploadRecord::Outcome::Complete
                                          : m_failure.kind == FailureKind::CutOff
                                              ? UploadRecord::Outcome::CutOff
                                              : UploadRecord::Outcome::Failed;
    UploadRecord r = m_session->uploadRecord(
        m_target.text, TargetKey(m_target, m_session->environment()), project, program, outcome,
        m_ok ? QString() : failureText(), m_ok ? 0 : m_failure.block);
    if (m_finishedAt.isValid())
        r.when = m_finishedAt;
    return r;
}

QString CardJob::failureText() const
{
    const QString text = DescribeFailure(m_failure, m_session->environment());
    return m_failedOpening ? QStringLiteral("lässt sich nicht öffnen: ") + text : text;
}

void CardJob::start()
{
    m_startedAt = QDateTime::currentDateTime();
    m_stage = Stage::Opening;
    m_session->OpenTarget(m_target);
    // An open that succeeds at once has already begun the errand through lineChanged.
    const Transport &line = m_session->transport();
    if (m_stage != Stage::Opening)
        return;
    if (line.state() == Transport::State::Closed) {
        // Reported once the caller's loop runs, like every other end.
        const LinkFailure failure = line.failure();
        QTimer::singleShot(0, this, [this, failure] {
            m_failedOpening = true;
            finish(false, failure);
        });
    }
    // Else a connection is being made: lineChanged goes on.
}

void CardJob::lineChanged()
{
    if (m_stage == Stage::Idle || m_stage == Stage::Done)
        return;
    const Transport &line = m_session->transport();
    if (m_stage == Stage::Opening) {
        if (line.PortOpen()) {
            begin();
        } else if (line.state() == Transport::State::Closed) {
            m_failedOpening = true;
            finish(false, line.failure());
        }
        return;
    }
    if (line.lineProblem().failed())
        return finish(false, line.lineProblem());
    if (line.PortOpen())
        return;
    LinkFailure failure = line.failure();
    const LinkEngine::UploadPosition at = LinkEngine::PositionOf(m_session->LinkStep());
    if (m_stage == Stage::Upload && at.phase == LinkEngine::UploadPosition::Blocks) {
        failure.kind = FailureKind::CutOff;
        failure.block = at.block;
    }
    finish(false, failure);
}

void CardJob::begin()
{
    m_session->startStepping();
    if (m_task == Task::Measure) {
        // What the line held before the command is no part of the reply.
        while (m_session->transport().ReadByte() >= 0) {
        }
        m_stage = Stage::Measure;
        m_session->Measure();
        markProgress();
        m_session->Step();
        return;
    }
    askVersion();
}

void CardJob::askVersion()
{
    m_stage = Stage::Version;
    m_session->engine().StartPoll();
    markProgress();
    m_session->Step();
}

void CardJob::check()
{
    if (m_done || m_stage == Stage::Idle || m_stage == Stage::Opening)
        return;
    // A device server that confirmed other line settings cannot be trusted with the card.
    if (const LinkFailure &problem = m_session->transport().lineProblem(); problem.failed())
        return finish(false, problem);
    LinkEngine &engine = m_session->engine();
    const int step = engine.LinkStep();
    if (step != m_lastStep || engine.MeasureCount() != m_lastMeasureCount)
        markProgress();

    if (m_stage == Stage::Version && step == LinkEngine::Idle) {
        if (engine.LastVersion() < 0) {
            // A stray acknowledgement ended the poll without an answer: ask again.
            engine.StartPoll();
            return;
        }
        m_version = engine.LastVersion();
        if (m_task == Task::Version)
            return finish(true);
        if (m_version != LinkEngine::AcceptedVersion) {
            LinkFailure wrong;
            wrong.kind = FailureKind::WrongVersion;
            wrong.where = m_session->transport().farEnd();
            wrong.value = m_version;
            return finish(false, wrong);
        }
        m_stage = Stage::Upload;
        m_session->Send();
        markProgress();
        return;
    }
    if (m_sinceProgress.elapsed() >= TimeoutMs)
        finish(false, stalledAt());
}

void CardJob::markProgress()
{
    m_lastStep = m_session->LinkStep();
    m_lastMeasureCount = m_session->engine().MeasureCount();
    m_sinceProgress.start();
}

LinkFailure CardJob::stalledAt() const
{
    LinkFailure f;
    f.where = m_session->transport().farEnd();
    switch (m_stage) {
    case Stage::Version:
        f.kind = FailureKind::NoVersion;
        return f;
    case Stage::Measure:
        f.kind = FailureKind::NoMeasurement;
        f.value = m_session->engine().MeasureCount();
        return f;
    case Stage::Upload: {
        const LinkEngine::UploadPosition at = LinkEngine::PositionOf(m_session->LinkStep());
        if (at.phase == LinkEngine::UploadPosition::Starting) {
            f.kind = FailureKind::NoUploadAccept;
        } else if (at.phase == LinkEngine::UploadPosition::Blocks) {
            f.kind = at.block > LinkEngine::BlockCount ? FailureKind::FinalStalled
                                                       : FailureKind::BlockStalled;
            f.block = at.block;
        } else {
            f.kind = FailureKind::OutOfStep;
            f.value = m_session->LinkStep();
        }
        return f;
    }
    default:
        f.kind = FailureKind::Other;
        f.systemText = QStringLiteral("abgebrochen");
        return f;
    }
}

void CardJob::finish(bool ok, const LinkFailure &failure)
{
    if (m_done)
        return;
    m_done = true;
    m_ok = ok;
    m_failure = failure;
    m_finishedAt = QDateTime::currentDateTime();
    m_stage = Stage::Done;
    m_session->stop();
    // Nothing more is asked of this card: its port is free for others at once.
    m_session->transport().close();
    emit finished(ok);
}
