#include "cardsession.h"

#include "linkclock.h"
#include "linkengine.h"
#include "serialport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>

CardSession::CardSession(const ConfigImage &image, QObject *parent)
    : QObject(parent), m_image(image), m_serial(new SerialPort(this)), m_port(m_serial)
{
    wire();
}

CardSession::CardSession(BytePort &port, const ConfigImage &image, QObject *parent)
    : QObject(parent), m_image(image), m_port(&port)
{
    wire();
}

CardSession::~CardSession() = default;

void CardSession::wire()
{
    m_clock = new LinkClock(this);
    m_engine = new LinkEngine(*m_port, m_image, m_clock->Values(), this);
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(20);
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(1000);
    m_now = [] { return QDateTime::currentDateTime(); };

    connect(m_timer1, &QTimer::timeout, this, &CardSession::Step);
    connect(m_timer2, &QTimer::timeout, this, [this] { SecondTick(m_now()); });
    if (m_serial) {
        // A real line takes its time: an acknowledgement faster than the wire is a surplus one.
        auto lineTime = std::make_shared<QElapsedTimer>();
        lineTime->start();
        m_engine->setLineClock([lineTime] { return lineTime->nsecsElapsed() / 1000; });
        // The next block leaves as soon as its acknowledgement is in, not at the next tick.
        connect(m_serial, &SerialPort::bytesArrived, this, &CardSession::Step);
        connect(m_serial, &SerialPort::portLost, this, &CardSession::portStateChanged);
    }

    connect(m_engine, &LinkEngine::progressChanged, this, &CardSession::progressChanged);
    connect(m_engine, &LinkEngine::measured, this, &CardSession::measured);
    connect(m_engine, &LinkEngine::uploadCompleted, this, &CardSession::uploadCompleted);
    connect(m_engine, &LinkEngine::sendDisabled, this, &CardSession::sendDisabled);
    connect(m_clock, &LinkClock::clockTextChanged, this, &CardSession::clockTextChanged);
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
    const bool open = m_serial && m_serial->ConnectPort(portListText);
    emit portStateChanged();
    return open;
}

bool CardSession::ComboBox1Change(const QString &portListText)
{
    m_choice = portListText;
    const bool open = m_serial && m_serial->ComboBox1Change(portListText);
    emit portStateChanged();
    return open;
}

bool CardSession::OpenDevice(const QString &path)
{
    m_choice.clear();
    const bool open = m_serial && m_serial->OpenDevice(path) == 1;
    emit portStateChanged();
    return open;
}

void CardSession::Send()
{
    m_engine->Button1Click();
}

void CardSession::Reset()
{
    m_engine->Button2Click();
}

void CardSession::Measure()
{
    m_engine->Button3Click();
}

void CardSession::Step()
{
    if (m_freshClock)
        m_clock->Timer2Timer(m_now());
    m_engine->Timer1Timer();
    emit stepped();
}

void CardSession::reopenWhenBack()
{
#ifdef Q_OS_WIN
    // "COM n" is COMn there, as it always was, and reopened only by the user's choice.
    return;
#endif
    if (!m_serial || m_serial->PortOpen() || m_choice.isNull())
        return;
    const PortFailure failure = m_serial->LastFailureKind();
    if (failure != PortFailure::NotFound && failure != PortFailure::NoDevice &&
        failure != PortFailure::Gone)
        return;
    // Looked up without opening: nothing is tried while the device is absent.
    const QString mode = ModeStringFor(m_choice);
    if (!m_serial->DeviceAvailable(mode))
        return;
    m_serial->OpenPort(mode);
    emit portStateChanged();
}

void CardSession::SecondTick(const QDateTime &now)
{
    reopenWhenBack();
    m_clock->Timer2Timer(now);
    // Reported before the next poll clears the flags: this is the cycle that just ended.
    const bool seen = m_engine->CardSeen();
    emit linkReported(seen && m_port->PortOpen(), seen && !m_engine->VersionOk());
    m_engine->StartPoll();
}

bool CardSession::PortOpen() const
{
    return m_port->PortOpen();
}

int CardSession::LinkStep() const
{
    return m_engine->LinkStep();
}
