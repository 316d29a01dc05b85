#include "link/measurementtext.h"

QString TemperatureText(int celsius)
{
    return QString::number(celsius) + QStringLiteral(" °C");
}

QString HumidityText(int percent)
{
    return QString::number(percent) + QStringLiteral(" % rel. LF");
}

QString MeasurementLine(const std::array<int, 4> &values)
{
    return TemperatureText(values[0]) + QStringLiteral(", ") + TemperatureText(values[1]) +
           QStringLiteral(", ") + TemperatureText(values[2]) + QStringLiteral(", ") +
           HumidityText(values[3]) +
           (HumidityPossible(values[3]) ? QString() : QStringLiteral(" (!)"));
}
