#pragma once

#include "link/clockvalues.h"

#include <QObject>
#include <QString>

#include <cstdint>

class QDateTime;

// The clock part of the once-a-second refresh: the clock label's text, today's weekday and
// the clock numbers that an upload sends. The link status and the poll start of the same
// tick belong to the card session, which runs them after this.
class LinkClock : public QObject
{
    Q_OBJECT

public:
    explicit LinkClock(QObject *parent = nullptr);

    // Steps 1 to 4 of a tick of Timer2 at the local time now.
    void Timer2Timer(const QDateTime &now);

    int WeekdayIndex() const { return m_weekdayIndex; }
    QString ClockText() const { return m_clockText; }
    std::uint8_t TodayMask() const { return m_values.todayMask; }
    std::uint8_t ClockHour() const { return m_values.hour; }
    std::uint8_t ClockMinute() const { return m_values.minute; }
    std::uint8_t ClockSecond() const { return m_values.second; }
    // Lives as long as the clock; the engine reads the final block's bytes from it.
    const ClockValues &Values() const { return m_values; }

    static QString WeekdayName(int weekdayIndex);

signals:
    void clockTextChanged(const QString &text); // Label2

private:
    int m_weekdayIndex = 0;
    QString m_clockText;
    ClockValues m_values;
};
