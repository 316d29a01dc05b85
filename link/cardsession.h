#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "link/addressforms.h"
#include "link/linksettings.h"
#include "link/porttarget.h"

class ConfigImage;
class LinkClock;
class LinkEngine;
class PortEnvironment;
class QDateTime;
class QTimer;
class Transport;

// One card on one line: the transport (a serial port or a device server), the protocol engine and
// the clock with their two timers, put together the way the window runs them. The engine steps on
// the 20 ms tick and whenever bytes arrive; once a second the clock is refreshed, the link status
// of the poll cycle that just ended is reported and the next poll starts. No widget and no window
// text: the outside sees signals and plain calls, so several sessions can run side by side in one
// process, one per card.
class CardSession : public QObject
{
    Q_OBJECT

public:
    // A session with a transport of its own, made for each target by its address form's row
    // (a serial port to begin with).
    explicit CardSession(const ConfigImage &image, QObject *parent = nullptr);
    // A session on a line the caller owns (a scripted line in tests); arrivals it reports
    // step the engine, as a real line's do.
    CardSession(Transport &line, const ConfigImage &image, QObject *parent = nullptr);
    ~CardSession() override;

    // The line in use: the one the last choice opened or tried.
    Transport &transport() const { return *m_transport; }
    // Where "COM n" is looked up; the running system by default. Must outlive the session.
    void setEnvironment(const PortEnvironment &environment);
    const PortEnvironment &environment() const { return *m_settings.environment; }
    // What the transports need beyond their target (the TLS identity and trust); the
    // environment in it is kept as setEnvironment gave it.
    void setLinkSettings(const LinkSettings &settings);
    const LinkSettings &linkSettings() const { return m_settings; }
    LinkEngine &engine() const { return *m_engine; }
    // The image the uploads send.
    const ConfigImage &image() const { return m_image; }
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
    // port first and then opens the new choice. True when a port is open afterwards; a
    // device server is connected in the background, and portStateChanged tells the outcome.
    // A choice whose device is missing ("nicht gefunden", "kein Gerät") or went away
    // ("getrennt") is opened by the once-a-second tick as soon as the device is there again;
    // a busy port or one without permission waits for the user's next choice, since every
    // try raises DTR and RTS for a moment. (Not on Windows, where the port list stays as it
    // always was.) A device server that refused, could not be reached or was lost is tried
    // again on the tick, at most every NetworkPort::RetryMaxMs; one that says its port is in
    // use waits for the user's next choice, so two tools never take the port from each other
    // in turn. Each transport keeps its own rule (Transport::reopenDue).
    bool ConnectPort(const QString &portListText);
    bool ComboBox1Change(const QString &portListText);
    // Opens a target once (a list entry, a device path or an address), without reopening it
    // later: for errands. True when open at once; a connection reports by portStateChanged.
    bool OpenTarget(const PortTarget &target);

    // "Send" (after the caller has captured its edits into the image), "Reset", "Messen".
    void Send();
    void Reset();
    void Measure();

    // A card that may be in the middle of an upload takes every byte as part of it: while
    // held, the session sends it nothing (no poll, no upload, no measurement) until released.
    void setHeld(bool held);
    bool held() const { return m_held; }

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
    // The line went away while open (adapter pulled, server gone), not closed by a choice.
    void lineLost();
    // One run of the step routine has ended.
    void stepped();

private:
    void wire();
    // The transport of the target's row: the one in use where the row's factory made it,
    // else a new one in its place.
    Transport &transportFor(const PortTarget &target);
    // Opens target (again: after a failure), reporting once even where no state changed.
    bool openOn(const PortTarget &target, bool again);
    bool connectChoice(bool again = false);
    // The address a list entry's configuration file names, else the target itself.
    PortTarget resolved(const PortTarget &target) const;
    void reopenWhenDue();
    // The transport in use, wired to the steps and the reports; once for each new one.
    void connectTransport();
    void transportChanged();

    const ConfigImage &m_image;
    LinkSettings m_settings;
    Transport *m_transport = nullptr;
    const AddressForm *m_form = nullptr; // the row that made m_transport; null: the caller's
    int m_stateReports = 0; // portStateChanged so far, to report each open exactly once
    LinkClock *m_clock = nullptr;
    LinkEngine *m_engine = nullptr;
    QTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;
    std::function<QDateTime()> m_now;
    QString m_choice; // the user's last port choice, for reopening it
    bool m_freshClock = false;
    bool m_held = false;
};
