#include "link/networkport.h"

#include "link/addressforms.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {

// What a server says when it refuses the connection arrives at once.
constexpr qint64 GreetingMs = 1000;
constexpr int GreetingBytes = 256;

void ProbeIdleServer(QTcpSocket &socket)
{
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    // First probe after 5 s of silence, then every 2 s; three unanswered end the connection.
    const int fd = int(socket.socketDescriptor());
    const int idle = 5, interval = 2, count = 3;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#endif
}

} // namespace

NetworkPort::NetworkPort(QObject *parent)
    : Transport(parent), m_connectTimer(new QTimer(this)), m_negotiationTimer(new QTimer(this))
{
    m_connectTimer->setSingleShot(true);
    m_connectTimer->setInterval(ConnectTimeoutMs);
    m_negotiationTimer->setSingleShot(true);
    m_negotiationTimer->setInterval(NegotiationTimeoutMs);
    connect(m_connectTimer, &QTimer::timeout, this, &NetworkPort::connectTimedOut);
    connect(m_negotiationTimer, &QTimer::timeout, this, &NetworkPort::negotiationTimedOut);
}

NetworkPort::~NetworkPort() = default;

void NetworkPort::open(const PortTarget &target)
{
    releaseSocket();
    m_target = target;
    setFarEnd(target.url());
    setLineProblem({});
    m_rx.clear();
    m_held.clear();
    m_greeting.clear();
    m_dataBeforeTelnet = false;
    m_bytesIn = 0;
    m_purgeConfirmed = false;
    m_purgeWait.invalidate();
    m_reachedKey.clear();
    m_codec.reset();
    if (target.addressForm().carries == Carriage::Rfc2217)
        m_codec.emplace();
    emit tried();
    m_sinceTry.start();

    m_socket = makeSocket();
    connect(m_socket, &QTcpSocket::connected, this, &NetworkPort::connected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkPort::readArrived);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkPort::socketFailed);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetworkPort::disconnected);
    setFailure({});
    setState(State::Opening);
    m_connectTimer->start();
    // Resolves the name and connects in the background.
    startConnection(*m_socket, target);
}

QTcpSocket *NetworkPort::makeSocket()
{
    return new QTcpSocket(this);
}

void NetworkPort::startConnection(QTcpSocket &socket, const PortTarget &target)
{
    socket.connectToHost(target.host, target.port);
}

void NetworkPort::channelConnected()
{
    linkUp();
}

bool NetworkPort::confirmsPurge() const
{
    return false;
}

std::optional<LinkFailure> NetworkPort::explain(Trouble) const
{
    return std::nullopt;
}

void NetworkPort::close()
{
    releaseSocket();
    setState(State::Closed);
}

bool NetworkPort::reopenDue()
{
    // A busy port or a wrong address form waits for the user.
    if (state() != State::Closed || !failure().retryable())
        return false;
    if (m_sinceTry.isValid() && m_sinceTry.elapsed() < m_retryMs)
        return false;
    m_retryMs = std::min(m_retryMs * 2, int(RetryMaxMs));
    return true;
}

