#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

// Runs the event loop until done() or the time-out. Unlike QTest::qWaitFor it never sleeps
// between checks, so the loop is not held up while somebody measures how free it is; and
// unlike processEvents with a time limit it waits for events instead of spinning.
inline bool RunEventsUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || elapsed.elapsed() >= timeoutMs)
            loop.quit();
    });
    check.start();
    loop.exec();
    return done();
}

// How long the event loop went without a pass: a zero-interval timer fires on every pass, so
// the gaps between its shots are the times the loop was held up.
class LoopBlockProbe
{
public:
    LoopBlockProbe()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 gap = m_sinceLast.nsecsElapsed();
            m_sinceLast.restart();
            m_gapsNs.push_back(gap);
            m_longestNs = std::max(m_longestNs, gap);
        });
    }

    void start()
    {
        m_gapsNs.clear();
        m_longestNs = 0;
        m_sinceLast.start();
        m_watched.start();
        m_timer.start();
    }
    void stop()
    {
        m_timer.stop();
        m_watchedNs = m_watched.nsecsElapsed();
    }
    double longestMs() const { return double(m_longestNs) / 1e6; }
    // The share of the watched time spent in gaps longer than thresholdMs.
    double blockedShare(double thresholdMs) const
    {
        qint64 blocked = 0;
        for (const qint64 gap : m_gapsNs) {
            if (double(gap) / 1e6 > thresholdMs)
                blocked += gap;
        }
        return m_watchedNs > 0 ? double(blocked) / double(m_watchedNs) : 0.0;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    QElapsedTimer m_watched;
    std::vector<qint64> m_gapsNs;
    qint64 m_longestNs = 0;
    qint64 m_watchedNs = 0;
};
