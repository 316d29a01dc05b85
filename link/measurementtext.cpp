#include "link/measurementtext.h"

#include "link/linkengine.h"

QString VersionText(int version)
{
    return version == LinkEngine::AcceptedVersion ? QStringLiteral("Version %1").arg(version)
                                                  : QStringLiteral("Version %1 (erwartet %2)")
                                                        .arg(version)
                                                        .arg(LinkEngine::AcceptedVersion);
}

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
