#include "link/tlsport.h"

#include "link/addressforms.h"

#include "link/knownservers.h"
#include "link/portresolver.h"

#include <QFile>
#include <QFileInfo>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

// A file's contents read once per program while it stays as it was: 64 cards opened at once
// would read and parse the same certificates 64 times.
QString Stamp(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? path + QLatin1Char('@') +
                               QString::number(info.lastModified().toMSecsSinceEpoch()) +
                               QLatin1Char('/') + QString::number(info.size())
                         : QString();
}

// The CAs a server's chain may end at: the system's and those of the CA file.
const QList<QSslCertificate> &TrustedCas(const QString &caFile)
{
    static const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    static QString stamp;
    static QList<QSslCertificate> cas = system;
    if (const QString now = Stamp(caFile); now != stamp) {
        stamp = now;
        cas = system;
        if (!now.isEmpty())
            cas += QSslCertificate::fromPath(caFile, QSsl::Pem);
    }
    return cas;
}

QByteArray ReadSmall(const QString &path, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("nicht lesbar");
        return {};
    }
    return file.read(1 << 16);
}

QSslKey KeyOf(const QByteArray &pem)
{
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa, QSsl::Dsa}) {
        QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            return key;
    }
    return {};
}

struct Identity
{
    QSslCertificate certificate;
    QSslKey key;
    LinkFailure problem;
};

Identity ReadIdentity(const LinkSettings &given)
{
    const LinkSettings settings = given.resolved();
    Identity id;
    const auto broken = [&](const QString &file, const QString &why) {
        id.problem.kind = FailureKind::IdentityBroken;
        id.problem.where = file;
        id.problem.systemText = why;
        return id;
    };
    if (!QFileInfo::exists(settings.certificateFile))
        return id; // no identity: the server decides whether it wants one
#ifndef Q_OS_WIN
    // As ssh refuses a private key others may read: it is no secret any more.
    struct stat st;
    if (::stat(QFile::encodeName(settings.keyFile).constData(), &st) == 0 &&
        (st.st_mode & 077) != 0) {
        id.problem.kind = FailureKind::KeyExposed;
        id.problem.where = settings.keyFile;
        return id;
    }
#endif
    QString why;
    const QByteArray certificate = ReadSmall(settings.certificateFile, &why);
    if (!why.isEmpty())
        return broken(settings.certificateFile, why);
    id.certificate = QSslCertificate(certificate, QSsl::Pem);
    if (id.certificate.isNull())
        return broken(settings.certificateFile, QStringLiteral("kein Zertifikat (PEM)"));
    const QByteArray key = ReadSmall(settings.keyFile, &why);
    if (!why.isEmpty())
        return broken(settings.keyFile, why);
    id.key = KeyOf(key);
    if (id.key.isNull())
        return broken(settings.keyFile, QStringLiteral("kein privater Schlüssel (PEM)"));
    return id;
}

Identity LoadIdentity(const LinkSettings &given)
{
    const LinkSettings settings = given.resolved();
    const QString stamp = Stamp(settings.certificateFile) + QLatin1Char('|') +
                          Stamp(settings.keyFile) + QLatin1Char('|') + settings.keyFile;
    static QString last;
    static Identity known;
    // The key's mode is looked at on every open: a chmod changes no stamp.
    if (stamp != last || known.problem.failed()) {
        known = ReadIdentity(settings);
        last = stamp;
    }
#ifndef Q_OS_WIN
    struct stat st;
    if (!known.certificate.isNull() &&
        ::stat(QFile::encodeName(settings.keyFile).constData(), &st) == 0 &&
        (st.st_mode & 077) != 0)
        return ReadIdentity(settings);
#endif
    return known;
}

} // namespace

TlsPort::TlsPort(QObject *parent) : NetworkPort(parent) {}

TlsPort::~TlsPort() = default;

void TlsPort::configure(const LinkSettings &settings)
{
    m_settings = settings;
}

LinkFailure TlsPort::IdentityProblem(const LinkSettings &settings)
{
    return LoadIdentity(settings).problem;
}

QTcpSocket *TlsPort::makeSocket()
{
    return new QSslSocket(this);
}

QSslSocket &TlsPort::ssl() const
{
    return *static_cast<QSslSocket *>(socket());
}

