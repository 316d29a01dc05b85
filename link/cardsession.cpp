#include "link/cardsession.h"

#include "link/linkclock.h"
#include "link/linkengine.h"
#include "link/linkfailure.h"
#include "link/networkport.h"
#include "link/portresolver.h"
#include "link/serialport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <memory>

CardSession::CardSession(const ConfigImage &image, QObject *parent)
    : QObject(parent), m_image(image), m_environment(&SystemPortEnvironment::Instance()),
      m_serial(new SerialPort(this)), m_transport(m_serial), m_ownsTransports(true)
{
    wire();
}

CardSession::CardSession(Transport &line, const ConfigImage &image, QObject *parent)
    : QObject(parent), m_image(image), m_environment(&SystemPortEnvironment::Instance()),
      m_transport(&line)
{
    wire();
}

CardSession::~CardSession() = default;

void CardSession::wire()
{
    m_clock = new LinkClock(this);
    m_engine = new LinkEngine(*m_transport, m_image, m_clock->Values(), this);
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(20);
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(1000);
    m_now = [] { return QDateTime::currentDateTime(); };

    connect(m_timer1, &QTimer::timeout, this, &CardSession::Step);
    connect(m_timer2, &QTimer::timeout, this, [this] { SecondTick(m_now()); });
    if (m_ownsTransports) {
        // The card's line runs at 2400 baud, behind a device server too: an acknowledgement
        // faster than that wire is a surplus one.
        auto lineTime = std::make_shared<QElapsedTimer>();
        lineTime->start();
        m_engine->setLineClock([lineTime] { return lineTime->nsecsElapsed() / 1000; });
    }
    // The next block leaves as soon as its acknowledgement is in, not at the next tick.
    connect(m_transport, &Transport::bytesArrived, this, &CardSession::Step);
    connect(m_transport, &Transport::stateChanged, this, &CardSession::transportChanged);

    connect(m_engine, &LinkEngine::progressChanged, this, &CardSession::progressChanged);
    connect(m_engine, &LinkEngine::measured, this, &CardSession::measured);
    connect(m_engine, &LinkEngine::uploadCompleted, this, &CardSession::uploadCompleted);
    connect(m_engine, &LinkEngine::sendDisabled, this, &CardSession::sendDisabled);
    connect(m_clock, &LinkClock::clockTextChanged, this, &CardSession::clockTextChanged);
    connect(this, &CardSession::portStateChanged, this, [this] { ++m_stateReports; });
}

void CardSession::setEnvironment(const PortEnvironment &environment)
{
    m_environment = &environment;
    if (m_serial)
        m_serial->setEnvironment(environment);
}

void CardSession::transportChanged()
{
    if (sender() != m_transport)
        return;
    if (m_transport->PortOpen())
        m_retryMs = RetryFirstMs;
    emit portStateChanged();
}

void CardSession::use(Transport *transport)
{
    if (transport == m_transport)
        return;
    m_transport->close();
    m_transport = transport;
    m_engine->setPort(*transport);
}

void CardSession::setTimeSource(std::function<QDateTime()> now)
{
    m_now = std::move(now);
}

void CardSession::start()
{
    m_timer1->start();
    m_timer2->start();
}

void CardSession::startStepping()
{
    m_timer1->start();
}

void CardSession::stop()
{
    m_timer1->stop();
    m_timer2->stop();
}

bool CardSession::ConnectPort(const QString &portListText)
{
    m_choice = portListText;
    return connectChoice();
}

bool CardSession::ComboBox1Change(const QString &portListText)
{
    m_choice = portListText;
    if (m_transport->state() != Transport::State::Closed)
        m_transport->close();
    return connectChoice();
}

bool CardSession::OpenTarget(const PortTarget &target)
{
    m_choice.clear();
    if (target.kind == PortTarget::Kind::ListEntry) {
        const bool open = ConnectPort(target.url());
        m_choice.clear();
        return open;
    }
    const int before = m_stateReports;
    if (m_ownsTransports) {
        if (target.isNetwork()) {
            if (!m_network) {
                m_network = new NetworkPort(this);
                connect(m_network, &Transport::bytesArrived, this, &CardSession::Step);
                connect(m_network, &Transport::stateChanged, this, &CardSession::transportChanged);
            }
            use(m_network);
        } else {
            use(m_serial);
        }
        m_sinceTry.start();
        m_transport->open(target);
    }
    if (m_stateReports == before)
        emit portStateChanged(); // a failed open after a failed one changes no state
    return m_transport->PortOpen();
}

