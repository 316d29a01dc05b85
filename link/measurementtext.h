#pragma once

#include <QString>

#include <array>

// What the card tells, in words, as the window and the command-line tool show it: its version,
// three temperatures in °C and the relative humidity in percent.
// "Version 137", or "Version 136 (erwartet 137)" for another firmware.
QString VersionText(int version);
QString TemperatureText(int celsius); // "21 °C"
QString HumidityText(int percent);    // "45 % rel. LF"
// No humidity sensor gives more than 100 %.
constexpr bool HumidityPossible(int percent)
{
    return percent >= 0 && percent <= 100;
}
// "21 °C, 22 °C, 23 °C, 45 % rel. LF"; a value no sensor can give is marked "(!)", as the
// readable project marks bytes the window cannot show.
QString MeasurementLine(const std::array<int, 4> &values);
