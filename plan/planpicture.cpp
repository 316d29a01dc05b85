#include "plan/planpicture.h"

#include "forms/planlayout.h"
#include "forms/plansvg.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace {

using namespace PlanShapes;

// A font whose em is 100 units; text is drawn scaled down to its size in millimetres, which
// keeps it sharp on every device.
QFont PlanFont(bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(100);
    font.setBold(bold);
    return font;
}

void Paint(QPainter &painter, const std::vector<Shape> &shapes, double unitsPerMm)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(unitsPerMm, unitsPerMm);
    for (const Shape &shape : shapes) {
        if (const Rect *r = std::get_if<Rect>(&shape)) {
            painter.setPen(r->stroke.isEmpty() ? QPen(Qt::NoPen)
                                               : QPen(QColor(r->stroke), r->strokeWidth));
            painter.setBrush(r->fill.isEmpty() ? QBrush(Qt::NoBrush) : QBrush(QColor(r->fill)));
            painter.drawRect(QRectF(r->x, r->y, r->w, r->h));
        } else if (const Line *l = std::get_if<Line>(&shape)) {
            painter.setPen(QPen(QColor(l->color), l->width));
            painter.drawLine(QPointF(l->x1, l->y1), QPointF(l->x2, l->y2));
        } else if (const Text *t = std::get_if<Text>(&shape)) {
            const QFont font = PlanFont(t->bold);
            const double scale = t->size / 100.0;
            const double width = QFontMetricsF(font).horizontalAdvance(t->text) * scale;
            painter.save();
            painter.translate(t->x - (t->anchor == 1   ? width / 2
                                      : t->anchor == 2 ? width
                                                       : 0),
                              t->y);
            painter.scale(scale, scale);
            painter.setFont(font);
            painter.setPen(QColor(t->color));
            painter.drawText(QPointF(0, 0), t->text);
            painter.restore();
        }
    }
}

} // namespace

PictureFormat PictureFormatOf(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("svg"))
        return PictureFormat::Svg;
    if (suffix == QLatin1String("png"))
        return PictureFormat::Png;
    if (suffix == QLatin1String("pdf"))
        return PictureFormat::Pdf;
    return PictureFormat::Unknown;
}

QByteArray WeekPlanPicture(const WeekPlan &plan, PictureFormat format, QString *error)
{
    const auto failed = [&](const QString &why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    if (format == PictureFormat::Svg)
        return WeekPlanSvg(plan);
    if (format == PictureFormat::Unknown)
        return failed(QStringLiteral("unbekanntes Bildformat (erwartet .svg, .png oder .pdf)"));
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return failed(QStringLiteral("zum Zeichnen fehlt die Qt-Anwendung"));
    const std::vector<Shape> shapes = LayoutWeekPlan(plan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == PictureFormat::Png) {
        const double unitsPerMm = PlanPage::PngDpi / 25.4;
        QImage image(qRound(PlanPage::Width * unitsPerMm), qRound(PlanPage::Height * unitsPerMm),
                     QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(unitsPerMm * 1000));
        image.setDotsPerMeterY(qRound(unitsPerMm * 1000));
        image.fill(Qt::white);
        QPainter painter(&image);
        Paint(painter, shapes, unitsPerMm);
        painter.end();
        if (!image.save(&buffer, "PNG"))
            return failed(QStringLiteral("PNG konnte nicht erzeugt werden"));
        return bytes;
    }
    QPdfWriter pdf(&buffer);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(300);
    pdf.setTitle(plan.title);
    pdf.setCreator(QStringLiteral("zelkora-cli"));
    QPainter painter(&pdf);
    if (!painter.isActive())
        return failed(QStringLiteral("PDF konnte nicht erzeugt werden"));
    Paint(painter, shapes, pdf.resolution() / 25.4);
    painter.end();
    return bytes;
}