void TlsPort::startConnection(QTcpSocket &plain, const PortTarget &target)
{
    auto &socket = static_cast<QSslSocket &>(plain);
    m_server = QSslCertificate();
    m_refusal.reset();
    m_clientName.clear();
    m_secured = false;

    const LinkSettings settings = m_settings.resolved();
    const Identity id = LoadIdentity(settings);
    if (id.problem.failed())
        return end(id.problem);
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setCaCertificates(TrustedCas(settings.caFile));
    if (!id.certificate.isNull()) {
        config.setLocalCertificate(id.certificate);
        config.setPrivateKey(id.key);
        const QStringList names = id.certificate.subjectInfo(QSslCertificate::CommonName);
        m_clientName = names.isEmpty() ? QString() : names.first();
    }
    socket.setSslConfiguration(config);
    connect(&socket, &QSslSocket::encrypted, this, &TlsPort::secured);
    connect(&socket, &QSslSocket::sslErrors, this, &TlsPort::checkCertificate);
    socket.connectToHostEncrypted(target.host, target.port, target.host);
}

void TlsPort::channelConnected()
{
    // The line carries bytes only once the handshake is done and the server trusted.
}

void TlsPort::secured()
{
    m_secured = true;
    m_server = ssl().peerCertificate();
    linkUp();
}

void TlsPort::checkCertificate(const QList<QSslError> &errors)
{
    m_server = ssl().peerCertificate();
    LinkFailure f = failureOf(FailureKind::ServerUnknown);
    f.fingerprint = Fingerprint(m_server);
    f.validFrom = m_server.effectiveDate();
    f.validUntil = m_server.expiryDate();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (m_server.isNull()) {
        f.kind = FailureKind::TlsFailed;
        f.systemText = QStringLiteral("der Server zeigt kein Zertifikat");
    } else if (now < f.validFrom) {
        f.kind = FailureKind::CertificateNotYetValid;
    } else if (now > f.validUntil) {
        f.kind = FailureKind::CertificateExpired;
    } else {
        const QString recorded =
            RecordedFingerprint(m_settings.resolved().knownServersFile, target().address());
        if (recorded == f.fingerprint) {
            // Recorded by the user for this host and port: the chain and the name do not count.
            ssl().ignoreSslErrors(errors);
            return;
        }
        if (!recorded.isEmpty()) {
            f.kind = FailureKind::ServerChanged;
            f.recordedFingerprint = recorded;
        }
    }
    // Not ignored: the handshake fails, and explain names why.
    m_refusal = f;
}

std::optional<LinkFailure> TlsPort::explain(Trouble trouble) const
{
    if (m_refusal)
        return m_refusal;
    switch (trouble) {
    case Trouble::SocketError: {
        if (m_secured || !socket())
            return std::nullopt;
        const QAbstractSocket::SocketError error = socket()->error();
        const QString words = socket()->errorString();
        if (error != QAbstractSocket::SslHandshakeFailedError &&
            error != QAbstractSocket::SslInternalError)
            return std::nullopt;
        // What OpenSSL says of a first answer that is no TLS record.
        for (const char *plain : {"wrong version number", "packet length too long",
                                  "unknown protocol", "record layer failure"})
            if (words.contains(QLatin1String(plain), Qt::CaseInsensitive))
                return failureOf(FailureKind::TlsNotSpoken);
        // A server that checks the client's certificate during the handshake (TLS 1.2).
        if (words.contains(QLatin1String("alert"), Qt::CaseInsensitive) &&
            words.contains(QLatin1String("certificate"), Qt::CaseInsensitive))
            return failureOf(FailureKind::ClientRefused, m_clientName);
        return failureOf(FailureKind::TlsFailed, words);
    }
    case Trouble::ConnectLimit: {
        if (m_secured || !socket() || socket()->state() != QAbstractSocket::ConnectedState)
            return std::nullopt;
        LinkFailure stalled = failureOf(FailureKind::HandshakeStalled);
        stalled.value = ConnectTimeoutMs;
        return stalled;
    }
    case Trouble::SilentClose:
        if (!m_secured)
            return failureOf(FailureKind::TlsFailed,
                             QStringLiteral("Verbindung während der Aushandlung geschlossen"));
        // A server that checks the client's certificate after the handshake (TLS 1.3) closes
        // at once, before a word or a Telnet command.
        if (!heardFromServer() && sinceLinkUp() >= 0 && sinceLinkUp() < 3000)
            return failureOf(FailureKind::ClientRefused, m_clientName);
        return std::nullopt;
    }
    return std::nullopt;
}

QString TlsPort::security() const
{
    if (!m_secured || !socket())
        return {};
    const QSsl::SslProtocol protocol = ssl().sessionProtocol();
    const QString version =
        protocol == QSsl::TlsV1_3 ? QStringLiteral("TLS 1.3") : QStringLiteral("TLS 1.2");
    return version + QStringLiteral(", Server-Zertifikat SHA256 ") + Fingerprint(m_server);
}

Transport *MakeTlsPort(QObject *parent)
{
    return new TlsPort(parent);
}
