#include "link/cardjob.h"

#include "link/cardsession.h"
#include "link/linkengine.h"
#include "link/linkfailure.h"
#include "link/portresolver.h"
#include "link/targetkey.h"
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
    connect(&m_session->engine(), &LinkEngine::uploadDisturbed, this, [this](int block) {
        if (m_stage != Stage::Upload)
            return;
        LinkFailure disturbed = failureHere(FailureKind::UploadDisturbed);
        disturbed.block = block;
        finish(false, disturbed);
    });
    m_deadline = new QTimer(this);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (!m_done)
            finish(false, failureHere(FailureKind::Deadline, m_deadlineMs));
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
                const LinkEngine &engine = m_session->engine();
                const std::int64_t bytes = engine.BytesReceived() - m_bytesAtCommand;
                if (bytes == 4 && !engine.ReplyTooEarly()) {
                    m_measured = true;
                    return finish(true);
                }
                finish(false, failureHere(FailureKind::Disturbed,
                                          engine.ReplyTooEarly() ? 0 : int(bytes)));
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

int CardJob::stoppedAtBlock() const
{
    // Once the first byte went out, the card was touched: the block is counted from 1.
    return m_ok || !m_done ? 0 : std::max(1, m_failure.block);
}

QString CardJob::cardKey() const
{
    if (m_key.isEmpty())
        m_key = TargetKey(m_target, m_session->environment());
    return m_key;
}

UploadOutcome CardJob::outcome() const
{
    using Outcome = UploadOutcome;
    if (!m_done)
        return Outcome::Begun;
    if (m_ok)
        return Outcome::Complete;
    switch (m_failure.kind) {
    case FailureKind::CutOff:
        return Outcome::CutOff;
    case FailureKind::UploadDisturbed:
        return Outcome::Disturbed;
    case FailureKind::Interrupted:
        return Outcome::Interrupted;
    default:
        return Outcome::Failed;
    }
}

LinkFailure CardJob::failureHere(FailureKind kind, int value) const
{
    LinkFailure f;
    f.kind = kind;
    f.where = m_session->transport().farEnd();
    f.value = value;
    return f;
}

void CardJob::armDeadline(int ms)
{
    m_deadlineMs = ms;
    m_deadline->start(ms);
}

int CardJob::drain()
{
    int n = 0;
    while (m_session->transport().ReadByte() >= 0)
        ++n;
    return n;
}

void CardJob::finishUnderway()
{
    if (m_done || m_stage == Stage::Upload)
        return;
    finish(false, failureHere(FailureKind::Interrupted));
}

void CardJob::interrupt()
{
    if (m_done)
        return;
    LinkFailure f = failureHere(FailureKind::Interrupted);
    if (m_stage == Stage::Upload) {
        const LinkEngine::UploadPosition at = LinkEngine::PositionOf(m_session->LinkStep());
        f.block = std::max(1, at.block);
    }
    finish(false, f);
}

QString CardJob::failureText() const
{
    const QString text = DescribeFailure(m_failure, m_session->environment());
    return m_failedOpening ? OpeningFailed(text) : text;
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
    armDeadline(AskDeadlineMs);
    if (m_task == Task::Measure)
        return askMeasurement();
    askVersion();
}

void CardJob::askMeasurement()
{
    // What the line held before the command is no part of the reply (a server's banner).
    drain();
    m_stage = Stage::Measure;
    m_bytesAtCommand = m_session->engine().BytesReceived();
    m_session->Measure();
    markProgress();
    m_session->Step();
}

void CardJob::askVersion()
{
    drain();
    m_stage = Stage::Version;
    m_bytesAtCommand = m_session->engine().BytesReceived();
    m_session->engine().StartPoll();
    markProgress();
    m_session->Step();
}

void CardJob::versionAnswered()
{
    const LinkEngine &engine = m_session->engine();
    // One byte, a version, and no sooner than the line carries question and answer.
    const bool disturbed = engine.NonVersionReply() >= 0 || engine.LastVersion() < 0 ||
                           engine.ReplyTooEarly() || engine.BytesReceived() - m_bytesAtCommand != 1;
    if (disturbed) {
        // Said once the line has had its moment: a server that refuses a second user writes
        // its words and closes, and that is the better reason.
        const LinkFailure f = failureHere(FailureKind::VersionDisturbed, engine.NonVersionReply());
        m_stage = Stage::VersionSettle;
        QTimer::singleShot(MeasureSettleMs, this, [this, f] { finish(false, f); });
        return;
    }
    m_version = engine.LastVersion();
    if (m_task == Task::Upload)
        return startUpload();
    // Trusted only when nothing follows it.
    m_stage = Stage::VersionSettle;
    QTimer::singleShot(MeasureSettleMs, this, [this] {
        if (m_stage != Stage::VersionSettle)
            return;
        if (m_session->engine().BytesReceived() - m_bytesAtCommand != 1 || drain() > 0)
            return finish(false, failureHere(FailureKind::VersionDisturbed, -1));
        // Another firmware may read "T" as something else: it is asked nothing more.
        if (m_task == Task::Status && m_version == LinkEngine::AcceptedVersion) {
            armDeadline(AskDeadlineMs);
            return askMeasurement();
        }
        finish(true);
    });
}

void CardJob::startUpload()
{
    if (m_version != LinkEngine::AcceptedVersion) {
        LinkFailure wrong = failureHere(FailureKind::WrongVersion, m_version);
        return finish(false, wrong);
    }
    // A line that talks unasked between the answer and "D" is no line to upload on.
    if (drain() > 0)
        return finish(false, failureHere(FailureKind::VersionDisturbed, -1));
    if (m_recorder) {
        const QString failed = m_recorder->uploadBegun(*this);
        if (!failed.isEmpty()) {
            LinkFailure f = failureHere(FailureKind::JournalFailed);
            f.systemText = failed;
            return finish(false, f);
        }
    }
    m_began = true;
    m_stage = Stage::Upload;
    armDeadline(UploadDeadlineMs);
    m_session->Send();
    markProgress();
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

    if (m_stage == Stage::Version && (step == LinkEngine::Idle || engine.NonVersionReply() >= 0))
        return versionAnswered();
    if (m_stage != Stage::VersionSettle && m_stage != Stage::MeasureSettle &&
        m_sinceProgress.elapsed() >= TimeoutMs)
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
    m_deadline->stop();
    m_session->stop();
    // Nothing more is asked of this card: its port is free for others at once.
    m_session->transport().close();
    if (m_recorder && m_began)
        m_journalProblem = m_recorder->uploadEnded(*this);
    emit finished(ok);
}
