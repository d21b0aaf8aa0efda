// Renders the sample chart and tree to PNG files so that a person can look
// at them:
//   orvik-chart-samples [FOLDER]
// creates FOLDER when needed and writes sample_chart.png (the window at
// 1000 x 700), sample_chart_print.png (printed to a 2-colour, 150-dpi page),
// sample_chart.pdf (printed in colour at 600 dpi; `pdftoppm -r 100 -png`
// turns it into a picture) and sample_tree.png.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QPrinter>

#include <cstdio>
#include <string>

#include "base/c_numbers.h"
#include "chart/gui/tools/sample_chart.h"
#include "chart/gui/tools/sample_tree_widget.h"
#include "chart/gui/xgraph_widget.h"

namespace {

bool Save(const QImage& image, const QString& path) {
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
        return false;
    }
    std::printf("%s\n", path.toLocal8Bit().constData());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    orvik::UseCNumericLocale();  // the samples' numbers as the program writes them
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create the folder %s\n", folder.toLocal8Bit().constData());
        return 1;
    }

    const orvik::samples::SampleTrace trace = orvik::samples::MakeSampleTrace();
    orvik::XGraphWidget chart;
    orvik::samples::SetUpGraphViewChart(chart, trace);
    chart.setEnabled(false);
    bool ok = Save(chart.Render(QSize(1000, 700)), folder + "/sample_chart.png");

    // A page of 8 x 5.5 inches at 150 dpi on a black-and-white printer,
    // with the white backgrounds the graph view prints with.
    QImage page(1200, 825, QImage::Format_Mono);
    page.setDotsPerMeterX(5906);
    page.setDotsPerMeterY(5906);
    page.fill(1);
    chart.BackColour = chart.GraphColour = chart.PlotColour = orvik::kWhite;
    chart.PrintTo(page);
    ok = Save(page, folder + "/sample_chart_print.png") && ok;

    QPrinter printer(QPrinter::HighResolution);
    printer.setResolution(600);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageOrientation(QPageLayout::Landscape);
    const QString pdf = folder + "/sample_chart.pdf";
    printer.setOutputFileName(pdf);
    if (chart.PrintTo(printer)) {
        std::printf("%s\n", pdf.toLocal8Bit().constData());
    } else {
        std::fprintf(stderr, "cannot write %s\n", pdf.toLocal8Bit().constData());
        ok = false;
    }

    orvik::VividTree tree;
    orvik::samples::FillSampleTree(tree);
    tree.resize(250, 330);
    tree.show();
    tree.activateWindow();
    tree.setFocus();
    QApplication::processEvents();
    ok = Save(tree.grab().toImage(), folder + "/sample_tree.png") && ok;
    return ok ? 0 : 1;
}
