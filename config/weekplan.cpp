#include "weekplan.h"

#include "projectmodel.h"
#include "projecttext.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <variant>

namespace {

const std::array<const char *, 7> DayNames{"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
// Row 0 is Monday; the card's day bits count from Sunday (bit 0).
int DayBit(int row)
{
    return (row + 1) % 7;
}

double Hours(const TimeBytes &time)
{
    return time.hour + time.minute / 60.0 + time.second / 3600.0;
}

// Legend name and colour of each source, in the order of PlanSource.
struct SourceLook
{
    const char *name;
    const char *color;
};
constexpr std::array<SourceLook, 3> SourceLooks{
    {{"Timer 1", "#1f5fbf"}, {"Timer 2", "#e07b00"}, {"Random-Fenster", "#2e9e3e"}}};

QString SourceName(PlanSource source)
{
    return QString::fromLatin1(SourceLooks[static_cast<std::size_t>(source)].name);
}

// An on-time and an off-time on day `row`: a span past midnight goes on the next day.
void AddSpan(WeekPlan &plan, int relay, int row, const TimeBytes &on, const TimeBytes &off,
             PlanSource source)
{
    const double from = Hours(on), to = Hours(off);
    if (from < to) {
        plan.bars.push_back({relay, row, from, to, source});
    } else if (from > to) {
        plan.bars.push_back({relay, row, from, 24.0, source});
        if (to > 0)
            plan.bars.push_back({relay, (row + 1) % 7, 0.0, to, source});
    }
}

QString Threshold(std::uint8_t byte, std::uint8_t sensor)
{
    return QStringLiteral("%1 %2")
        .arg(SignedThreshold(byte))
        .arg(sensor == 3 ? QStringLiteral("% rel. LF") : QStringLiteral("°C"));
}

// ---- the page, as shapes in millimetres ----

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

constexpr double Margin = 12.0;
constexpr double PanelTop = 40.0;
constexpr double PanelGap = 6.0;
constexpr double PanelWidth = (PlanPage::Width - 2 * Margin - PanelGap) / 2; // 90
constexpr double PanelHeight = 61.0;
constexpr double DayColumn = 8.0;
constexpr double ChartTop = 11.0; // below the panel's top
constexpr double RowHeight = 6.0;
constexpr double ChartWidth = PanelWidth - DayColumn - 3.0;
constexpr double BarHeight = 1.7;

double PanelX(int relay)
{
    return Margin + (relay % 2) * (PanelWidth + PanelGap);
}
double PanelY(int relay)
{
    return PanelTop + (relay / 2) * (PanelHeight + 1.0);
}
double ChartX(int relay)
{
    return PanelX(relay) + DayColumn;
}
double HourX(int relay, double hour)
{
    return ChartX(relay) + ChartWidth * hour / 24.0;
}
int SourceSlot(PlanSource source)
{
    return static_cast<int>(source);
}

// Greedy lines of at most `width` characters, broken at blanks (a longer word is cut).
QStringList Wrap(const QString &text, int width)
{
    QStringList lines;
    QString line;
    for (QString word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        while (word.size() > width) {
            if (!line.isEmpty())
                lines << line;
            lines << word.left(width);
            word = word.mid(width);
            line.clear();
        }
        if (line.isEmpty())
            line = word;
        else if (line.size() + 1 + word.size() <= width)
            line += QLatin1Char(' ') + word;
        else {
            lines << line;
            line = word;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

// The notes under a relay's chart, within the room below it: wrapped to the panel's width,
// in a smaller type where they need more lines, and cut with "…" where even the smallest
// does not hold them, as a printed form would.
void LayoutNotes(std::vector<Shape> &shapes, double x, double top, double width, double height,
                 const QStringList &notes)
{
    const QString text = notes.join(QStringLiteral(" · "));
    constexpr double CharWidth = 0.6; // of the type's height, generous for DejaVu Sans
    for (const double size : {2.9, 2.5, 2.2, 1.9}) {
        const double step = size * 1.2;
        const int room = std::max(1, int((height - size) / step) + 1);
        const int perLine = std::max(8, int(width / (size * CharWidth)));
        QStringList lines = Wrap(text, perLine);
        if (lines.size() > room && size > 1.9)
            continue;
        if (lines.size() > room) {
            lines = lines.mid(0, room);
            lines.last() = lines.last().left(perLine - 1) + QStringLiteral("…");
        }
        for (int i = 0; i < lines.size(); ++i)
            shapes.push_back(Text{x, top + size + i * step, size, lines[i], false, 0,
                                  QStringLiteral("#000000"), QStringLiteral("notiz")});
        return;
    }
}

std::vector<Shape> Layout(const WeekPlan &plan)
{
    std::vector<Shape> shapes;
    shapes.push_back(Text{Margin, 20.0, 6.0, plan.title, true});
    double y = 26.5;
    for (const QString &note : plan.notes) {
        shapes.push_back(Text{Margin, y, 3.2, note});
        y += 4.2;
    }
    // Legend.
    double x = Margin;
    const double legendY = 35.0;
    for (PlanSource source : {PlanSource::Timer1, PlanSource::Timer2, PlanSource::Random}) {
        shapes.push_back(
            Rect{x, legendY - 2.6, 7.0, 2.8, PlanPage::SourceColor(source), {}, 0, {}, {}});
        shapes.push_back(Text{x + 9.0, legendY, 3.2, SourceName(source)});
        x += 45.0;
    }
    shapes.push_back(Text{PlanPage::Width - Margin, legendY, 2.8,
                          QStringLiteral("Stunden 0 bis 24"), false, 2, QStringLiteral("#555555")});

    for (int relay = 0; relay < 8; ++relay) {
        const RelayPlan &relayPlan = plan.relays[static_cast<std::size_t>(relay)];
        const double px = PanelX(relay), py = PanelY(relay);
        const double top = py + ChartTop;
        shapes.push_back(Rect{
            px, py, PanelWidth, PanelHeight - 1.0, {}, QStringLiteral("#999999"), 0.25, {}, {}});
        shapes.push_back(Text{px + 2.0, py + 5.0, 3.8, relayPlan.title, true});
        // Hour grid and scale.
        for (int hour = 0; hour <= 24; ++hour) {
            const double hx = HourX(relay, hour);
            const bool major = hour % 6 == 0;
            shapes.push_back(Line{hx, top, hx, top + 7 * RowHeight,
                                  major ? QStringLiteral("#888888") : QStringLiteral("#dddddd"),
                                  major ? 0.25 : 0.15});
            if (major)
                shapes.push_back(Text{hx, top - 1.2, 2.6, QString::number(hour), false, 1,
                                      QStringLiteral("#444444")});
        }
        for (int row = 0; row < 7; ++row) {
            const double ry = top + row * RowHeight;
            shapes.push_back(Line{ChartX(relay), ry + RowHeight, ChartX(relay) + ChartWidth,
                                  ry + RowHeight, QStringLiteral("#bbbbbb"), 0.15});
            shapes.push_back(Text{px + 2.0, ry + 4.3, 3.0, QString::fromLatin1(DayNames[row])});
        }
        const double notesTop = top + 7 * RowHeight + 0.8;
        LayoutNotes(shapes, px + 2.0, notesTop, PanelWidth - 4.0,
                    py + PanelHeight - 1.0 - 0.8 - notesTop, relayPlan.notes);
    }
    for (const PlanBar &bar : plan.bars) {
        const PlanPage::Box box = PlanPage::BarBox(bar);
        shapes.push_back(Rect{box.x,
                              box.y,
                              box.w,
                              box.h,
                              PlanPage::SourceColor(bar.source),
                              {},
                              0,
                              QStringLiteral("balken"),
                              QStringLiteral("data-relais=\"%1\" data-tag=\"%2\" data-von=\"%3\" "
                                             "data-bis=\"%4\" data-quelle=\"%5\"")
                                  .arg(bar.relay + 1)
                                  .arg(QString::fromLatin1(DayNames[bar.day]))
                                  .arg(bar.fromHour, 0, 'f', 4)
                                  .arg(bar.toHour, 0, 'f', 4)
                                  .arg(SourceName(bar.source))});
    }
    return shapes;
}

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

WeekPlan MakeWeekPlan(const ConfigImage &image)
{
    const ProjectModel model = DecodeProject(image);
    WeekPlan plan;
    plan.title =
        QStringLiteral("Wochenplan ") +
        (model.cardName.isEmpty() ? QStringLiteral("Relaiskarte") : VisibleText(model.cardName));
    if (model.runningLightView) {
        const int choice = ProgramChoiceIndex(model.programChoice);
        plan.notes << QStringLiteral("Lauflicht-Betrieb (%1): die Relais folgen dem Lauflicht.")
                          .arg(choice >= 0
                                   ? ProjectLists::Programs().at(choice)
                                   : QStringLiteral("Programm-Byte %1").arg(model.programChoice));
    }
    for (int p = 0; p < 8; ++p) {
        const RelayModel &r = model.relays[static_cast<std::size_t>(p)];
        RelayPlan &relayPlan = plan.relays[static_cast<std::size_t>(p)];
        relayPlan.title =
            QStringLiteral("Relais %1").arg(p + 1) +
            (r.label.isEmpty() ? QString() : QStringLiteral(": ") + VisibleText(r.label));
        const std::size_t barsBefore = plan.bars.size();
        for (int t = 0; t < 2; ++t) {
            const TimerModel &timer = r.timers[static_cast<std::size_t>(t)];
            if (!timer.active)
                continue;
            const PlanSource source = t == 0 ? PlanSource::Timer1 : PlanSource::Timer2;
            const std::uint8_t days = image[ImageOffset::timer(p) + 7 * t] & 0x7F;
            if (!IsShownTime(timer.on) || !IsShownTime(timer.off)) {
                relayPlan.notes << QStringLiteral("Timer %1: keine gültige Uhrzeit (%2 bis %3)")
                                       .arg(t + 1)
                                       .arg(TimeText(timer.on), TimeText(timer.off));
                continue;
            }
            if (days == 0)
                relayPlan.notes
                    << QStringLiteral("Timer %1: aktiv, aber kein Tag gewählt").arg(t + 1);
            else if (timer.on == timer.off)
                relayPlan.notes << QStringLiteral("Timer %1: An und Aus gleich (%2)")
                                       .arg(t + 1)
                                       .arg(TimeText(timer.on));
            for (int row = 0; row < 7; ++row) {
                if (days & (1u << DayBit(row)))
                    AddSpan(plan, p, row, timer.on, timer.off, source);
            }
        }
        if (r.randomActive) {
            if (!IsShownTime(r.randomStart) || !IsShownTime(r.randomStop))
                relayPlan.notes << QStringLiteral("Random: keine gültige Uhrzeit (%1 bis %2)")
                                       .arg(TimeText(r.randomStart), TimeText(r.randomStop));
            else
                for (int row = 0; row < 7; ++row)
                    AddSpan(plan, p, row, r.randomStart, r.randomStop, PlanSource::Random);
        }
        if (r.inputs != 0 || r.pushButton) {
            QStringList inputs;
            for (int k = 0; k < 8; ++k) {
                if (r.inputs & (1u << k))
                    inputs << QStringLiteral("K%1").arg(k + 1);
            }
            const QString joined =
                inputs.isEmpty()
                    ? QStringLiteral("keine Eingänge")
                    : inputs.join(r.andLink ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
            relayPlan.notes << (r.pushButton ? QStringLiteral("Taster: ")
                                             : QStringLiteral("Eingänge: ")) +
                                   joined;
        }
        if (r.secTimerActive)
            relayPlan.notes << QStringLiteral("Sekundentimer: an bei %1 s, aus bei %2 s%3")
                                   .arg(r.onAt)
                                   .arg(r.offAt)
                                   .arg(r.key      ? QStringLiteral(", key")
                                        : r.repeat ? QStringLiteral(", repeat")
                                                   : QString());
        if (r.tempActive)
            relayPlan.notes << QStringLiteral("%1: an unter %2, aus über %3")
                                   .arg(r.sensor < 4
                                            ? ProjectLists::Sensors().at(r.sensor)
                                            : QStringLiteral("Sensor-Byte %1").arg(r.sensor))
                                   .arg(Threshold(r.pullIn, r.sensor),
                                        Threshold(r.dropOut, r.sensor));
        if (plan.bars.size() == barsBefore && relayPlan.notes.isEmpty())
            relayPlan.notes << QStringLiteral("keine Funktion aktiv");
    }
    return plan;
}

namespace PlanPage {
Box BarBox(const PlanBar &bar)
{
    const double top = PanelY(bar.relay) + ChartTop + bar.day * RowHeight;
    return {HourX(bar.relay, bar.fromHour), top + 0.5 + SourceSlot(bar.source) * (BarHeight + 0.1),
            ChartWidth * (bar.toHour - bar.fromHour) / 24.0, BarHeight};
}

QString SourceColor(PlanSource source)
{
    return QString::fromLatin1(SourceLooks[static_cast<std::size_t>(source)].color);
}
} // namespace PlanPage

QByteArray WeekPlanSvg(const WeekPlan &plan)
{
    QString out =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1mm\" height=\"%2mm\" "
                       "viewBox=\"0 0 %1 %2\" font-family=\"DejaVu Sans, sans-serif\">\n"
                       "<rect x=\"0\" y=\"0\" width=\"%1\" height=\"%2\" fill=\"#ffffff\"/>\n")
            .arg(Mm(PlanPage::Width), Mm(PlanPage::Height));
    for (const Shape &shape : Layout(plan)) {
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
    const std::vector<Shape> shapes = Layout(plan);
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
