#include "report/gui/appendix_painting.h"

#include <QFontMetrics>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>

#include "chart/gui/painter_context_widget.h"
#include "chart/xgraph.h"

namespace orvik {
namespace {

// Where the table's columns begin, in inches from the left margin.
// The last ends on A4 as on Letter, within the right margin.
constexpr double kColumnInches[] = {0.0, 0.75, 1.85, 2.3, 2.9, 3.5, 4.1, 4.7, 5.3, 5.75, 6.2};
constexpr double kLeftInches = 0.75;
constexpr double kTopInches = 0.5;
constexpr double kBottomInches = 0.5;
constexpr double kRightInches = 0.5;
constexpr double kChartWidthInches = 3.4;
constexpr double kChartHeightInches = 2.3;
constexpr int kChartDpi = 200;

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QFont PageFont(double points, bool bold = false) {
    QFont font("Liberation Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The histogram drawn by the chart component into an image of the chart's
// size at a printable resolution, laid out as on a 96 dpi screen.
QImage HistogramImage(const HistogramData& histogram) {
    CXGraph chart;
    FillHistogramChart(chart, histogram);
    QImage image(static_cast<int>(kChartWidthInches * kChartDpi),
                 static_cast<int>(kChartHeightInches * kChartDpi), QImage::Format_RGB32);
    const int dotsPerMeter = static_cast<int>(kChartDpi / 0.0254 + 0.5);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    QPainter painter(&image);
    PainterDeviceContext dc(painter);
    chart.PrintTo(dc, 96.0, 96.0);
    return image;
}

// Draws one run, ending pages on the device when the histograms need more.
class AppendixPainter {
  public:
    AppendixPainter(QPagedPaintDevice& device, QPainter& painter)
        : device_(device),
          painter_(painter),
          dpiX_(device.logicalDpiX()),
          dpiY_(device.logicalDpiY()),
          left_(Inch(kLeftInches)),
          bottom_(device.height() - static_cast<int>(kBottomInches * dpiY_)) {}

    void Paint(const StatisticsAppendixPage& page) {
        device_.newPage();
        y_ = static_cast<int>(kTopInches * dpiY_);
        Line(Text(page.Title), PageFont(12.0, true));
        Line(Text(page.RunLine), PageFont(9.0));
        y_ += Gap();
        if (!page.Note.empty()) {
            Line(Text(page.Note), PageFont(9.0));
            return;
        }
        Row(page.Columns, PageFont(8.0, true));
        for (const AppendixTest& test : page.Tests) {
            Row(test.Cells, PageFont(8.0));
        }
        y_ += Gap();
        for (const AppendixTest& test : page.Tests) {
            if (!test.NotComputable.empty()) {
                Line(Text(test.Cells.front() + ": " + test.NotComputable), PageFont(8.0));
            }
        }
        Histograms(page);
    }

  private:
    int Inch(double inches) const { return static_cast<int>(inches * dpiX_); }
    int Gap() const { return static_cast<int>(0.15 * dpiY_); }

    void Line(const QString& text, const QFont& font) {
        painter_.setFont(font);
        const QFontMetrics metrics(font, &device_);
        const int room = device_.width() - left_ - Inch(kRightInches);
        painter_.drawText(left_, y_ + metrics.ascent(),
                          metrics.elidedText(text, Qt::ElideRight, room));
        y_ += metrics.lineSpacing();
    }

    void Row(const std::vector<std::string>& cells, const QFont& font) {
        painter_.setFont(font);
        const QFontMetrics metrics(font, &device_);
        const std::size_t count = std::min(cells.size(), std::size(kColumnInches));
        for (std::size_t i = 0; i < count; ++i) {
            const int x = left_ + Inch(kColumnInches[i]);
            const int next = i + 1 < std::size(kColumnInches)
                                 ? left_ + Inch(kColumnInches[i + 1])
                                 : device_.width() - Inch(kRightInches);
            const int room = next - x - metrics.horizontalAdvance(' ');
            painter_.drawText(x, y_ + metrics.ascent(),
                              metrics.elidedText(Text(cells[i]), Qt::ElideRight, room));
        }
        y_ += metrics.lineSpacing();
    }

    // Two histograms side by side, each under the name of its test.
    void Histograms(const StatisticsAppendixPage& page) {
        const QFont caption = PageFont(8.0, true);
        const QFontMetrics metrics(caption, &device_);
        const int width = Inch(kChartWidthInches);
        const int height = static_cast<int>(kChartHeightInches * dpiY_);
        const int cell = metrics.lineSpacing() + height + Gap();
        int column = 0;
        for (const AppendixTest& test : page.Tests) {
            if (!test.Histogram) {
                continue;
            }
            if (column == 0 && y_ + cell > bottom_) {
                device_.newPage();
                y_ = static_cast<int>(kTopInches * dpiY_);
            }
            const int x = left_ + column * (width + Inch(0.2));
            painter_.setFont(caption);
            painter_.drawText(x, y_ + metrics.ascent(),
                              Text("Test " + test.Cells[0] + " (" + test.Cells[1] + ")"));
            painter_.drawImage(QRect(x, y_ + metrics.lineSpacing(), width, height),
                               HistogramImage(*test.Histogram));
            column = (column + 1) % 2;
            y_ += column == 0 ? cell : 0;
        }
    }

    QPagedPaintDevice& device_;
    QPainter& painter_;
    double dpiX_;
    double dpiY_;
    int left_;
    int bottom_;
    int y_ = 0;
};

}  // namespace

void PaintStatisticsAppendix(QPagedPaintDevice& device, QPainter& painter,
                             std::span<const StatisticsAppendixPage> pages) {
    painter.save();
    AppendixPainter appendix(device, painter);
    for (const StatisticsAppendixPage& page : pages) {
        appendix.Paint(page);
    }
    painter.restore();
}

}  // namespace orvik
