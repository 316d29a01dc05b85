#include "link/porttarget.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>

#include <algorithm>

namespace {

PortTarget Refused(PortTarget target, AddressProblem problem, const QString &detail = {})
{
    target.kind = PortTarget::Kind::Invalid;
    target.problem = problem;
    target.detail = detail;
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
        return Refused(t, AddressProblem::Empty);

    // Written like an entry: one the list has, or bad usage.
    static const QRegularExpression anyEntry(QStringLiteral("^COM ?[0-9]+$"),
                                             QRegularExpression::CaseInsensitiveOption);
    if (anyEntry.match(trimmed).hasMatch()) {
        t.entry = ComNumber(trimmed);
        if (t.entry == 0)
            return Refused(t, AddressProblem::NoSuchEntry);
        t.kind = Kind::ListEntry;
        return t;
    }
    if (!LooksLikeAddress(trimmed)) {
        // A path, relative ones from the current folder (not looked up under /dev).
        t.kind = Kind::Device;
        t.path = QDir::isAbsolutePath(text) ? text : QDir::current().absoluteFilePath(text);
        const QFileInfo file(t.path);
        if (file.isDir())
            return Refused(t, AddressProblem::Folder);
        if (file.isFile())
            return Refused(t, AddressProblem::File);
        return t;
    }

    const qsizetype schemeEnd = trimmed.indexOf(QLatin1String("://"));
    t.form = FormOfScheme(trimmed.left(schemeEnd));
    if (!t.form)
        return Refused(t, AddressProblem::UnknownScheme, trimmed.left(schemeEnd));
    t.kind = Kind::Network;
    const QString rest = trimmed.mid(schemeEnd + 3);

    QString host, port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return Refused(t, AddressProblem::UnclosedBracket);
        host = rest.mid(1, close - 1);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return Refused(t, AddressProblem::NotIPv6, host);
        const QString after = rest.mid(close + 1);
        if (!after.startsWith(QLatin1Char(':')))
            return Refused(t, AddressProblem::NoPort);
        port = after.mid(1);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return Refused(t, AddressProblem::NoPort);
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        if (host.contains(QLatin1Char(':')))
            return Refused(t, AddressProblem::UnbracketedIPv6, host);
    }
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9._-]+$"));
    if (host.isEmpty())
        return Refused(t, AddressProblem::NoHost);
    if (!rest.startsWith(QLatin1Char('[')) && !hostName.match(host).hasMatch())
        return Refused(t, AddressProblem::BadHost, host);
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (port.isEmpty())
        return Refused(t, AddressProblem::NoPort);
    const int number = digits.match(port).hasMatch() ? port.toInt() : -1;
    if (number < 1 || number > 65535)
        return Refused(t, AddressProblem::BadPort, port);
    t.host = host;
    t.port = quint16(number);
    return t;
}

PortTarget PortTarget::ListChoice(const QString &portListText)
{
    PortTarget t;
    t.kind = Kind::ListEntry;
    t.text = portListText;
    t.entry = PortListNumber(portListText);
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
    case Kind::Network:
        return QLatin1String(form->written().scheme) + QStringLiteral("://") + address();
    case Kind::ListEntry:
        return QStringLiteral("COM %1").arg(entry);
    case Kind::Device:
        return path;
    case Kind::Invalid:
        break;
    }
    return text;
}

int ComNumber(const QString &text)
{
    static const QRegularExpression entry(QStringLiteral("^COM ?([1-9])$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = entry.match(text.trimmed());
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

int PortListNumber(const QString &portListText)
{
    const QString digit = portListText.mid(4, 1);
    return digit.size() == 1 && digit.at(0) >= u'1' && digit.at(0) <= u'9'
               ? digit.at(0).unicode() - '0'
               : 0;
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
