#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QTest>

#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "chart/gui/painter_context_widget.h"
#include "chart/gui/tools/sample_chart.h"
#include "chart/gui/xgraph_widget.h"
#include "qt_test_application.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::CountColour;
using testing::Near;

QRgb Rgb(ChartColour colour) {
    return qRgb(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

class ChartRendering : public testing::WidgetTest {
  protected:
    void SetUp() override {
        trace = samples::MakeSampleTrace();
        samples::SetUpGraphViewChart(chart, trace);
        image = chart.Render(QSize(1000, 700));
        toX = chart.XAxisAt(0).Mapping();
        toY = chart.YAxisAt(0).Mapping();
    }

    samples::SampleTrace trace;
    XGraphWidget chart;
    QImage image;
    AxisMapping toX;
    AxisMapping toY;
};

TEST_F(ChartRendering, HatchedLimitBandShowsItsColourOnThePlot) {
    const PixelRect plot = chart.PlotRect();
    // Inside the upper band, away from its outline.
    const QRect inside(QPoint(toX.Map(4.0) + 2, plot.top + 2),
                       QPoint(toX.Map(7.0) - 2, toY.Map(55.0) - 2));
    ASSERT_GT(inside.width(), 100);
    ASSERT_GT(inside.height(), 100);
    const int area = inside.width() * inside.height();
    const int hatch = CountColour(image, inside, Rgb(0x6464FF));
    const int plotColour = CountColour(image, inside, Rgb(0x787878));
    // One diagonal line every 8 pixels.
    EXPECT_GT(hatch, area / 10);
    EXPECT_LT(hatch, area / 5);
    EXPECT_GT(plotColour, area / 2);
    // The band's outline is solid.
    EXPECT_EQ(image.pixel(toX.Map(4.0), toY.Map(70.0)) & 0xFFFFFF, Rgb(0x6464FF) & 0xFFFFFF);
    // Between the bands (45 to 55 ohms) only the plot, its grid and the curve show.
    const QRect between(QPoint(toX.Map(4.0) + 2, toY.Map(54.0)),
                        QPoint(toX.Map(7.0) - 2, toY.Map(46.0)));
    EXPECT_EQ(CountColour(image, between, Rgb(0x6464FF)), 0);
}

TEST_F(ChartRendering, BackgroundsCurveAndLabelsAreWhereTheyBelong) {
    // The window outside the plot and inside it.
    EXPECT_EQ(image.pixel(2, 2) & 0xFFFFFF, Rgb(0x787878) & 0xFFFFFF);
    // The curve crosses each pixel column near its value.
    for (double x : {1.0, 2.5, 6.0, 8.0}) {
        const CurvePoint& point = trace.Points[static_cast<std::size_t>(std::lround(x * 75))];
        const int column = toX.Map(point.X);
        const QRect near(column, toY.Map(point.Y) - 3, 1, 7);
        EXPECT_GT(CountColour(image, near, Rgb(0x64FF64)), 0) << x;
    }
    // The verdict's large green text is in its label box.
    EXPECT_GT(CountColour(image, QRect(55, 145, 345, 45), Rgb(0x37FF00)), 200);
    // The axis line is black and runs along the plot's left edge.
    const PixelRect plot = chart.PlotRect();
    EXPECT_EQ(image.pixel(plot.left - 1, (plot.top + plot.bottom) / 2) & 0xFFFFFF, 0u);
}

TEST_F(ChartRendering, WindowPaintsWhatRenderDraws) {
    chart.resize(1000, 700);
    const QImage shown = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, image);
    chart.DoubleBuffered = false;
    const QImage direct = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(direct, image);
}

TEST_F(ChartRendering, MonochromePrintDrawsTheCurveBlackOnWhite) {
    QImage page(1000, 700, QImage::Format_Mono);
    page.fill(0);
    chart.PrintTo(page);
    const QImage printed = page.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(printed.pixel(2, 2) & 0xFFFFFF, 0xFFFFFFu);
    const CurvePoint& point = trace.Points[150];
    const QRect near(toX.Map(point.X), toY.Map(point.Y) - 3, 1, 7);
    EXPECT_GT(CountColour(printed, near, qRgb(0, 0, 0)), 0);
    // The band's hatch prints black too.
    const PixelRect plot = chart.PlotRect();
    const QRect band(QPoint(toX.Map(4.0) + 2, plot.top + 2),
                     QPoint(toX.Map(7.0) - 2, toY.Map(56.0)));
    EXPECT_GT(CountColour(printed, band, qRgb(0, 0, 0)), band.width() * band.height() / 10);
}

TEST_F(ChartRendering, PrintIntoAHighResolutionImageScalesTheWholeChart) {
    // 192 dpi against the 96-dpi screen: the chart is laid out on half the
    // pixels and drawn twice as large.
    QImage page(2000, 1400, QImage::Format_RGB32);
    page.setDotsPerMeterX(7559);
    page.setDotsPerMeterY(7559);
    chart.PrintTo(page);
    const PixelRect plot = chart.PlotRect();
    EXPECT_LT(plot.right, 1000);
    // The upper band's outline, in device pixels, at twice its logical place.
    const AxisMapping x = chart.XAxisAt(0).Mapping();
    const int left = 2 * x.Map(4.0);
    const int y = 2 * chart.YAxisAt(0).Mapping().Map(81.0);                    // between grid lines
    EXPECT_EQ(CountColour(page, QRect(left - 2, y, 5, 1), Rgb(0x6464FF)), 2);  // a 2-pixel pen
    // Text grows too: the verdict's green covers about four times the area.
    const int green = CountColour(page, QRect(110, 290, 690, 90), Rgb(0x37FF00));
    EXPECT_GT(green, 4 * 200);
}

TEST_F(ChartRendering, PrintingToAPrinterWritesAPage) {
    orvik::testing::TemporaryFolder folder;
    const std::string path = (folder.Path() / "chart.pdf").string();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    EXPECT_TRUE(chart.PrintTo(printer));
    EXPECT_GT(std::filesystem::file_size(path), 1000u);
}

TEST(PainterContext, NotXorFillCombinesWithWhatIsBelow) {
    testing::TestApplication();
    for (ChartColour plot : {kWhite, ChartColour{0x787878}}) {
        XGraphWidget chart;
        chart.ShowLegend = false;
        chart.PlotColour = plot;
        const CurvePoint points[] = {{0.0, 50.0}, {10.0, 50.0}};
        CXGraphDataSerie* curve = chart.SetCurveData(points, 2, 0, 0, 0, true);
        curve->Filled = true;
        curve->FillPartner = kFillToBottom;
        curve->FillColour = 0x0000FF;  // red
        chart.XAxisAt(0).ShowGrid = chart.YAxisAt(0).ShowGrid = false;
        chart.YAxisAt(0).SetDataRange(0.0, 100.0);
        const QImage image = chart.Render(QSize(600, 400));
        const AxisMapping toX = chart.XAxisAt(0).Mapping();
        const AxisMapping toY = chart.YAxisAt(0).Mapping();
        const QRgb filled = image.pixel(toX.Map(5.0), toY.Map(25.0)) & 0xFFFFFF;
        // not (fill xor below): the fill itself on white, a mix on grey.
        const QRgb expected = ~(qRgb(255, 0, 0) ^ Rgb(plot)) & 0xFFFFFF;
        EXPECT_EQ(filled, expected) << std::hex << plot;
        // Above the curve nothing is filled.
        EXPECT_EQ(image.pixel(toX.Map(5.0), toY.Map(75.0)) & 0xFFFFFF, Rgb(plot) & 0xFFFFFF);
    }
}

TEST(PainterContext, HatchedFillsCombineLineByLineAndLeaveTheGaps) {
    testing::TestApplication();
    for (FillMix mix : {FillMix::NotXor, FillMix::Copy}) {
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(qRgb(120, 120, 120));
        QPainter painter(&image);
        PainterDeviceContext dc(painter);
        const std::vector<PixelPoint> square = {{8, 8}, {56, 8}, {56, 56}, {8, 56}};
        dc.FillPolygon(square, ChartBrush{kHatchCross, 0x0000FF}, mix);
        painter.end();
        const QRgb line = mix == FillMix::NotXor
                              ? (~(qRgb(255, 0, 0) ^ qRgb(120, 120, 120)) & 0xFFFFFF)
                              : (qRgb(255, 0, 0) & 0xFFFFFF);
        // Lines every 8 pixels from the origin; the gaps keep what was there.
        EXPECT_EQ(image.pixel(16, 20) & 0xFFFFFF, line);
        EXPECT_EQ(image.pixel(20, 24) & 0xFFFFFF, line);
        EXPECT_EQ(image.pixel(20, 20) & 0xFFFFFF, qRgb(120, 120, 120) & 0xFFFFFF);
        // Nothing outside the polygon.
        EXPECT_EQ(image.pixel(0, 16) & 0xFFFFFF, qRgb(120, 120, 120) & 0xFFFFFF);
        EXPECT_EQ(image.pixel(60, 24) & 0xFFFFFF, qRgb(120, 120, 120) & 0xFFFFFF);
    }
}

TEST(PainterContext, DottedRowsAndColumnsFollowThePenPattern) {
    testing::TestApplication();
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(qRgb(255, 255, 255));
    QPainter painter(&image);
    PainterDeviceContext dc(painter);
    dc.DrawLine({2, 5}, {30, 5}, ChartPen{kPenDot, 1, 0x969696});
    dc.DrawLine({5, 10}, {5, 30}, ChartPen{kPenDot, 1, 0x969696});
    painter.end();
    int rowDots = 0;
    for (int x = 0; x < 40; ++x) {
        rowDots += (image.pixel(x, 5) & 0xFFFFFF) == (qRgb(150, 150, 150) & 0xFFFFFF);
    }
    int columnDots = 0;
    for (int y = 0; y < 40; ++y) {
        columnDots += (image.pixel(5, y) & 0xFFFFFF) == (qRgb(150, 150, 150) & 0xFFFFFF);
    }
    // One pixel in three over 29 and 21 pixels.
    EXPECT_EQ(rowDots, 10);
    EXPECT_EQ(image.pixel(2, 5) & 0xFFFFFF, qRgb(150, 150, 150) & 0xFFFFFF);
    EXPECT_EQ(image.pixel(2, 6) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_GE(columnDots, 6);
    EXPECT_LE(columnDots, 11);
}

TEST(PainterContext, MapsTheChartsFacesToInstalledFamiliesAndSizesByCell) {
    testing::TestApplication();
    for (const char* face : {"Arial", "Times New Roman", "No Such Face"}) {
        const QString family = PainterDeviceContext::ResolveFontFamily(face);
        EXPECT_TRUE(QFontDatabase::hasFamily(family)) << face;
    }
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    PainterDeviceContext dc(painter);
    // The layout counts on the height asked for, to the pixel: tick counts
    // and label rows are worked out from it.
    const std::pair<const char*, int> fonts[] = {
        {"Arial", 13}, {"Times New Roman", 18}, {"Times New Roman", 22}, {"Times New Roman", 40}};
    for (const auto& [face, height] : fonts) {
        const TextExtent extent = dc.MeasureText(ChartFont{face, height, 400}, "Avg: 50.00");
        EXPECT_EQ(extent.Height, height) << face << " " << height;
        EXPECT_GT(extent.Width, height * 2);
    }
    // Bold measures wider than thin.
    EXPECT_GT(dc.MeasureText(ChartFont{"Arial", 14, 700}, "Inches").Width,
              dc.MeasureText(ChartFont{"Arial", 14, 100}, "Inches").Width);
    const DeviceCaps caps = dc.Caps();
    EXPECT_EQ(caps.WidthPixels, 10);
    EXPECT_FALSE(caps.IsMonochrome());
}

class ClickRecorder : public QWidget {
  public:
    void mousePressEvent(QMouseEvent* event) override {
        ++presses;
        where = event->position().toPoint();
        button = event->button();
    }
    int presses = 0;
    QPoint where;
    Qt::MouseButton button = Qt::NoButton;
};

TEST(ChartWindow, WhileDisabledClicksReachTheParent) {
    testing::TestApplication();
    ClickRecorder view;
    view.resize(400, 300);
    auto* chart = new XGraphWidget(&view);
    chart->setGeometry(0, 0, 400, 300);
    chart->setEnabled(false);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    QTest::mouseClick(view.windowHandle(), Qt::LeftButton, {}, QPoint(120, 80));
    EXPECT_EQ(view.presses, 1);
    EXPECT_EQ(view.where, QPoint(120, 80));
    QTest::mouseClick(view.windowHandle(), Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(view.presses, 2);
    EXPECT_EQ(view.button, Qt::RightButton);

    // An enabled chart keeps the clicks to itself.
    chart->setEnabled(true);
    QTest::mouseClick(view.windowHandle(), Qt::LeftButton, {}, QPoint(120, 80));
    EXPECT_EQ(view.presses, 2);
}

}  // namespace
}  // namespace orvik
