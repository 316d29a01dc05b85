#pragma once

#include "link/linksettings.h"
#include "link/networkport.h"

#include <QSslCertificate>

#include <optional>

class QSslError;
class QSslSocket;

// A card behind a device server that speaks TLS: rfc2217+tls:// and socket+tls:// carry what
// their plain forms carry, inside TLS 1.2 or later, all within the same connect limit. The
// client presents its certificate (client.crt and client.key in the configuration folder, or
// the files of the settings). It accepts the server's certificate when its chain ends at a CA
// of the system or of the CA file (ca.crt in the configuration folder, or the settings') and
// it names the host, or when its fingerprint is recorded for the host and port (known_servers);
// never one outside its dates. Anything else ends the attempt before a card byte is sent, and
// there is no way to switch that off.
class TlsPort : public NetworkPort
{
    Q_OBJECT

public:
    explicit TlsPort(QObject *parent = nullptr);
    ~TlsPort() override;

    void configure(const LinkSettings &settings) override;
    // The server's certificate of the last attempt; null before one came.
    const QSslCertificate &serverCertificate() const { return m_server; }
    QString security() const override;

    // Why the client's certificate and key cannot be used, looked at before anything is
    // opened: a key that group or others may read, a file that cannot be read or is no
    // certificate or key. None where there is no certificate at all.
    static LinkFailure IdentityProblem(const LinkSettings &settings);

protected:
    QTcpSocket *makeSocket() override;
    void startConnection(QTcpSocket &socket, const PortTarget &target) override;
    void channelConnected() override;
    // A TLS server (ser2net) opens its device only after it checked the client, and carries
    // out the line settings then.
    bool confirmsPurge() const override { return true; }
    std::optional<LinkFailure> explain(Trouble trouble) const override;

private:
    QSslSocket &ssl() const;
    void checkCertificate(const QList<QSslError> &errors);
    void secured();

    LinkSettings m_settings;
    QSslCertificate m_server;
    std::optional<LinkFailure> m_refusal; // the trust rules refused the server
    QString m_clientName;                 // the common name of the certificate presented
    bool m_secured = false;
};
