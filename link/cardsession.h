#pragma once

#include <QObject>
#include <QString>

#include <functional>

class BytePort;
class ConfigImage;
class LinkClock;
class LinkEngine;
class QDateTime;
class QTimer;
class SerialPort;

// One card on one line: the serial port, the protocol engine and the clock with their two
// timers, put together the way the window runs them. The engine steps on the 20 ms tick and
// whenever bytes arrive; once a second the clock is refreshed, the link status of the poll
// cycle that just ended is reported and the next poll starts. No widget and no window text:
// the outside sees signals and plain calls, so several sessions can run side by side in one
// process, one per card.
class CardSession : public QObject
{
    Q_OBJECT

public:
    // A session on a serial port of its own.
    explicit CardSession(const ConfigImage &image, QObject *parent = nullptr);
    // A session on a line the caller owns (a scripted port in tests); the caller reports
    // arrivals by calling Step, as the serial port's arrival signal does.
    CardSession(BytePort &port, const ConfigImage &image, QObject *parent = nullptr);
    ~CardSession() override;

    // Null for a session on the caller's line.
    SerialPort *serialPort() const { return m_serial; }
    BytePort &port() const { return *m_port; }
    LinkEngine &engine() const { return *m_engine; }
    const LinkClock &clock() const { return *m_clock; }
    QTimer *Timer1() const { return m_timer1; } // engine step, 20 ms
    QTimer *Timer2() const { return m_timer2; } // clock and link status, 1 s

    // Where the once-a-second tick takes the local time from; the system clock by default.
    void setTimeSource(std::function<QDateTime()> now);

    // Starts both timers; nothing runs by itself before.
    void start();
    // Only the engine's 20 ms step, for an errand that asks the card itself (the command-line
    // tool): no poll cycle, no link report, no reopening.
    void startStepping();
    void stop();

    // Refreshes the clock before every step, so the final block of an upload carries the time
    // at the moment it leaves rather than that of the last once-a-second tick.
    void setFreshClock(bool fresh) { m_freshClock = fresh; }

    // The user's port choice, as the port list's text ("COM 4"): opens it, or closes the open
    // port first and then opens the new choice. True when a port is open afterwards.
    // A choice whose device is missing ("nicht gefunden", "kein Gerät") or went away
    // ("getrennt") is opened by the once-a-second tick as soon as the device is there again;
    // a busy port or one without permission waits for the user's next choice, since every
    // try raises DTR and RTS for a moment. (Not on Windows, where the port list stays as it
    // always was.)
    bool ConnectPort(const QString &portListText);
    bool ComboBox1Change(const QString &portListText);
    // Opens a device by its path, without the "COM n" lookup and without reopening it later.
    bool OpenDevice(const QString &path);

    // "Send" (after the caller has captured its edits into the image), "Reset", "Messen".
    void Send();
    void Reset();
    void Measure();

    // One run of the engine's step routine.
    void Step();
    // One once-a-second tick at the given local time.
    void SecondTick(const QDateTime &now);

    bool PortOpen() const;
    int LinkStep() const;

signals:
    void progressChanged(int value);
    void measured(int t1, int t2, int t3, int humidity);
    void uploadCompleted();
    // The card answered with another firmware version: "Send" stays off for the run.
    void sendDisabled();
    void clockTextChanged(const QString &text);
    // Once a second, for the poll cycle that just ended: whether the card answered on an open
    // port, and whether it answered with a wrong firmware version.
    void linkReported(bool connected, bool wrongVersion);
    // The port was opened, closed, failed or went away.
    void portStateChanged();
    // One run of the step routine has ended.
    void stepped();

private:
    void wire();
    void reopenWhenBack();

    const ConfigImage &m_image;
    SerialPort *m_serial = nullptr;
    BytePort *m_port = nullptr;
    LinkClock *m_clock = nullptr;
    LinkEngine *m_engine = nullptr;
    QTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;
    std::function<QDateTime()> m_now;
    QString m_choice; // the user's last port choice, for reopening it
    bool m_freshClock = false;
};
