#include "link/targetkey.h"

#include "link/portresolver.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>

#include <algorithm>

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
    case PortTarget::Kind::Network:
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
