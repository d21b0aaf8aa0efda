#include <QImage>

#include <gtest/gtest.h>

#include "chart/gui/tools/sample_chart.h"
#include "chart/gui/xgraph_widget.h"
#include "chart/xgraph_label.h"
#include "qt_test_application.h"

namespace orvik {
namespace {

using testing::CountColour;

constexpr int kScale = 4;  // 384 dpi against the 96-dpi screen

QRgb Rgb(ChartColour colour) {
    return qRgb(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

// The trace graph on screen and printed at four times the resolution, on a
// page that holds the same logical size.
class PrintScale : public testing::WidgetTest {
  protected:
    void SetUp() override {
        trace = samples::MakeSampleTrace();
        samples::SetUpGraphViewChart(chart, trace);
        screen = chart.Render(QSize(600, 450));
        page = QImage(600 * kScale, 450 * kScale, QImage::Format_RGB32);
        page.setDotsPerMeterX(15118);
        page.setDotsPerMeterY(15118);
        chart.PrintTo(page);
    }

    // The inside of the upper limit band, away from its outline, in logical
    // pixels.
    QRect InsideUpperBand() {
        const AxisMapping x = chart.XAxisAt(0).Mapping();
        const AxisMapping y = chart.YAxisAt(0).Mapping();
        return QRect(QPoint(x.Map(4.0) + 3, chart.PlotRect().top + 3),
                     QPoint(x.Map(7.0) - 3, y.Map(55.0) - 3));
    }

    samples::SampleTrace trace;
    XGraphWidget chart;
    QImage screen;
    QImage page;
};

double Share(const QImage& image, const QRect& rect, QRgb colour) {
    return static_cast<double>(CountColour(image, rect, colour)) / (rect.width() * rect.height());
}

TEST_F(PrintScale, LimitBandHatchCoversAsMuchPaperAsScreen) {
    const QRect band = InsideUpperBand();
    ASSERT_GT(band.width(), 40);
    ASSERT_GT(band.height(), 40);
    const QRect printed(band.topLeft() * kScale, band.size() * kScale);
    const double onScreen = Share(screen, band, Rgb(kLimitBandColour));
    const double onPaper = Share(page, printed, Rgb(kLimitBandColour));
    EXPECT_GT(onScreen, 0.06);
    // Hairlines would cover a quarter of what the screen shows.
    EXPECT_GT(onPaper, onScreen * 0.7) << onScreen;
    EXPECT_LT(onPaper, onScreen * 1.6) << onScreen;
}

// Black pixels of a row (or column) from just past the arrow's centre line
// outwards: half the arrowhead's width there.
int HalfWidth(const QImage& image, int centre, int across, bool row) {
    int count = 0;
    for (int i = 1; i <= 6 * kScale; ++i) {
        const QPoint at = row ? QPoint(centre + i, across) : QPoint(across, centre - i);
        count += (image.pixel(at) & 0xFFFFFF) == 0 ? 1 : 0;
    }
    return count;
}

TEST_F(PrintScale, ArrowheadsAreTrianglesScaledWithThePage) {
    const CXGraphAxis& y = chart.YAxisAt(0);
    const int arrow = y.ArrowSize * kScale;
    ASSERT_EQ(arrow, 20);
    // The Y arrow points up from the axis' top: it widens by a pixel on each
    // side for every pixel down, as on screen, without steps.
    const int yTip = (y.OriginY - y.Length - y.ArrowSize) * kScale;
    const int yCentre = y.OriginX * kScale;
    for (int d = 2; d < arrow - 1; ++d) {
        EXPECT_NEAR(HalfWidth(page, yCentre, yTip + d, true), d, 2) << d;
    }
    EXPECT_EQ(HalfWidth(page, yCentre, yTip - 3, true), 0);
    // The X arrow points right; its lower half would meet the last label.
    const CXGraphAxis& x = chart.XAxisAt(0);
    const int xTip = (chart.PlotRect().left + x.Length + x.ArrowSize) * kScale;
    const int xCentre = x.OriginY * kScale;
    for (int d = 2; d < arrow - 1; ++d) {
        EXPECT_NEAR(HalfWidth(page, xCentre, xTip - d, false), d, 2) << d;
    }
}

// The summary's letters are outlined: on paper the hatch of a limit band
// under them stops short of every letter instead of running through it.
TEST_F(PrintScale, HatchStopsShortOfTheLettersOnPaper) {
    for (const auto& object : chart.Objects()) {
        dynamic_cast<CXGraphLabel&>(*object).Text.clear();
    }
    QImage bare(page.size(), page.format());
    bare.setDotsPerMeterX(page.dotsPerMeterX());
    bare.setDotsPerMeterY(page.dotsPerMeterY());
    chart.PrintTo(bare);
    const QRect band = InsideUpperBand();
    const QRect printed(band.topLeft() * kScale, band.size() * kScale);
    int hatch = 0;
    int erased = 0;
    for (int y = printed.top(); y <= printed.bottom(); ++y) {
        for (int x = printed.left(); x <= printed.right(); ++x) {
            if ((bare.pixel(x, y) & 0xFFFFFF) == (Rgb(kLimitBandColour) & 0xFFFFFF)) {
                ++hatch;
                erased += (page.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
            }
        }
    }
    ASSERT_GT(hatch, 1000);
    EXPECT_GT(erased, 200) << "of " << hatch << " hatch pixels";
}

// On the grey screen no pixel of the red "FAIL" touches the grey: a dark
// edge runs round every letter.
TEST_F(PrintScale, FailVerdictIsOutlinedOnTheGrey) {
    samples::SampleTrace failing = trace;
    failing.Figures.Passed = false;
    samples::SetUpGraphViewChart(chart, failing);
    const QImage shown = chart.Render(QSize(600, 450));
    const QRgb red = Rgb(kVerdictFailColour) & 0xFFFFFF;
    const QRgb grey = Rgb(kTraceChartGrey) & 0xFFFFFF;
    const QRect verdict(55, 145, 345, 45);
    int letters = 0;
    int touching = 0;
    for (int y = verdict.top(); y <= verdict.bottom(); ++y) {
        for (int x = verdict.left(); x <= verdict.right(); ++x) {
            if ((shown.pixel(x, y) & 0xFFFFFF) != red) {
                continue;
            }
            ++letters;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    touching += (shown.pixel(x + dx, y + dy) & 0xFFFFFF) == grey ? 1 : 0;
                }
            }
        }
    }
    ASSERT_GT(letters, 100);
    EXPECT_EQ(touching, 0) << "of " << letters << " red pixels";
}

}  // namespace
}  // namespace orvik
