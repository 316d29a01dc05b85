#pragma once

#include "forms/weekplan.h"

#include <QString>

#include <variant>
#include <vector>

// The picture is laid out once, in millimetres on an A4 page (portrait); the SVG and the
// painted forms draw the same shapes.
namespace PlanPage {
constexpr double Width = 210.0;
constexpr double Height = 297.0;
constexpr int PngDpi = 150; // 1240 x 1754 pixels
// Where the bar of `source` for relay/day/hours lies on the page, in millimetres.
struct Box
{
    double x = 0, y = 0, w = 0, h = 0;
};
Box BarBox(const PlanBar &bar);
} // namespace PlanPage

// The shapes of the page, each in millimetres, for whoever draws them.
namespace PlanShapes {
struct Rect
{
    double x, y, w, h;
    QString fill, stroke;
    double strokeWidth = 0;
    QString cssClass;
    QString data; // SVG attributes of a bar, for anyone who reads the picture back
};
struct Line
{
    double x1, y1, x2, y2;
    QString color;
    double width;
};
struct Text
{
    double x, y; // baseline
    double size; // height of the font in mm
    QString text;
    bool bold = false;
    int anchor = 0; // 0 start, 1 middle, 2 end
    QString color = QStringLiteral("#000000");
    QString cssClass = {};
};
using Shape = std::variant<Rect, Line, Text>;
} // namespace PlanShapes

// Title, legend, a panel per relay with its hour grid and notes, and the bars, in drawing order.
std::vector<PlanShapes::Shape> LayoutWeekPlan(const WeekPlan &plan);
