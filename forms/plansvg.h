#pragma once

#include "forms/weekplan.h"

#include <QByteArray>

// The week plan as an SVG document of the A4 page; its bars carry data-relais, data-tag,
// data-von, data-bis and data-quelle, so a reader can take the plan back out of the picture.
QByteArray WeekPlanSvg(const WeekPlan &plan);
