#include "link/serialport.h"

#include "link/addressforms.h"
#include "link/cardline.h"
#include "link/linksettings.h"

#include "config/fileerror.h"
#include "link/porttarget.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QStringList>

#include <cerrno>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// The system's reason in German, as the file messages give it; Qt's English words where the
// system left no number.
static QString SystemText(int error, const QString &qtText)
{
    return error != 0 ? FileErrorMessage(StatusFromErrno(error)) : qtText;
}

QString ModeStringFor(const QString &portListText)
{
    // Whatever stands behind "COM " goes into the mode string as it is: "Com:" is no port.
    return QLatin1String("Com") + portListText.mid(4, 1) +
           QStringLiteral(":%1,N,%2,%3")
               .arg(CardLine::Baud)
               .arg(CardLine::DataBits)
               .arg(CardLine::StopBits);
}

// The mode string of a list entry: the window's choice by its own rule, a parsed entry by its
// number.
static QString ModeOf(const PortTarget &entry)
{
    return ModeStringFor(entry.entry > 0 ? entry.url() : entry.text);
}

SerialPort::SerialPort(QObject *parent) : Transport(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { handleError(error); });
    connect(m_port, &QSerialPort::readyRead, this, [this] {
        if (const qint64 excess = m_port->bytesAvailable() - MaxHeld; excess > 0)
            m_port->skip(excess);
        emit bytesArrived();
    });
}

SerialPort::~SerialPort() = default;

int SerialPort::OpenPort(const QString &mode)
{
    if (m_port->isOpen())
        m_port->close();
    setState(State::Closed);
    m_lostWhileOpen = false;

    const QString deviceName = mode.left(4);
    const PortResolution resolved = ResolvePort(deviceName, *m_environment);
    const QString &path = resolved.device;
    if (resolved.source == PortResolution::Invalid) {
        setFarEnd(deviceName);
        fail(FailureKind::NotFound);
        return 0;
    }
    if (resolved.source == PortResolution::Missing) {
        setFarEnd(QStringLiteral("COM %1").arg(ComNumber(deviceName)));
        fail(FailureKind::NoDevice, {}, resolved.count);
        return 0;
    }
    if (resolved.source == PortResolution::Address) {
        // A device server's address is no serial device; the card session opens it on the
        // network instead.
        setFarEnd(path);
        fail(FailureKind::BadAddress, resolved.address.text);
        return 0;
    }
    if (openPath(path) != 1)
        return 0;
    m_opened = identityOf(resolved);
    m_absentStamp.clear();
    return 1;
}

QString SerialPort::DeviceInventoryStamp()
{
#ifdef Q_OS_WIN
    return {};
#else
    QString stamp;
    for (const char *folder : {"/dev", "/dev/serial/by-id"}) {
        struct stat st;
        if (::stat(folder, &st) == 0)
            stamp += QStringLiteral("%1.%2.%3;")
                         .arg(st.st_ino)
                         .arg(st.st_mtim.tv_sec)
                         .arg(st.st_mtim.tv_nsec);
        else
            stamp += QStringLiteral("-;");
    }
    return stamp;
#endif
}

SerialPort::Identity SerialPort::identityOf(const PortResolution &r) const
{
    Identity id;
    id.device = r.device;
    if (r.source == PortResolution::Link) {
        id.linkTarget = QFileInfo(r.device).symLinkTarget();
#ifndef Q_OS_WIN
        struct stat st;
        if (::lstat(QFile::encodeName(r.device).constData(), &st) == 0)
            id.linkStamp = QStringLiteral("%1:%2.%3")
                               .arg(st.st_ino)
                               .arg(st.st_ctim.tv_sec)
                               .arg(st.st_ctim.tv_nsec);
#endif
        id.node = QFileInfo(r.device).canonicalFilePath();
    } else if (r.info.stableName.isEmpty()) {
        // A kernel name alone may change hands: the adapter's serial number tells them apart.
        id.node = r.info.systemPath + QLatin1Char('#') + r.info.serialNumber;
    }
    return id;
}

void SerialPort::configure(const LinkSettings &settings)
{
    if (settings.environment)
        m_environment = settings.environment;
}

void SerialPort::open(const PortTarget &target)
{
    m_opened = {}; // a new choice: whatever the target names now
    openTarget(target);
}

void SerialPort::reopen(const PortTarget &target)
{
    openTarget(target);
}

void SerialPort::openTarget(const PortTarget &target)
{
    m_target = target;
    if (target.kind == PortTarget::Kind::ListEntry) {
        OpenPort(ModeOf(target));
        return;
    }
    if (m_port->isOpen())
        m_port->close();
    setState(State::Closed);
    m_lostWhileOpen = false;
    openPath(target.path);
}

bool SerialPort::reopenDue()
{
#ifdef Q_OS_WIN
    return false;
#else
    const FailureKind kind = failure().kind;
    if (m_target.kind != PortTarget::Kind::ListEntry ||
        (kind != FailureKind::NotFound && kind != FailureKind::NoDevice &&
         kind != FailureKind::Gone))
        return false;
    // Looked up without opening: nothing is tried while the device is absent.
    return DeviceAvailable(ModeOf(m_target));
#endif
}

