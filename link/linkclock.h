#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

class QDateTime;
class LinkEngine;

// The once-a-second refresh: the clock label, today's weekday bit and the clock numbers that
// an upload sends, the link status texts, and the start of the next version poll.
class LinkClock : public QObject
{
    Q_OBJECT

public:
    explicit LinkClock(QObject *parent = nullptr);

    // One tick of Timer2 at the local time now.
    void Timer2Timer(const QDateTime &now, LinkEngine &engine);

    int WeekdayIndex() const { return m_weekdayIndex; }
    QString ClockText() const { return m_clockText; }
    std::uint8_t TodayMask() const { return m_todayMask; }
    std::uint8_t ClockHour() const { return m_clockHour; }
    std::uint8_t ClockMinute() const { return m_clockMinute; }
    std::uint8_t ClockSecond() const { return m_clockSecond; }

    static QString WeekdayName(int weekdayIndex);

signals:
    void clockTextChanged(const QString &text);   // Label2
    void linkTextChanged(const QString &text);    // Label1
    void versionTextChanged(const QString &text); // Label39

private:
    int m_weekdayIndex = 0;
    QString m_clockText;
    std::uint8_t m_todayMask = 0;
    std::uint8_t m_clockHour = 0;
    std::uint8_t m_clockMinute = 0;
    std::uint8_t m_clockSecond = 0;
};
