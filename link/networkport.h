#pragma once

#include "link/porttarget.h"
#include "link/telnetcodec.h"
#include "link/transport.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <deque>
#include <optional>
#include <vector>

class QSslSocket;
class QTcpSocket;
class QTimer;

// A card behind a serial device server: rfc2217:// speaks Telnet with the Com Port Control
// Option and sets the line itself; socket:// carries the bytes as they are and leaves the line
// to the server's configuration. The name is resolved and the connection made in the
// background, so nothing here holds the event loop; an attempt gives up after
// ConnectTimeoutMs. The connection sends each card byte at once (no Nagle delay: a reply is one
// byte) and probes an idle server often, so one that lost its power is noticed while nothing
// is sent.
class NetworkPort : public Transport
{
    Q_OBJECT

public:
    static constexpr int ConnectTimeoutMs = 5000;
    // rfc2217://: the line is open only once the server has taken up the Com Port Control
    // Option, so that it set the line before the first card byte; a server slow to negotiate
    // is waited for within ConnectTimeoutMs. One that sends data and no Telnet at all for
    // this long is a raw port.
    static constexpr int NegotiationTimeoutMs = 500;
    // Where the line waits for the server's confirmation of the opening purge
    // (confirmsPurge): at most this long, well within ConnectTimeoutMs.
    static constexpr int PurgeWaitMs = 2000;
    // What is held for the engine at most; a card sends a few bytes a second, so anything
    // beyond is a flooding line and dropped.
    static constexpr std::size_t MaxHeld = 4096;
    // What may wait to be sent to a server that does not read: an upload is 522 bytes.
    static constexpr qint64 MaxUnsent = 64 * 1024;
    // Telnet commands other than negotiation (NOP, AYT) a server may send: a few a second
    // keep a connection alive, a flood costs a core and is a broken server.
    static constexpr std::uint64_t CommandAllowance = 200, CommandsPerSecond = 20;
    // A server that refused, could not be reached or was lost is tried again, less often the
    // longer it stays away, but never more than RetryMaxMs apart.
    static constexpr int RetryFirstMs = 2000;
    static constexpr int RetryMaxMs = 5000;

    explicit NetworkPort(QObject *parent = nullptr);
    ~NetworkPort() override;

    void open(const PortTarget &target) override;
    void close() override;
    bool reopenDue() override;
    void SendByte(int value) override;
    int ReadByte() override;

    const PortTarget &target() const { return m_target; }
    QString reachedKey() const override { return m_reachedKey; }

protected:
    // What a secure transport changes: the socket it connects with, how it starts, and that
    // its line carries bytes only once the channel is secured (it calls linkUp then).
    virtual QTcpSocket *makeSocket();
    virtual void startConnection(QTcpSocket &socket, const PortTarget &target);
    virtual void channelConnected();
    // rfc2217: whether the line opens only once the server confirmed the opening purge.
    virtual bool confirmsPurge() const;
    // Where a connection failed in a way the transport can tell better than the socket's
    // error: none by default.
    enum class Trouble
    {
        SocketError,  // the socket reported an error (socket()->error())
        ConnectLimit, // ConnectTimeoutMs passed before the line was open
        SilentClose,  // the server closed without a word
    };
    virtual std::optional<LinkFailure> explain(Trouble trouble) const;
    // The channel carries bytes: Telnet negotiation begins, or the line is open.
    void linkUp();
    void end(const LinkFailure &failure);
    LinkFailure failureOf(FailureKind kind, const QString &systemText = {}) const;
    QTcpSocket *socket() const { return m_socket; }
    // Whether anything came from the server since the channel carried bytes.
    bool heardFromServer() const { return m_bytesIn > 0; }
    // Milliseconds since the channel carried bytes; -1 before.
    qint64 sinceLinkUp() const { return m_since.isValid() ? m_since.elapsed() : -1; }

private:
    void connected();
    void readArrived();
    void socketFailed();
    void disconnected();
    void connectTimedOut();
    void negotiationTimedOut();
    // rfc2217://: whether the server has set the line, and the line may open.
    void checkNegotiation();
    void setOpen();
    void releaseSocket();
    void probeForTls();
    void write(const std::vector<std::uint8_t> &bytes);
    void take(const std::uint8_t *bytes, std::size_t count);
    // What the server wrote before it closed at once, when that reads as a sentence
    // ("Port already in use"); empty otherwise.
    QString serverWords() const;

    QTcpSocket *m_socket = nullptr;
    QSslSocket *m_probe = nullptr; // asks whether a server that closed speaks TLS
    QTimer *m_connectTimer = nullptr;
    QTimer *m_negotiationTimer = nullptr;
    PortTarget m_target;
    std::optional<TelnetCodec> m_codec;
    std::deque<std::uint8_t> m_rx;
    std::vector<std::uint8_t> m_held; // while the server asks to hold the data
    QByteArray m_greeting;            // the first bytes of the connection
    bool m_dataBeforeTelnet = false;
    qint64 m_bytesIn = 0; // from the server, since the connection was made
    bool m_purgeConfirmed = false;
    QElapsedTimer m_purgeWait; // since the server took up the option, waiting for the purge
    QString m_reachedKey;      // rfc2217://: data came and not one Telnet command
    QElapsedTimer m_since;     // since the connection was made
    QElapsedTimer m_sinceTry;  // since the last connection attempt
    int m_retryMs = RetryFirstMs;
};