void NetworkPort::releaseSocket()
{
    m_connectTimer->stop();
    m_negotiationTimer->stop();
    if (QSslSocket *probe = std::exchange(m_probe, nullptr)) {
        probe->disconnect(this);
        probe->abort();
        probe->deleteLater();
    }
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    // A clean end, so the server frees its port at once; one that does not finish soon is cut.
    socket->disconnectFromHost();
    // What the end still has to send (TLS's closing alert) goes now, not at a later pass of an
    // event loop that an errand may never run again.
    socket->flush();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(2000, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void NetworkPort::connected()
{
    m_reachedKey = NetworkKey(m_socket->peerAddress(), m_target.port);
    ProbeIdleServer(*m_socket);
    channelConnected();
}

void NetworkPort::linkUp()
{
    if (!m_socket)
        return;
    m_since.start();
    if (m_codec) {
        // Open once the server has taken up the line settings; the connect limit still runs.
        write(m_codec->Opening());
        return;
    }
    setOpen();
}

void NetworkPort::setOpen()
{
    m_connectTimer->stop();
    m_negotiationTimer->stop();
    m_retryMs = RetryFirstMs;
    setState(State::Open);
}

void NetworkPort::checkNegotiation()
{
    if (state() != State::Opening || !m_codec || !m_codec->ComPortAccepted())
        return;
    if (confirmsPurge() && !m_purgeConfirmed) {
        // A server may set up its device only now and then carry out the opening commands,
        // the purge among them, over whatever came after them: the first card byte waits for
        // the purge's confirmation (a server that never confirms, PurgeWaitMs; a loaded one
        // may take a while to open its device).
        if (!m_purgeWait.isValid()) {
            m_purgeWait.start();
            QTimer::singleShot(PurgeWaitMs, Qt::PreciseTimer, m_socket,
                               [this] { checkNegotiation(); });
        }
        if (m_purgeWait.elapsed() < PurgeWaitMs)
            return;
    }
    setOpen();
}

void NetworkPort::write(const std::vector<std::uint8_t> &bytes)
{
    if (!m_socket || bytes.empty())
        return;
    // A server that takes nothing would have everything piling up here.
    if (m_socket->bytesToWrite() + qint64(bytes.size()) > MaxUnsent)
        return end(failureOf(FailureKind::NotReading));
    m_socket->write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
}

void NetworkPort::SendByte(int value)
{
    if (state() != State::Open || !m_socket)
        return;
    const auto byte = std::uint8_t(value & 0xFF);
    if (!m_codec) {
        write({byte});
        return;
    }
    if (m_codec->Suspended()) {
        // Held for the server, within what one upload can be.
        if (m_held.size() < MaxHeld)
            TelnetCodec::EncodeData(byte, m_held);
        return;
    }
    std::vector<std::uint8_t> out;
    TelnetCodec::EncodeData(byte, out);
    write(out);
}

int NetworkPort::ReadByte()
{
    if (m_rx.empty())
        return -1;
    const int byte = m_rx.front();
    m_rx.pop_front();
    return byte;
}

void NetworkPort::take(const std::uint8_t *bytes, std::size_t count)
{
    if (m_since.isValid() && m_since.elapsed() < GreetingMs)
        m_greeting.append(reinterpret_cast<const char *>(bytes),
                          std::min<qsizetype>(qsizetype(count), GreetingBytes - m_greeting.size()));
    const std::size_t room = MaxHeld - std::min(MaxHeld, m_rx.size());
    m_rx.insert(m_rx.end(), bytes, bytes + std::min(count, room));
}

void NetworkPort::readArrived()
{
    if (!m_socket)
        return;
    const QByteArray bytes = m_socket->readAll();
    m_bytesIn += bytes.size();
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    if (!m_codec) {
        // A Telnet server greets with negotiation (IAC WILL/WONT/DO/DONT) before anything else.
        const bool first = m_greeting.isEmpty();
        take(data, std::size_t(bytes.size()));
        if (first && m_greeting.size() >= 2 && quint8(m_greeting[0]) == TelnetCodec::Iac &&
            quint8(m_greeting[1]) >= TelnetCodec::Will) {
            m_rx.clear();
            return end(failureOf(FailureKind::IsTelnet));
        }
        if (!m_rx.empty())
            emit bytesArrived();
        return;
    }

    TelnetCodec::Output out;
    m_codec->Feed(data, std::size_t(bytes.size()), out);
    if (m_codec->problem() == TelnetCodec::Problem::Runaway ||
        m_codec->OtherCommands() >
            CommandAllowance + CommandsPerSecond * std::uint64_t(m_since.elapsed() / 1000))
        return end(failureOf(FailureKind::RunawayTelnet));
    write(out.reply);
    if (!m_socket)
        return; // the write found a server that does not read
    if (m_codec->Negotiated()) {
        m_negotiationTimer->stop();
    } else if (!out.data.empty() && !m_dataBeforeTelnet) {
        // Data and no Telnet: a raw port, unless it is a server's words before it closes.
        m_dataBeforeTelnet = true;
        m_negotiationTimer->start();
    }
    if (out.purged) {
        m_rx.clear(); // a banner or what the line held before
        m_purgeConfirmed = true;
    }
    if (!out.data.empty())
        take(out.data.data(), out.data.size());
    if (!m_codec->Suspended() && !m_held.empty()) {
        write(m_held);
        m_held.clear();
    }
    switch (m_codec->problem()) {
    case TelnetCodec::Problem::NoBinary:
        return end(failureOf(FailureKind::NoBinary));
    case TelnetCodec::Problem::NoComPort:
        return end(failureOf(FailureKind::NoComPort));
    case TelnetCodec::Problem::SettingsRejected:
        if (!lineProblem().failed()) {
            LinkFailure problem = failureOf(FailureKind::SettingsRejected);
            problem.setting = m_codec->rejectedSetting();
            problem.value = int(m_codec->rejectedValue());
            setLineProblem(problem);
            emit stateChanged();
        }
        break;
    case TelnetCodec::Problem::Runaway:
        return end(failureOf(FailureKind::RunawayTelnet));
    case TelnetCodec::Problem::None:
        break;
    }
    checkNegotiation();
    if (!m_rx.empty() && state() == State::Open)
        emit bytesArrived();
}

QString NetworkPort::serverWords() const
{
    if (!m_since.isValid() || m_since.elapsed() > 3 * GreetingMs)
        return {};
    QString text;
    for (const char c : m_greeting) {
        if (c == '\r' || c == '\n')
            text += QLatin1Char(' ');
        else if (c >= 0x20 && c < 0x7F)
            text += QLatin1Char(c);
        else
            return {}; // not a sentence: bytes of the card or of a protocol
    }
    text = text.simplified();
    const bool sentence =
        text.contains(QLatin1Char(' ')) &&
        std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
    return sentence ? text.left(120) : QString();
}

void NetworkPort::disconnected()
{
    if (state() == State::Closed)
        return;
    // Words that came with the close may not have been read yet.
    if (m_socket && m_socket->bytesAvailable() > 0) {
        readArrived();
        if (state() == State::Closed)
            return;
    }
    const QString words = serverWords();
    // A server that refuses a second user says so and closes: a busy port, not a lost one.
    // One whose serial device is missing (an adapter unplugged at the server) says that.
    if (words.isEmpty()) {
        if (const std::optional<LinkFailure> known = explain(Trouble::SilentClose))
            return end(*known);
        // A TLS server takes Telnet negotiation for a broken handshake and closes at once:
        // whether it is one is asked on a connection of its own, which carries no card byte.
        if (m_codec && state() == State::Opening && !heardFromServer() &&
            sinceLinkUp() < GreetingMs && !target().addressForm().tls)
            return probeForTls();
        return end(failureOf(FailureKind::Closed));
    }
    const bool deviceMissing = words.contains(QLatin1String("open failure"), Qt::CaseInsensitive);
    end(failureOf(deviceMissing ? FailureKind::DeviceMissing : FailureKind::Busy, words));
}

void NetworkPort::probeForTls()
{
    releaseSocket();
    auto *probe = new QSslSocket(this);
    m_probe = probe;
    // Only whether the server speaks TLS at all: the probe carries nothing, so whom it
    // reached does not matter.
    QSslConfiguration config = probe->sslConfiguration();
    config.setPeerVerifyMode(QSslSocket::QueryPeer);
    probe->setSslConfiguration(config);
    const auto answer = [this, probe](bool tls) {
        if (m_probe != probe)
            return;
        releaseSocket();
        end(failureOf(tls ? FailureKind::TlsExpected : FailureKind::Closed));
    };
    connect(probe, &QSslSocket::encrypted, this, [answer] { answer(true); });
    connect(probe, &QSslSocket::errorOccurred, this,
            [answer, probe](QAbstractSocket::SocketError e) {
                // A server that wants a client certificate during the handshake says so by an
                // alert.
                answer(e == QAbstractSocket::SslHandshakeFailedError &&
                       probe->errorString().contains(QLatin1String("alert"), Qt::CaseInsensitive));
            });
    QTimer::singleShot(2 * GreetingMs, probe, [answer] { answer(false); });
    probe->connectToHostEncrypted(m_target.host, m_target.port);
}

void NetworkPort::socketFailed()
{
    if (!m_socket || state() == State::Closed)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    // In the user's words, not Qt's English ones.
    const QString text = SocketErrorText(int(error));
    // A server that closed may have said why (a port in use), also while the line is set.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return disconnected();
    if (const std::optional<LinkFailure> known = explain(Trouble::SocketError))
        return end(*known);
    if (state() == State::Open) {
        // Keep-alive found the server gone, or the connection broke.
        return end(failureOf(FailureKind::Closed, text));
    }
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return end(failureOf(FailureKind::Refused));
    case QAbstractSocket::HostNotFoundError:
        return end(failureOf(FailureKind::HostUnknown));
    case QAbstractSocket::NetworkError:
        return end(failureOf(FailureKind::Unreachable, text));
    case QAbstractSocket::SocketTimeoutError:
        return end(failureOf(FailureKind::NoAnswer));
    case QAbstractSocket::RemoteHostClosedError:
        return end(failureOf(FailureKind::Closed));
    default:
        return end(failureOf(FailureKind::Other, text));
    }
}

void NetworkPort::connectTimedOut()
{
    if (state() != State::Opening)
        return;
    if (const std::optional<LinkFailure> known = explain(Trouble::ConnectLimit))
        return end(*known);
    const bool connected = m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    if (!connected || !m_codec)
        return end(failureOf(FailureKind::NoAnswer));
    // Connected, but the server never set the line: say why, and advise socket:// only where
    // the server showed it is one.
    if (m_dataBeforeTelnet && !m_codec->Negotiated())
        return end(failureOf(FailureKind::NotTelnet));
    end(failureOf(m_codec->Negotiated() ? FailureKind::NoComPort : FailureKind::NoNegotiation));
}

void NetworkPort::negotiationTimedOut()
{
    if (m_codec && !m_codec->Negotiated() && m_dataBeforeTelnet)
        end(failureOf(FailureKind::NotTelnet));
}

LinkFailure NetworkPort::failureOf(FailureKind kind, const QString &systemText) const
{
    LinkFailure f;
    f.kind = kind;
    f.where = m_target.url();
    f.systemText = systemText;
    return f;
}

void NetworkPort::end(const LinkFailure &failure)
{
    const bool wasOpen = state() == State::Open;
    setFailure(failure);
    releaseSocket();
    setState(State::Closed);
    if (wasOpen)
        emit lineLost();
}

Transport *MakeNetworkPort(QObject *parent)
{
    return new NetworkPort(parent);
}
