#pragma once

#include <QString>

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
        Discovered, // the n-th port the system reports
        Missing,    // there is no n-th port: the entry opens nothing
        Invalid,    // no entry COM 1 to COM 9
    };
    Source source = Invalid;
    QString device; // what is opened: the link, the stable name or the device path
    PortInfo info;  // of the discovered port
    int count = 0;  // how many ports the system reports
};

// "Com1" .. "Com9" (the device part of the mode string, any case). On Windows it is COMn.
// Elsewhere: the link com<n> in the link folder when there is one, else the n-th port of
// OrderedPorts opened by its stable name, else nothing.
PortResolution ResolvePort(const QString &deviceName, const PortEnvironment &environment);

// One line for the entry "COM n" of the port list: the device it stands for right now, with
// what the system knows of the adapter, or that there is none.
QString DescribePortEntry(int n, const PortEnvironment &environment);

// Why an open failed, for the port list's tooltip and the command-line tool's messages.
enum class PortFailure
{
    None,
    NotFound,   // the device does not exist (a dangling link, an unplugged adapter)
    NoDevice,   // there is no n-th port on this system
    Permission, // the user may not open the device
    Busy,       // another program holds it
    Gone,       // it went away while open
    Other,      // anything else; the system's own text says what
};

// The cause in a word or two: "nicht gefunden", "kein Gerät", "keine Berechtigung", "belegt",
// "getrennt"; systemText for Other, nothing for None.
QString PortFailureCause(PortFailure failure, const QString &systemText = {});

// The cause in words, with what to do where that is known:
// "keine Berechtigung: /dev/ttyUSB0 gehört der Gruppe dialout. Abhilfe: sudo usermod -aG
// dialout anna, danach neu anmelden", "belegt von minicom (PID 4711)", "nicht gefunden",
// "getrennt". systemText is used for Other.
QString DescribePortFailure(PortFailure failure, const QString &device,
                            const PortEnvironment &environment, int portCount = 0,
                            const QString &systemText = {});