bool CardSession::connectChoice()
{
    // A configuration file com<n> that is a text file rather than a link names a device
    // server.
    const QString choice = m_choice;
    const int n = PortListNumber(choice);
    PortTarget target;
    if (m_ownsTransports && n > 0) {
        const QFileInfo file(m_environment->LinkFolder() + QStringLiteral("/com%1").arg(n));
        if (file.isFile() && !file.isSymLink()) {
            const PortResolution r = ResolvePort(QStringLiteral("Com%1").arg(n), *m_environment);
            if (r.address.valid())
                target = r.address;
        }
    }
    bool open = false;
    if (target.valid()) {
        open = OpenTarget(target);
    } else {
        const int before = m_stateReports;
        if (m_ownsTransports) {
            use(m_serial);
            open = m_serial->ConnectPort(choice);
        }
        if (m_stateReports == before)
            emit portStateChanged();
    }
    m_choice = choice;
    return open;
}

void CardSession::Send()
{
    if (!m_held)
        m_engine->Button1Click();
}

void CardSession::Reset()
{
    m_engine->Button2Click();
}

void CardSession::Measure()
{
    if (!m_held)
        m_engine->Button3Click();
}

void CardSession::setHeld(bool held)
{
    m_held = held;
    // A poll asked for but not sent yet must not go out either.
    const int step = m_engine->LinkStep();
    if (held && (step == LinkEngine::PollAsked || step == LinkEngine::AwaitVersion))
        m_engine->Button2Click();
}

void CardSession::Step()
{
    if (m_freshClock)
        m_clock->Timer2Timer(m_now());
    m_engine->Timer1Timer();
    emit stepped();
}

void CardSession::reconnectWhenDue()
{
    // Refused, unreachable or lost: tried again, less often the longer it stays away, but
    // never more than RetryMaxMs apart. A busy port or a wrong address form waits for the user.
    if (m_transport->state() != Transport::State::Closed || !m_transport->failure().retryable())
        return;
    if (m_sinceTry.isValid() && m_sinceTry.elapsed() < m_retryMs)
        return;
    m_retryMs = std::min(m_retryMs * 2, int(RetryMaxMs));
    connectChoice();
}

void CardSession::reopenWhenBack()
{
    if (!m_ownsTransports || m_transport->PortOpen() || m_choice.isNull())
        return;
    if (m_transport == m_network)
        return reconnectWhenDue();
#ifdef Q_OS_WIN
    // "COM n" is COMn there, as it always was, and reopened only by the user's choice.
    return;
#endif
    const FailureKind failure = m_serial->LastFailureKind();
    if (failure != FailureKind::NotFound && failure != FailureKind::NoDevice &&
        failure != FailureKind::Gone)
        return;
    // Looked up without opening: nothing is tried while the device is absent.
    const QString mode = ModeStringFor(m_choice);
    if (!m_serial->DeviceAvailable(mode))
        return;
    const int before = m_stateReports;
    m_serial->OpenPort(mode);
    if (m_stateReports == before)
        emit portStateChanged();
}

void CardSession::SecondTick(const QDateTime &now)
{
    reopenWhenBack();
    m_clock->Timer2Timer(now);
    // Reported before the next poll clears the flags: this is the cycle that just ended. A
    // held card is asked nothing, so nothing says it answers.
    const bool seen = !m_held && m_engine->CardSeen();
    emit linkReported(seen && m_transport->PortOpen(), seen && !m_engine->VersionOk());
    if (!m_held)
        m_engine->StartPoll();
}

bool CardSession::PortOpen() const
{
    return m_transport->PortOpen();
}

int CardSession::LinkStep() const
{
    return m_engine->LinkStep();
}
