#pragma once

#include <cstdint>

// What the final block of an upload sends of the clock: the numbers read back from the clock
// label at the last once-a-second tick, and today's weekday bit (1 = Sunday .. 64 = Saturday).
// The clock writes them, the engine reads them; neither needs to know the other.
struct ClockValues
{
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint8_t todayMask = 0;
};
