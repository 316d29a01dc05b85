#pragma once

#include <QObject>

#include <initializer_list>
#include <vector>

class QSocketNotifier;

// End signals (SIGTERM and SIGHUP: how a desktop session, a system shutdown or a closed
// terminal end a program; SIGINT and SIGQUIT from a terminal) brought into the event loop: the
// handler only writes the signal's number into a socket pair, and `endRequested` follows in
// the loop, where saving or finishing an upload is safe. One instance per process.
class EndSignals : public QObject
{
    Q_OBJECT

public:
    explicit EndSignals(std::initializer_list<int> signalNumbers, QObject *parent = nullptr);
    ~EndSignals() override;

signals:
    void endRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
    std::vector<int> m_signals;
};
