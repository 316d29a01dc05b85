#pragma once

#include "byteport.h"

#include <QObject>
#include <QString>

class QSerialPort;

// The device behind "Com1" .. "Com9": COMn on Windows; elsewhere the link com<n> in the
// folder zelkora of the user's configuration folder, else /dev/ttyS<n-1>. Empty for any
// other device part (the caller reports it as not found).
QString DevicePathForPort(const QString &deviceName);

// The mode string for a text of the port list: only the fifth character (the digit behind
// "COM ") counts, so "COM 12" gives Com1 and a shorter text gives the device "Com:".
QString ModeStringFor(const QString &portListText);

// The one serial port to the card: 2400 baud, 8N1, no flow control, DTR and RTS inactive,
// exclusive. Nothing here waits: reads give what the event loop has already received, writes
// go into the port's buffer and leave as the line takes them, and bytesArrived tells when
// there is something to read. So a port that is open never holds the user-interface thread.
class SerialPort : public QObject, public BytePort
{
    Q_OBJECT

public:
    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    // Opens the device named by the first four characters of mode ("Com1:2400,N,8,1");
    // 1 when the port is open with its line settings, else 0.
    int OpenPort(const QString &mode);
    void ClosePort();

    // Queues the byte and hands what the line will take to the system at once; never waits.
    void SendByte(int value) override;
    // The next byte already received, or -1 at once.
    int ReadByte() override;
    bool PortOpen() const override { return m_portOpen; }

    // Opens the port for a text of the port list (e.g. "COM 4"); true when it is open.
    bool ConnectPort(const QString &portListText);
    // Switching the port list: closes the open port first, then connects to the new choice.
    bool ComboBox1Change(const QString &portListText);

    // The device the last open tried, and why it failed ("nicht gefunden",
    // "keine Berechtigung", "belegt", "getrennt" or the system's text); empty cause when open.
    QString LastDevice() const { return m_lastDevice; }
    QString LastFailure() const { return m_lastFailure; }

signals:
    // Bytes from the card are waiting to be read.
    void bytesArrived();
    // The device went away while open (adapter pulled, card simulator ended): the port is
    // closed and PortOpen is false until it is opened again.
    void portLost();

private:
    void handleError(int error);
    void closeIfLost();
    QString failureCause(int error, const QString &path) const;

    QSerialPort *m_port = nullptr;
    bool m_portOpen = false;
    bool m_lostWhileOpen = false;
    QString m_lastDevice;
    QString m_lastFailure;
};