int SerialPort::openPath(const QString &path)
{
    setFarEnd(path);
    // Opened by the device node itself, so the lock file names the device as every other
    // serial program does (a link or a by-id name would put the lock under another name and
    // protect nothing).
    const QString node = QFileInfo(path).canonicalFilePath();
    m_port->setPortName(node.isEmpty() ? path : node);
    emit tried();
    if (!m_port->open(QIODevice::ReadWrite)) {
#ifndef Q_OS_WIN
        // A device that is there but no terminal (/dev/null, a disk) refuses the line
        // settings with the system's "Inappropriate ioctl": say what it is instead.
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            const bool terminal = ::isatty(fd);
            ::close(fd);
            if (!terminal) {
                fail(FailureKind::NotSerial);
                m_port->clearError();
                return 0;
            }
        }
#endif
        fail(failureCause(m_port->error(), path), SystemText(errno, m_port->errorString()));
        m_port->clearError();
        return 0;
    }

    // The mode string names the card's line, whose settings are the only ones it ever holds.
    const bool applied = m_port->setBaudRate(CardLine::Baud) &&
                         m_port->setDataBits(QSerialPort::DataBits(CardLine::DataBits)) &&
                         m_port->setParity(QSerialPort::NoParity) &&
                         m_port->setStopBits(QSerialPort::StopBits(CardLine::StopBits)) &&
                         m_port->setFlowControl(QSerialPort::NoFlowControl);
    // The kernel raises DTR and RTS on every open; drop them at once. A pseudo-terminal has
    // no modem lines and refuses with "Inappropriate ioctl for device", which is harmless.
    m_port->setDataTerminalReady(false);
    m_port->setRequestToSend(false);
    if (!applied) {
        fail(FailureKind::Other, SystemText(errno, m_port->errorString()));
        m_port->close();
        m_port->clearError();
        return 0;
    }
    m_port->clearError();
    setFailure({});
    setState(State::Open);
    return 1;
}

void SerialPort::ClosePort()
{
    m_port->close();
    m_port->clearError();
    setState(State::Closed);
    m_lostWhileOpen = false;
}

void SerialPort::SendByte(int value)
{
    if (!m_port->isOpen())
        return;
    const char byte = static_cast<char>(value & 0xFF);
    m_port->write(&byte, 1);
    // The descriptor is non-blocking: flush writes what the line takes now and leaves the
    // rest to the event loop, so a block starts on the wire without waiting for a pass.
    m_port->flush();
}

int SerialPort::ReadByte()
{
    if (!m_port->isOpen() || m_port->bytesAvailable() == 0)
        return -1;
    char byte = 0;
    if (!m_port->getChar(&byte))
        return -1;
    return static_cast<unsigned char>(byte);
}

void SerialPort::handleError(int error)
{
    // A hung-up device stays readable for select() while every read finds nothing, so Qt
    // would report the failed read again on each event loop pass. Closing is the only way
    // to stop that; it happens outside the signal because Qt is still inside its read.
    if (!m_port->isOpen() || m_lostWhileOpen)
        return;
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
        m_lostWhileOpen = true;
        QMetaObject::invokeMethod(this, &SerialPort::closeIfLost, Qt::QueuedConnection);
    }
}

void SerialPort::closeIfLost()
{
    if (!m_lostWhileOpen)
        return;
    m_lostWhileOpen = false;
    if (!m_port->isOpen())
        return;
    m_port->close();
    m_port->clearError();
    fail(FailureKind::Gone);
    setState(State::Closed);
    emit lineLost();
}

bool SerialPort::DeviceAvailable(const QString &mode) const
{
    // A link of the user's is looked at directly; the system's ports only when a device node
    // came or went since they were last read (new adapters appear in /dev).
    const QFileInfo link(m_environment->LinkFolder() + QLatin1String("/com") + mode.mid(3, 1));
    const bool linked = link.isSymLink() || link.exists();
    const QString stamp = DeviceInventoryStamp();
    if (!linked && !stamp.isEmpty() && stamp == m_absentStamp &&
        m_environment == &SystemPortEnvironment::Instance())
        return false;
    const PortResolution resolved = ResolvePort(mode.left(4), *m_environment);
    const bool there =
        resolved.source == PortResolution::Discovered ||
        (resolved.source == PortResolution::Link && QFileInfo::exists(resolved.device));
    if (!linked)
        m_absentStamp = there ? QString() : stamp;
    if (!there || m_opened.device.isEmpty() || failure().kind != FailureKind::Gone)
        return there;
    if (resolved.source == PortResolution::Link) {
        const Identity now = identityOf(resolved);
        if (now.linkTarget != m_opened.linkTarget || now.linkStamp != m_opened.linkStamp)
            return true; // pointed anew: the user's new choice
        return !m_opened.node.startsWith(QLatin1String("/dev/pts/"));
    }
    const Identity now = identityOf(resolved);
    const bool same = now.device == m_opened.device && now.node == m_opened.node;
    if (!same)
        m_absentStamp = stamp; // someone else's device: not again until /dev changes
    return same;
}

void SerialPort::fail(FailureKind failure, const QString &systemText, int portCount)
{
    LinkFailure f;
    f.kind = failure;
    f.where = farEnd();
    f.systemText = systemText;
    f.value = portCount;
    setFailure(f);
}

FailureKind SerialPort::failureCause(int error, const QString &path) const
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return FailureKind::NotFound;
    case QSerialPort::OpenError:
        return FailureKind::Busy;
    case QSerialPort::PermissionError: {
        // Qt gives the same code for a busy device, a missing permission and a lock held
        // by another program; tell them apart so the user knows what to fix.
#ifndef Q_OS_WIN
        const QFileInfo info(path);
        if (!info.exists())
            return FailureKind::NotFound;
        if (!info.isReadable() || !info.isWritable())
            return FailureKind::Permission;
#else
        Q_UNUSED(path);
#endif
        return FailureKind::Busy;
    }
    default:
        return FailureKind::Other;
    }
}

Transport *MakeSerialPort(QObject *parent)
{
    return new SerialPort(parent);
}
