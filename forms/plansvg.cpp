#include "forms/plansvg.h"

#include "forms/planlayout.h"

#include <array>

namespace {

using namespace PlanShapes;

QString Escaped(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&amp;"))
        .replace(QLatin1Char('<'), QStringLiteral("&lt;"))
        .replace(QLatin1Char('>'), QStringLiteral("&gt;"))
        .replace(QLatin1Char('"'), QStringLiteral("&quot;"));
}

QString Mm(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace

QByteArray WeekPlanSvg(const WeekPlan &plan)
{
    QString out =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1mm\" height=\"%2mm\" "
                       "viewBox=\"0 0 %1 %2\" font-family=\"DejaVu Sans, sans-serif\">\n"
                       "<rect x=\"0\" y=\"0\" width=\"%1\" height=\"%2\" fill=\"#ffffff\"/>\n")
            .arg(Mm(PlanPage::Width), Mm(PlanPage::Height));
    for (const Shape &shape : LayoutWeekPlan(plan)) {
        if (const Rect *r = std::get_if<Rect>(&shape)) {
            out += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"")
                       .arg(Mm(r->x), Mm(r->y), Mm(r->w), Mm(r->h));
            out += QStringLiteral(" fill=\"%1\"")
                       .arg(r->fill.isEmpty() ? QStringLiteral("none") : r->fill);
            if (!r->stroke.isEmpty())
                out += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\"")
                           .arg(r->stroke, Mm(r->strokeWidth));
            if (!r->cssClass.isEmpty())
                out += QStringLiteral(" class=\"%1\" %2").arg(r->cssClass, r->data);
            out += QStringLiteral("/>\n");
        } else if (const Line *l = std::get_if<Line>(&shape)) {
            out += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\" "
                                  "stroke-width=\"%6\"/>\n")
                       .arg(Mm(l->x1), Mm(l->y1), Mm(l->x2), Mm(l->y2), l->color, Mm(l->width));
        } else if (const Text *t = std::get_if<Text>(&shape)) {
            static const std::array<const char *, 3> anchors{"start", "middle", "end"};
            out += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"%3\" text-anchor=\"%4\" "
                                  "fill=\"%5\"%6>%7</text>\n")
                       .arg(Mm(t->x), Mm(t->y), Mm(t->size),
                            QLatin1String(anchors[static_cast<std::size_t>(t->anchor)]), t->color,
                            (t->bold ? QStringLiteral(" font-weight=\"bold\"") : QString()) +
                                (t->cssClass.isEmpty()
                                     ? QString()
                                     : QStringLiteral(" class=\"%1\"").arg(t->cssClass)),
                            Escaped(t->text));
        }
    }
    out += QStringLiteral("</svg>\n");
    return out.toUtf8();
}
