#include "link/cardsession.h"

#include "link/linkclock.h"
#include "link/linkengine.h"
#include "link/linkfailure.h"
#include "link/portresolver.h"
#include "link/transport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <memory>

CardSession::CardSession(const ConfigImage &image, QObject *parent)
    : QObject(parent), m_image(image), m_form(&LocalForm())
{
    m_settings.environment = &SystemPortEnvironment::Instance();
    m_transport = m_form->make(this);
    m_transport->configure(m_settings);
    wire();
}

CardSession::CardSession(Transport &line, const ConfigImage &image, QObject *parent)
    : QObject(parent), m_image(image), m_transport(&line)
{
    m_settings.environment = &SystemPortEnvironment::Instance();
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
    if (m_form) {
        // The card's line runs at 2400 baud, behind a device server too: an acknowledgement
        // faster than that wire is a surplus one.
        auto lineTime = std::make_shared<QElapsedTimer>();
        lineTime->start();
        m_engine->setLineClock([lineTime] { return lineTime->nsecsElapsed() / 1000; });
    }
    connectTransport();

    connect(m_engine, &LinkEngine::progressChanged, this, &CardSession::progressChanged);
    connect(m_engine, &LinkEngine::measured, this, &CardSession::measured);
    connect(m_engine, &LinkEngine::uploadCompleted, this, &CardSession::uploadCompleted);
    connect(m_engine, &LinkEngine::sendDisabled, this, &CardSession::sendDisabled);
    connect(m_clock, &LinkClock::clockTextChanged, this, &CardSession::clockTextChanged);
    connect(this, &CardSession::portStateChanged, this, [this] { ++m_stateReports; });
}

void CardSession::setEnvironment(const PortEnvironment &environment)
{
    m_settings.environment = &environment;
    if (m_form)
        m_transport->configure(m_settings);
}

void CardSession::setLinkSettings(const LinkSettings &settings)
{
    const PortEnvironment *environment = m_settings.environment;
    m_settings = settings;
    m_settings.environment = environment;
    if (m_form)
        m_transport->configure(m_settings);
}

void CardSession::connectTransport()
{
    // The next block leaves as soon as its acknowledgement is in, not at the next tick.
    connect(m_transport, &Transport::bytesArrived, this, &CardSession::Step);
    connect(m_transport, &Transport::stateChanged, this, &CardSession::transportChanged);
    connect(m_transport, &Transport::lineLost, this, &CardSession::lineLost);
}

void CardSession::transportChanged()
{
    if (sender() == m_transport)
        emit portStateChanged();
}

Transport &CardSession::transportFor(const PortTarget &target)
{
    const AddressForm &form = target.addressForm();
    if (!m_form || form.make == m_form->make)
        return *m_transport;
    Transport *old = m_transport;
    old->disconnect(this);
    old->close();
    old->deleteLater();
    m_form = &form;
    m_transport = form.make(this);
    m_transport->configure(m_settings);
    m_engine->setPort(*m_transport);
    connectTransport();
    return *m_transport;
}

bool CardSession::openOn(const PortTarget &target, bool again)
{
    const int before = m_stateReports;
    if (m_form) {
        Transport &line = transportFor(target);
        if (again)
            line.reopen(target);
        else
            line.open(target);
    }
    if (m_stateReports == before)
        emit portStateChanged(); // a failed open after a failed one changes no state
    return m_transport->PortOpen();
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

PortTarget CardSession::resolved(const PortTarget &target) const
{
    // A configuration file com<n> that is a text file rather than a link names a device
    // server; read again on every attempt, so a changed address is taken up.
    if (!m_form || target.kind != PortTarget::Kind::ListEntry || target.entry == 0)
        return target;
    const QFileInfo file(environment().LinkFolder() + QStringLiteral("/com%1").arg(target.entry));
    if (!file.isFile() || file.isSymLink())
        return target;
    const PortResolution r = ResolvePort(QStringLiteral("Com%1").arg(target.entry), environment());
    return r.address.valid() ? r.address : target;
}

bool CardSession::OpenTarget(const PortTarget &target)
{
    m_choice.clear();
    return openOn(resolved(target), false);
}

bool CardSession::connectChoice(bool again)
{
    return openOn(resolved(PortTarget::ListChoice(m_choice)), again);
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

void CardSession::reopenWhenDue()
{
    if (!m_form || m_transport->state() != Transport::State::Closed || m_choice.isNull())
        return;
    if (m_transport->reopenDue())
        connectChoice(true);
}

void CardSession::SecondTick(const QDateTime &now)
{
    reopenWhenDue();
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
