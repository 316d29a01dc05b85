#include "link/portresolver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>

#ifndef Q_OS_WIN
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The number of an on-board port, /dev/ttyS<n>; -1 for anything else.
int OnBoardNumber(const QString &path)
{
    static const QRegularExpression onBoard(QStringLiteral("^/dev/ttyS(\\d+)$"));
    const QRegularExpressionMatch m = onBoard.match(path);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString OrderKey(const PortInfo &port)
{
    return port.stableName.isEmpty() ? port.systemPath : port.stableName;
}

} // namespace

std::vector<PortInfo> OrderedPorts(std::vector<PortInfo> ports)
{
    std::stable_sort(ports.begin(), ports.end(), [](const PortInfo &a, const PortInfo &b) {
        const int na = OnBoardNumber(a.systemPath);
        const int nb = OnBoardNumber(b.systemPath);
        if ((na >= 0) != (nb >= 0))
            return na >= 0;
        if (na >= 0)
            return na < nb;
        return OrderKey(a) < OrderKey(b);
    });
    return ports;
}

PortResolution ResolvePort(const QString &deviceName, const PortEnvironment &environment,
                           const std::vector<PortInfo> *known)
{
    PortResolution r;
    const int n = ComNumber(deviceName);
    if (n == 0)
        return r;
    const QString digit = QString::number(n);
#ifdef Q_OS_WIN
    Q_UNUSED(environment);
    r.source = PortResolution::Discovered;
    r.device = QLatin1String("COM") + digit;
    r.info.systemPath = r.device;
    return r;
#else
    const QString link = environment.LinkFolder() + QLatin1String("/com") + digit;
    const QFileInfo info(link);
    if (!info.isSymLink() && info.isFile()) {
        r.source = PortResolution::Address;
        r.device = link;
        QFile file(link);
        QString line;
        if (file.open(QIODevice::ReadOnly))
            line = QString::fromUtf8(file.readLine(1024)).trimmed();
        r.address = PortTarget::Parse(line);
        if (!r.address.isNetwork()) {
            r.address = PortTarget{};
            r.address.text = line;
        }
        return r;
    }
    // A dangling link still names the device the user meant; the open then says "not found".
    if (info.isSymLink() || info.exists()) {
        r.source = PortResolution::Link;
        r.device = link;
        return r;
    }
    const std::vector<PortInfo> ports = OrderedPorts(known ? *known : environment.Ports());
    r.count = static_cast<int>(ports.size());
    if (n > r.count) {
        r.source = PortResolution::Missing;
        return r;
    }
    r.source = PortResolution::Discovered;
    r.info = ports[static_cast<std::size_t>(n - 1)];
    r.device = OrderKey(r.info);
    return r;
#endif
}

std::vector<PortInfo> SystemPortEnvironment::Ports() const
{
    // The stable names point at the devices; map them back by the device each resolves to.
    QHash<QString, QString> stable;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &entry : byId.entryInfoList(QDir::System | QDir::Files)) {
        const QString target = entry.canonicalFilePath();
        if (!target.isEmpty() && !stable.contains(target))
            stable.insert(target, entry.absoluteFilePath());
    }
    std::vector<PortInfo> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortInfo port;
        port.systemPath = info.systemLocation();
        port.stableName = stable.value(QFileInfo(port.systemPath).canonicalFilePath());
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        ports.push_back(port);
    }
    return ports;
}

QString SystemPortEnvironment::DeviceGroup(const QString &path) const
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return {};
#else
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    if (const group *g = ::getgrgid(st.st_gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(st.st_gid);
#endif
}

std::optional<PortHolder> SystemPortEnvironment::LockHolder(const QString &path) const
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return std::nullopt;
#else
    // UUCP-style lock files, LCK..<device>, as serial programs and Qt itself write them: the
    // holder's process id first, as text (some write it as a binary number). Most programs
    // name the device node; Qt names the path it was given, "/dev/" left out and every
    // further "/" as "_".
    const auto qtName = [](QString p) {
        if (p.startsWith(QLatin1String("/dev/")))
            p = p.mid(5);
        return p.replace(QLatin1Char('/'), QLatin1Char('_'));
    };
    const QString node = QFileInfo(path).canonicalFilePath();
    QStringList names;
    for (const QString &name : {QFileInfo(node).fileName(), qtName(path), qtName(node)}) {
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    for (const char *folder :
         {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"})
        for (const QString &name : names) {
            QFile lock(QLatin1String(folder) + QLatin1String("/LCK..") + name);
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const QByteArray content = lock.read(256);
            qint64 pid = content.split('\n').value(0).trimmed().toLongLong();
            if (pid <= 0 && content.size() == 4)
                pid = *reinterpret_cast<const qint32 *>(content.constData());
            if (pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            PortHolder holder;
            holder.pid = pid;
            if (comm.open(QIODevice::ReadOnly))
                holder.program = QString::fromLocal8Bit(comm.readAll()).trimmed();
            return holder;
        }
    return std::nullopt;
#endif
}

QString SystemPortEnvironment::UserName() const
{
#ifndef Q_OS_WIN
    if (const passwd *pw = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    return qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
}

QString SystemPortEnvironment::LinkFolder() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/zelkora");
}

const SystemPortEnvironment &SystemPortEnvironment::Instance()
{
    static const SystemPortEnvironment environment;
    return environment;
}
