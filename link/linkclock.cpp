#include "link/linkclock.h"

#include "config/configimage.h"
#include "config/numberrule.h"

#include <QDateTime>

#include <array>

LinkClock::LinkClock(QObject *parent) : QObject(parent) {}

QString LinkClock::WeekdayName(int weekdayIndex)
{
    static const std::array<const char *, 7> names{"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    return QString::fromLatin1(names.at(static_cast<std::size_t>(weekdayIndex)));
}

void LinkClock::Timer2Timer(const QDateTime &now)
{
    // Qt counts Monday = 1 .. Sunday = 7; the card counts Sunday = 0 .. Saturday = 6.
    m_weekdayIndex = now.date().dayOfWeek() % 7;
    m_clockText = now.time().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") +
                  WeekdayName(m_weekdayIndex);
    emit clockTextChanged(m_clockText);
    m_values.todayMask = static_cast<std::uint8_t>(1u << m_weekdayIndex);
    // The upload sends what the label shows, read back from its text.
    const QStringView text(m_clockText);
    m_values.hour = LowByte(ParseNumber(text.mid(0, 2)));
    m_values.minute = LowByte(ParseNumber(text.mid(3, 2)));
    m_values.second = LowByte(ParseNumber(text.mid(6, 2)));
}
