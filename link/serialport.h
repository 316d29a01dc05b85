#pragma once

#include "link/portresolver.h"
#include "link/porttarget.h"
#include "link/transport.h"

#include <QObject>
#include <QString>

class QSerialPort;

// The mode string for a text of the port list: only the fifth character (the digit behind
// "COM ") counts, so "COM 12" gives Com1 and a shorter text gives the device "Com:".
QString ModeStringFor(const QString &portListText);

// The one serial port to the card: 2400 baud, 8N1, no flow control, DTR and RTS inactive,
// exclusive; the device went away while open (adapter pulled, card simulator ended) is
// lineLost. Nothing here waits: reads give what the event loop has already received, writes
// go into the port's buffer and leave as the line takes them, and bytesArrived tells when
// there is something to read. So a port that is open never holds the user-interface thread.
class SerialPort : public Transport
{
    Q_OBJECT

public:
    // What is held for the engine at most: a card sends a few bytes a second (240 at the most
    // at 2400 baud), so anything beyond is a line that floods the port and is dropped, the
    // oldest first.
    static constexpr qint64 MaxHeld = 4096;

    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    // Where "COM n" is looked up and failures are explained; the running system by default.
    // The environment must outlive the port.
    void setEnvironment(const PortEnvironment &environment) { m_environment = &environment; }
    const PortEnvironment &environment() const { return *m_environment; }
    void configure(const LinkSettings &settings) override;

    // Opens the device named by the first four characters of mode ("Com1:2400,N,8,1");
    // 1 when the port is open with its line settings, else 0. The failure says why ("nicht
    // gefunden", "kein Gerät", "keine Berechtigung", "belegt" or the system's text).
    int OpenPort(const QString &mode);
    void ClosePort();

    // A list entry (the window's choice "COM n", by ModeStringFor) or a device path (with the
    // card's line settings, without the "COM n" lookup). A new choice: whatever it names now.
    void open(const PortTarget &target) override;
    void close() override { ClosePort(); }
    // A device that was missing or went away, as soon as it is there again (not on Windows,
    // where the port list stays as it always was).
    bool reopenDue() override;
    void reopen(const PortTarget &target) override;

    // Queues the byte and hands what the line will take to the system at once; never waits.
    void SendByte(int value) override;
    // The next byte already received, or -1 at once.
    int ReadByte() override;

    // Whether the device that mode names is there now, looked up without opening it. After
    // the device went away, only the same device counts: a pseudo-terminal that went away
    // never comes back (another program's new one may get its number), so its link must be
    // pointed somewhere else; an adapter must come back under the same stable name, not
    // whatever took its kernel name.
    bool DeviceAvailable(const QString &mode) const;

private:
    int openPath(const QString &path);
    void openTarget(const PortTarget &target);
    void handleError(int error);
    void closeIfLost();
    void fail(FailureKind failure, const QString &systemText = {}, int portCount = 0);
    FailureKind failureCause(int error, const QString &path) const;

    // What the last good open reached, to know the same device again after it went away.
    struct Identity
    {
        QString device;     // what was opened: the link, stable name or path
        QString linkTarget; // where the link pointed, for a link
        QString linkStamp;  // the link itself (inode and change time): made anew or not
        QString node;       // the device node it resolved to
    };
    Identity identityOf(const PortResolution &r) const;
    // A cheap mark of the devices there are (/dev, /dev/serial/by-id): the system's ports are
    // read again only once it changed, not every second while a device is absent.
    static QString DeviceInventoryStamp();

    QSerialPort *m_port = nullptr;
    PortTarget m_target; // the last target opened, for reopening it
    bool m_lostWhileOpen = false;
    Identity m_opened;
    mutable QString m_absentStamp; // the inventory when the device was last found absent
    const PortEnvironment *m_environment = &SystemPortEnvironment::Instance();
};
