#pragma once

#include "link/byteport.h"
#include "link/linkfailure.h"

#include <QObject>
#include <QString>

struct LinkSettings;
struct PortTarget;

// One line to a card, whatever carries it: a serial port, or a serial device server on the
// network. The card session and the errands see only this; which transport serves a target is
// decided once, where the target is opened. Nothing here waits: an open may finish later
// (a connection is made in the background) and says so by stateChanged; reads give what has
// arrived; writes are handed on at once.
class Transport : public QObject, public BytePort
{
    Q_OBJECT

public:
    enum class State
    {
        Closed,
        Opening, // a connection attempt is under way
        Open,
    };

    using QObject::QObject;

    // What the line needs beyond its target (where "COM n" is looked up, the TLS identity);
    // given before the first open and whenever it changes.
    virtual void configure(const LinkSettings &settings) { Q_UNUSED(settings); }
    // Opens the target as a new choice (closing whatever was open first). The serial port takes
    // list entries and device paths, the network ports addresses. stateChanged follows each
    // change.
    virtual void open(const PortTarget &target) = 0;
    // Once a second while closed after a failure: whether the line should be tried again now,
    // by its own rule (a local device that is back, a server at growing intervals). A failure
    // that only the user can mend (a busy port, a refused certificate) never is.
    virtual bool reopenDue() { return false; }
    // Tries the target again after reopenDue said so; what the line knew of the device it
    // reached before is kept.
    virtual void reopen(const PortTarget &target) { open(target); }
    // Closes the line; a network connection is ended cleanly so the server's port is free.
    virtual void close() = 0;

    State state() const { return m_state; }
    bool PortOpen() const override { return m_state == State::Open; }
    // The far end of the last open or attempt: a device path or an address (host:port).
    QString farEnd() const { return m_farEnd; }
    // Why the last open failed or the line went away; kind None while open.
    const LinkFailure &failure() const { return m_failure; }
    // Something about an open line that an errand must not ignore, though the line carries
    // bytes (a server that confirmed other line settings); kind None when there is none.
    const LinkFailure &lineProblem() const { return m_lineProblem; }
    // The journal's key of the card the last connection reached, where the transport knows it
    // without looking a name up (a server by the address it answered on), for a caller that
    // may not wait for the resolver; empty otherwise.
    virtual QString reachedKey() const { return {}; }
    // How the open line is protected, in words ("TLS 1.3, Server-Zertifikat SHA256 …");
    // empty for a line without TLS.
    virtual QString security() const { return {}; }

signals:
    // Bytes from the card are waiting to be read.
    void bytesArrived();
    // The line went away while open (adapter pulled, server gone): it is closed now.
    void lineLost();
    // Opened, failed, closed or lost.
    void stateChanged();
    // A line is really tried: a device opened or a connection begun (a failure that repeats
    // changes no state, so this is how a watcher sees that nothing is tried in vain).
    void tried();

protected:
    void setState(State state)
    {
        if (state == m_state)
            return;
        m_state = state;
        emit stateChanged();
    }
    void setFarEnd(const QString &farEnd) { m_farEnd = farEnd; }
    void setFailure(const LinkFailure &failure) { m_failure = failure; }
    void setLineProblem(const LinkFailure &problem) { m_lineProblem = problem; }

private:
    State m_state = State::Closed;
    QString m_farEnd;
    LinkFailure m_failure;
    LinkFailure m_lineProblem;
};
