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

// How long the event loop was held up: a precise 1 ms timer is due every millisecond, so
// how much later than that it fires is how long the loop could not run it. (A zero-interval
// timer would not do: an idle loop may sleep past it, which is no block.)
class LoopBlockProbe
{
public:
    static constexpr qint64 IntervalNs = 1000000;

    LoopBlockProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 gap = std::max<qint64>(0, m_sinceLast.nsecsElapsed() - IntervalNs);
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
    // The longest the loop was late beyond the timer's millisecond.
    double longestMs() const { return double(m_longestNs) / 1e6; }
    // How many delays were longer than thresholdMs.
    int countLongerThan(double thresholdMs) const
    {
        return int(std::count_if(m_gapsNs.begin(), m_gapsNs.end(),
                                 [&](qint64 gap) { return double(gap) / 1e6 > thresholdMs; }));
    }
    // The share of the watched time spent in delays longer than thresholdMs.
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
