#pragma once

#include "config/pagecodec.h"

#include <QString>

#include <ostream>

// Readable failure messages for the types these tests compare.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const TimeOfDay &t, std::ostream *os)
{
    *os << t.hour << ':' << t.minute << ':' << t.second;
}
