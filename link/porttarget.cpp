#include "link/porttarget.h"

#include "link/portresolver.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

PortTarget Refused(PortTarget target, const QString &why)
{
    target.kind = PortTarget::Kind::Invalid;
    target.error = why;
    return target;
}

} // namespace

bool LooksLikeAddress(const QString &text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(text.trimmed()).hasMatch();
}

PortTarget PortTarget::Parse(const QString &text)
{
    PortTarget t;
    t.text = text;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return Refused(t, QStringLiteral("leerer Port"));

    static const QRegularExpression listEntry(QStringLiteral("^COM ?([0-9]+)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (const auto m = listEntry.match(trimmed); m.hasMatch()) {
        t.entry = m.captured(1).toInt();
        if (t.entry < 1 || t.entry > 9 || m.captured(1).size() > 1)
            return Refused(t, QStringLiteral("die Portliste hat nur COM 1 bis COM 9"));
        t.kind = Kind::ListEntry;
        return t;
    }
    if (!LooksLikeAddress(trimmed)) {
        // A path, relative ones from the current folder (not looked up under /dev).
        t.kind = Kind::Device;
        t.path = QDir::isAbsolutePath(text) ? text : QDir::current().absoluteFilePath(text);
        const QFileInfo file(t.path);
        if (file.isDir())
            return Refused(t, QStringLiteral("ist ein Ordner, kein serieller Anschluss"));
        if (file.isFile())
            return Refused(t, QStringLiteral("ist eine Datei, kein serieller Anschluss"));
        return t;
    }

    const qsizetype schemeEnd = trimmed.indexOf(QLatin1String("://"));
    const QString scheme = trimmed.left(schemeEnd).toLower();
    if (scheme == QLatin1String("rfc2217"))
        t.kind = Kind::Rfc2217;
    else if (scheme == QLatin1String("socket") || scheme == QLatin1String("tcp"))
        t.kind = Kind::RawTcp;
    else
        return Refused(t, QStringLiteral("unbekannte Adressform %1:// (erwartet rfc2217://, "
                                         "socket:// oder tcp://)")
                              .arg(trimmed.left(schemeEnd)));
    const QString rest = trimmed.mid(schemeEnd + 3);

    QString host, port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return Refused(t, QStringLiteral("IPv6-Adresse ohne schließende Klammer"));
        host = rest.mid(1, close - 1);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return Refused(t, QStringLiteral("keine IPv6-Adresse in Klammern: %1").arg(host));
        const QString after = rest.mid(close + 1);
        if (!after.startsWith(QLatin1Char(':')))
            return Refused(t, QStringLiteral("Port fehlt (HOST:PORT)"));
        port = after.mid(1);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return Refused(t, QStringLiteral("Port fehlt (HOST:PORT)"));
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        if (host.contains(QLatin1Char(':')))
            return Refused(t,
                           QStringLiteral("IPv6-Adressen in Klammern schreiben: [%1]").arg(host));
    }
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9._-]+$"));
    if (host.isEmpty())
        return Refused(t, QStringLiteral("Rechnername fehlt"));
    if (!rest.startsWith(QLatin1Char('[')) && !hostName.match(host).hasMatch())
        return Refused(t, QStringLiteral("ungültiger Rechnername: %1").arg(host));
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (port.isEmpty())
        return Refused(t, QStringLiteral("Port fehlt (HOST:PORT)"));
    const int number = digits.match(port).hasMatch() ? port.toInt() : -1;
    if (number < 1 || number > 65535)
        return Refused(t, QStringLiteral("Port %1 ist keine Zahl von 1 bis 65535").arg(port));
    t.host = host;
    t.port = quint16(number);
    return t;
}

QString PortTarget::address() const
{
    const bool v6 = host.contains(QLatin1Char(':'));
    return (v6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') +
           QString::number(port);
}

QString PortTarget::url() const
{
    switch (kind) {
    case Kind::Rfc2217:
        return QStringLiteral("rfc2217://") + address();
    case Kind::RawTcp:
        return QStringLiteral("socket://") + address();
    case Kind::ListEntry:
        return QStringLiteral("COM %1").arg(entry);
    case Kind::Device:
        return path;
    case Kind::Invalid:
        break;
    }
    return text;
}

QString NetworkKey(const QHostAddress &address, int port)
{
    QHostAddress ip = address;
    bool mapped = false;
    const quint32 v4 = ip.toIPv4Address(&mapped);
    if (mapped)
        ip = QHostAddress(v4);
    // Every loopback address is this machine.
    if (ip.isLoopback())
        ip = QHostAddress(QHostAddress::LocalHost);
    return QStringLiteral("net:%1:%2").arg(ip.toString()).arg(port);
}

QString TargetKey(const PortTarget &target, const PortEnvironment &environment)
{
    const auto networkKey = [](const PortTarget &t) {
        QHostAddress ip(t.host);
        if (ip.isNull()) {
            const QList<QHostAddress> found = QHostInfo::fromName(t.host).addresses();
            // The first IPv4 address where there is one, as a connection would mostly reach.
            const auto v4 = std::find_if(found.begin(), found.end(), [](const QHostAddress &a) {
                return a.protocol() == QAbstractSocket::IPv4Protocol;
            });
            if (v4 != found.end())
                ip = *v4;
            else if (!found.isEmpty())
                ip = found.first();
        }
        if (ip.isNull())
            return QStringLiteral("net:%1:%2").arg(t.host.toLower()).arg(t.port);
        return NetworkKey(ip, t.port);
    };
    const auto deviceKey = [](const QString &path) {
        const QString real = QFileInfo(path).canonicalFilePath();
        if (real.isEmpty())
            return QStringLiteral("dev:") + path;
        const QFileInfoList stable =
            QDir(QStringLiteral("/dev/serial/by-id"))
                .entryInfoList(QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : stable)
            if (entry.canonicalFilePath() == real)
                return QStringLiteral("dev:") + entry.absoluteFilePath();
        return QStringLiteral("dev:") + real;
    };
    switch (target.kind) {
    case PortTarget::Kind::Rfc2217:
    case PortTarget::Kind::RawTcp:
        return networkKey(target);
    case PortTarget::Kind::Device:
        return deviceKey(target.path);
    case PortTarget::Kind::ListEntry: {
        const PortResolution r =
            ResolvePort(QStringLiteral("Com%1").arg(target.entry), environment);
        if (r.source == PortResolution::Address && r.address.valid())
            return networkKey(r.address);
        if (r.source == PortResolution::Link || r.source == PortResolution::Discovered)
            return deviceKey(r.device);
        return QStringLiteral("COM %1").arg(target.entry);
    }
    case PortTarget::Kind::Invalid:
        break;
    }
    return target.text;
}
