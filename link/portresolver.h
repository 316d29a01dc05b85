#pragma once

#include "link/porttarget.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A serial port as the system reports it.
struct PortInfo
{
    QString systemPath;   // /dev/ttyUSB0, /dev/ttyS0, COM3
    QString stableName;   // /dev/serial/by-id/usb-...-if00-port0; empty where there is none
    QString description;  // "FT232R USB UART"
    QString manufacturer; // "FTDI"
    QString serialNumber; // "A5XK3RJT"
};

// The program that holds a port, as the system's lock files tell it.
struct PortHolder
{
    QString program;
    qint64 pid = 0;
};

// What the system says about its serial ports. The real one asks the system; tests give
// any set of ports, groups and lock holders.
class PortEnvironment
{
public:
    virtual ~PortEnvironment() = default;
    // The ports with hardware behind them (no pseudo-terminals, no empty on-board slots).
    virtual std::vector<PortInfo> Ports() const = 0;
    // The group that owns the device node; empty when unknown.
    virtual QString DeviceGroup(const QString &path) const = 0;
    // Who holds the port by a lock file; nothing when no lock file names a live program.
    virtual std::optional<PortHolder> LockHolder(const QString &path) const = 0;
    virtual QString UserName() const = 0;
    // Where the user's port links com1 .. com9 live: <configuration folder>/zelkora.
    virtual QString LinkFolder() const = 0;
};

// The running system: QSerialPortInfo, /dev/serial/by-id, the device's group, the lock
// folders that serial programs use, and the user's configuration folder.
class SystemPortEnvironment : public PortEnvironment
{
public:
    std::vector<PortInfo> Ports() const override;
    QString DeviceGroup(const QString &path) const override;
    std::optional<PortHolder> LockHolder(const QString &path) const override;
    QString UserName() const override;
    QString LinkFolder() const override;

    static const SystemPortEnvironment &Instance();
};

// The ports in an order that does not change from boot to boot: on-board ports (ttyS<n>)
// first by their number, then the adapters by their stable name, by device path where they
// have none.
std::vector<PortInfo> OrderedPorts(std::vector<PortInfo> ports);

// Which device the port list's entry "COM n" opens.
struct PortResolution
{
    enum Source
    {
        Link,       // the user's link com<n>; it may point nowhere
        Address,    // com<n> is a text file whose first line names a device server
        Discovered, // the n-th port the system reports
        Missing,    // there is no n-th port: the entry opens nothing
        Invalid,    // no entry COM 1 to COM 9
    };
    Source source = Invalid;
    QString device;     // what is opened: the link, the stable name or the device path
    PortInfo info;      // of the discovered port
    int count = 0;      // how many ports the system reports
    PortTarget address; // Address: the server; invalid when the file's first line is none
};

// "Com1" .. "Com9" (the device part of the mode string, any case). On Windows it is COMn.
// Elsewhere: the link com<n> in the link folder when there is one, the address in com<n> when
// that is a regular file (echo rfc2217://gw-keller:4001 > ~/.config/zelkora/com3), else the
// n-th port of OrderedPorts opened by its stable name, else nothing.
// Reading the system's ports takes long (every tty is looked at): `known` hands in a list
// already read, for resolving several entries at once.
PortResolution ResolvePort(const QString &deviceName, const PortEnvironment &environment,
                           const std::vector<PortInfo> *known = nullptr);
