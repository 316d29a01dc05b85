// The week plan painted: a PNG whose pixels show the bars where the image says, a PDF of one
// A4 page, the format by the name's extension.
#include "forms/planlayout.h"
#include "plan/planpicture.h"
#include "tests/support/edgeimages.h"

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QColor PixelAt(const QImage &image, double xMm, double yMm)
{
    const double scale = PlanPage::PngDpi / 25.4;
    return image.pixelColor(int(xMm * scale), int(yMm * scale));
}

TEST(WeekPlan, PngHasTheBarsWhereTheImageSays)
{
    const WeekPlan plan = MakeWeekPlan(SmallWeek());
    QString error;
    const QByteArray png = WeekPlanPicture(plan, PictureFormat::Png, &error);
    ASSERT_FALSE(png.isEmpty()) << error.toStdString();
    QImage image;
    ASSERT_TRUE(image.loadFromData(png, "PNG"));
    EXPECT_EQ(image.size(), QSize(1240, 1754));

    // Relay 1, Wednesday, Timer 1: the middle of 06:30 to 07:00 is blue, 12:00 is not.
    const PlanPage::Box bar = PlanPage::BarBox({0, 2, 6.5, 7.0, PlanSource::Timer1});
    const QColor blue(PlanSourceColor(PlanSource::Timer1));
    EXPECT_EQ(PixelAt(image, bar.x + bar.w / 2, bar.y + bar.h / 2), blue);
    const PlanPage::Box noon = PlanPage::BarBox({0, 2, 12.0, 12.5, PlanSource::Timer1});
    EXPECT_NE(PixelAt(image, noon.x + noon.w / 2, noon.y + noon.h / 2), blue);
    // Relay 1, Sunday 01:00, Timer 2 past midnight: orange; Saturday 01:00: not.
    const QColor orange(PlanSourceColor(PlanSource::Timer2));
    const PlanPage::Box sunday = PlanPage::BarBox({0, 6, 0.0, 2.0, PlanSource::Timer2});
    const PlanPage::Box saturday = PlanPage::BarBox({0, 5, 0.0, 2.0, PlanSource::Timer2});
    EXPECT_EQ(PixelAt(image, sunday.x + sunday.w / 2, sunday.y + sunday.h / 2), orange);
    EXPECT_NE(PixelAt(image, saturday.x + saturday.w / 2, saturday.y + saturday.h / 2), orange);
    // Relay 3 is driven by inputs: its chart holds no bar colour at all.
    const PlanPage::Box empty = PlanPage::BarBox({2, 3, 0.0, 24.0, PlanSource::Timer1});
    for (double x = empty.x + 0.5; x < empty.x + empty.w; x += 1.0)
        ASSERT_NE(PixelAt(image, x, empty.y + empty.h / 2), blue) << x;
}

TEST(WeekPlan, PdfIsOneA4Page)
{
    QString error;
    const QByteArray pdf = WeekPlanPicture(MakeWeekPlan(SmallWeek()), PictureFormat::Pdf, &error);
    ASSERT_TRUE(pdf.startsWith("%PDF-")) << error.toStdString();
    EXPECT_TRUE(pdf.contains("/MediaBox [0 0 595")) << "not A4";
    EXPECT_EQ(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r"), 1);
}

TEST(WeekPlan, FormatFollowsTheExtension)
{
    EXPECT_EQ(PictureFormatOf(QStringLiteral("woche.SVG")), PictureFormat::Svg);
    EXPECT_EQ(PictureFormatOf(QStringLiteral("/tmp/a.b/woche.png")), PictureFormat::Png);
    EXPECT_EQ(PictureFormatOf(QStringLiteral("woche.pdf")), PictureFormat::Pdf);
    EXPECT_EQ(PictureFormatOf(QStringLiteral("woche.jpg")), PictureFormat::Unknown);
    EXPECT_EQ(PictureFormatOf(QStringLiteral("woche")), PictureFormat::Unknown);
}

} // namespace

int main(int argc, char **argv)
{
    // Pictures need fonts, so a QGuiApplication; never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
