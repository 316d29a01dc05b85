#pragma once

#include "forms/weekplan.h"

#include <QByteArray>
#include <QString>

// The week plan painted: the one place besides the window that needs Qt Gui.

enum class PictureFormat
{
    Svg,
    Png,
    Pdf,
    Unknown
};
// By the name's extension, whatever its case.
PictureFormat PictureFormatOf(const QString &path);

// SVG, PNG (150 dpi) or PDF (one A4 page), as the bytes to write. PNG and PDF need a
// QGuiApplication (fonts); the offscreen platform does. Empty with a reason on failure.
QByteArray WeekPlanPicture(const WeekPlan &plan, PictureFormat format, QString *error = nullptr);
