#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGHUP (how a desktop session, a system shutdown or a closed terminal end a
// program) brought into the event loop: the handler only writes the signal's number into a
// socket pair, and `endRequested` follows in the loop, where saving is safe. One instance per
// process.
class EndSignals : public QObject
{
    Q_OBJECT

public:
    explicit EndSignals(QObject *parent = nullptr);
    ~EndSignals() override;

signals:
    void endRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
