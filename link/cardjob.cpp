#include "cardjob.h"

#include "cardsession.h"
#include "linkengine.h"
#include "serialport.h"

#include <QRegularExpression>
#include <QTimer>

CardJob::CardJob(const QString &port, Task task, const ConfigImage &image, QObject *parent)
    : QObject(parent), m_port(port), m_task(task), m_session(new CardSession(image, this))
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
            finish(true);
        }
    });
    connect(m_session, &CardSession::portStateChanged, this, [this] {
        if (m_stage != Stage::Idle && m_stage != Stage::Done && !m_session->PortOpen())
            finish(false, QStringLiteral("Verbindung getrennt (%1)").arg(stalledAt()));
    });
}

CardJob::~CardJob() = default;

bool CardJob::IsPortListName(const QString &text, QString *entry)
{
    static const QRegularExpression name(QStringLiteral("^COM ?([1-9])$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto match = name.match(text.trimmed());
    if (match.hasMatch() && entry)
        *entry = QStringLiteral("COM ") + match.captured(1);
    return match.hasMatch();
}

QString CardJob::device() const
{
    return m_session->serialPort()->LastDevice();
}

void CardJob::start()
{
    QString entry;
    const bool open = IsPortListName(m_port, &entry) ? m_session->ConnectPort(entry)
                                                     : m_session->OpenDevice(m_port);
    if (!open) {
        const SerialPort *serial = m_session->serialPort();
        const QString detail = serial->LastFailureDetail();
        // Reported once the caller's loop runs, like every other end.
        QTimer::singleShot(0, this, [this, detail] {
            finish(false, QStringLiteral("lässt sich nicht öffnen: ") + detail);
        });
        return;
    }
    m_session->startStepping();
    if (m_task == Task::Measure) {
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
    if (m_done || m_stage == Stage::Idle)
        return;
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
        if (m_version != LinkEngine::AcceptedVersion)
            return finish(false, QStringLiteral("falsche Version %1 (erwartet %2)")
                                     .arg(m_version)
                                     .arg(LinkEngine::AcceptedVersion));
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

QString CardJob::stalledAt() const
{
    const int step = m_session->LinkStep();
    switch (m_stage) {
    case Stage::Version:
        return QStringLiteral("keine Antwort auf die Versionsabfrage (L)");
    case Stage::Measure:
        return QStringLiteral("keine Messwerte (T): %1 von 4 Bytes")
            .arg(m_session->engine().MeasureCount());
    case Stage::Upload:
        if (step == LinkEngine::UploadAsked || step == LinkEngine::AwaitUploadAccept)
            return QStringLiteral("keine Antwort auf den Upload-Befehl (D)");
        if (step >= 5 && step <= 68)
            return QStringLiteral("keine Bestätigung für Block %1 von 32").arg((step - 6) / 2 + 1);
        if (step == LinkEngine::FinalBlockDue || step == LinkEngine::AwaitLastAck)
            return QStringLiteral("keine Bestätigung für den Schlussblock");
        return QStringLiteral("Upload aus dem Takt (Schritt %1)").arg(step);
    default:
        return QStringLiteral("abgebrochen");
    }
}

void CardJob::finish(bool ok, const QString &failure)
{
    if (m_done)
        return;
    m_done = true;
    m_ok = ok;
    m_failure = failure;
    m_stage = Stage::Done;
    m_session->stop();
    // Nothing more is asked of this card: its port is free for others at once.
    if (SerialPort *serial = m_session->serialPort())
        serial->ClosePort();
    emit finished(ok);
}
