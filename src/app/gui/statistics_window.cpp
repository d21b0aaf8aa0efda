#include "app/gui/statistics_window.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/statistics_appendix.h"
#include "base/c_numbers.h"
#include "chart/gui/xgraph_widget.h"
#include "results/results_store.h"
#include "results/text_encoding.h"

namespace orvik {
namespace {

using results::TestStatistics;

constexpr ChartColour kDataColour = RgbColour(0, 0, 160);
constexpr ChartColour kLimitColour = RgbColour(200, 0, 0);
constexpr ChartColour kCentreColour = RgbColour(0, 128, 0);
constexpr ChartColour kViolationColour = RgbColour(230, 0, 0);

// The report's table, and beside it why a figure is missing.
QStringList Columns() {
    QStringList columns;
    for (const std::string& column : StatisticsColumns()) {
        columns << QString::fromStdString(column);
    }
    return columns << "Not computable";
}

// The chart a test is drawn in: white, a legend on the right, grid lines.
XGraphWidget* NewChart() {
    auto* chart = new XGraphWidget;
    chart->setMinimumSize(300, 260);
    chart->ShowLegend = false;  // until a test fills it
    return chart;
}

void StyleAxes(CXGraph& chart, const char* xTitle, const char* yTitle, const char* yFormat) {
    chart.XAxisAt(0).Title = xTitle;
    chart.YAxisAt(0).Title = yTitle;
    chart.YAxisAt(0).Format = yFormat;
    chart.XAxisAt(0).Format = "%.6g";
    for (CXGraphAxis* axis : {&chart.XAxisAt(0), &chart.YAxisAt(0)}) {
        axis->ShowCurveMarkers = false;
    }
}

CXGraphDataSerie* AddCurve(CXGraph& chart, const std::vector<CurvePoint>& points, const char* label,
                           ChartColour colour) {
    CXGraphDataSerie* curve = chart.SetCurveData(points.data(), static_cast<int>(points.size()),
                                                 chart.CurveCount(), 0, 0, true);
    if (curve != nullptr) {
        curve->Label = label;
        curve->Colour = colour;
    }
    return curve;
}

std::vector<CurvePoint> Level(double y, double from, double to) {
    return {{from, y}, {to, y}};
}

// The individuals in measuring order, the centre line, the control limits
// and the points that break a rule.
void FillControlChart(CXGraph& chart, const std::vector<double>& values,
                      const results::IndividualsChart& control) {
    std::vector<CurvePoint> points;
    for (std::size_t i = 0; i < values.size(); ++i) {
        points.push_back({static_cast<double>(i + 1), values[i]});
    }
    if (CXGraphDataSerie* curve = AddCurve(chart, points, "Average", kDataColour)) {
        curve->ShowMarkers = points.size() <= 200;
        curve->MarkerMode = 1;
        curve->MarkerSymbol = 1;
        curve->MarkerSize = 5;
    }
    const double last = static_cast<double>(values.size());
    AddCurve(chart, Level(control.Centre, 1.0, last), "Mean", kCentreColour);
    AddCurve(chart, Level(control.Upper, 1.0, last), "UCL", kLimitColour);
    AddCurve(chart, Level(control.Lower, 1.0, last), "LCL", kLimitColour);
    std::vector<CurvePoint> flagged;
    for (const results::RuleViolation& v : control.Violations) {
        flagged.push_back(points[v.Index]);
    }
    if (CXGraphDataSerie* marks = AddCurve(chart, flagged, "Rule broken", kViolationColour)) {
        marks->DrawStyle = kDrawDots;
        marks->LineWidth = 4;
    }
    chart.ShowLegend = true;
    StyleAxes(chart, "Measurement", "Ohms", "%.6g");
}

// The moving ranges (from the second measurement on), their mean and upper
// limit, and the ranges beyond it.
void FillRangeChart(CXGraph& chart, const std::vector<double>& values,
                    const results::IndividualsChart& control) {
    std::vector<CurvePoint> ranges;
    std::vector<CurvePoint> beyond;
    for (std::size_t i = 1; i < values.size(); ++i) {
        ranges.push_back({static_cast<double>(i + 1), std::fabs(values[i] - values[i - 1])});
        if (ranges.back().Y > control.MovingRangeUpper) {
            beyond.push_back(ranges.back());
        }
    }
    AddCurve(chart, ranges, "Moving range", kDataColour);
    const double last = static_cast<double>(values.size());
    AddCurve(chart, Level(control.MeanMovingRange, 2.0, last), "Mean", kCentreColour);
    AddCurve(chart, Level(control.MovingRangeUpper, 2.0, last), "UCL", kLimitColour);
    if (CXGraphDataSerie* marks = AddCurve(chart, beyond, "Beyond", kViolationColour)) {
        marks->DrawStyle = kDrawDots;
        marks->LineWidth = 4;
    }
    chart.ShowLegend = true;
    StyleAxes(chart, "Measurement", "Ohms", "%.6g");
}

// The Since field: empty for every date, else a day ("2026-12-08") or a
// moment ("2026-12-08T14:30", seconds and a Z allowed), in UTC as the
// database keeps its times. Nothing when the text is neither.
std::optional<std::optional<std::int64_t>> SinceOf(const QString& field) {
    const QString text = field.trimmed();
    if (text.isEmpty()) {
        return std::optional<std::int64_t>();
    }
    // A day alone, or a day and a time (Qt reads the day of either as a day).
    const QDateTime time =
        text.contains('T')
            ? QDateTime::fromString(text.endsWith('Z') ? text : text + 'Z', Qt::ISODate)
            : QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0), Qt::UTC);
    if (!time.isValid()) {
        return std::nullopt;
    }
    return std::optional<std::int64_t>(time.toSecsSinceEpoch());
}

}  // namespace

StatisticsWindow::StatisticsWindow(const results::ResultsLocation& location, QWidget* parent)
    : StatisticsWindow(
          [location](results::Abandon abandon) {
              results::StoreProblem problem = results::StoreProblem::None;
              return results::OpenResultsStore(location, problem, abandon);
          },
          parent) {}

StatisticsWindow::StatisticsWindow(StoreOpener opener, QWidget* parent)
    : QWidget(parent, Qt::Window), opener_(std::move(opener)) {
    setWindowTitle("Statistics");
    auto* job = new QLabel("&Job:");
    job_ = new QLineEdit;
    job->setBuddy(job_);
    auto* test = new QLabel("&Test:");
    test_ = new QLineEdit;
    test_->setPlaceholderText("every test");
    test->setBuddy(test_);
    auto* since = new QLabel("&Since:");
    since_ = new QLineEdit;
    since_->setPlaceholderText("any date");
    since_->setToolTip("The first day (YYYY-MM-DD) or moment (YYYY-MM-DDTHH:MM) to take in, UTC");
    since->setBuddy(since_);
    auto* refresh = new QPushButton("&Refresh");
    status_ = new QLabel;
    auto* fields = new QHBoxLayout;
    for (QWidget* widget :
         std::initializer_list<QWidget*>{job, job_, test, test_, since, since_, refresh}) {
        fields->addWidget(widget);
    }
    fields->addWidget(status_, 1);

    table_ = new QTableWidget(0, static_cast<int>(Columns().size()));
    table_->setHorizontalHeaderLabels(Columns());
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();

    histogram_ = NewChart();
    control_ = NewChart();
    ranges_ = NewChart();
    auto* charts = new QSplitter(Qt::Horizontal);
    charts->setObjectName("charts");
    charts->addWidget(histogram_);
    charts->addWidget(control_);
    charts->addWidget(ranges_);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(table_);
    split->addWidget(charts);
    split->setSizes({180, 520});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(split, 1);
    resize(1300, 760);

    connect(refresh, &QPushButton::clicked, this, &StatisticsWindow::Refresh);
    connect(job_, &QLineEdit::returnPressed, this, &StatisticsWindow::Refresh);
    connect(test_, &QLineEdit::returnPressed, this, &StatisticsWindow::Refresh);
    connect(since_, &QLineEdit::returnPressed, this, &StatisticsWindow::Refresh);
    new QShortcut(QKeySequence::Refresh, this, [this] { Refresh(); });
    new QShortcut(QKeySequence::Close, this, [this] { close(); });
    connect(table_, &QTableWidget::currentCellChanged, this, [this](int row) { ShowTest(row); });
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &StatisticsWindow::MeasurementsArrived);
    timer_->start();
    status_->setText("Name a job and press Enter.");
}

StatisticsWindow::~StatisticsWindow() {
    // The worker delivers to this window; it ends before the window does,
    // giving up a wait for a database that does not answer.
    closing_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void StatisticsWindow::SetSelection(const QString& job, const QString& test, const QString& since) {
    job_->setText(job);
    test_->setText(test);
    since_->setText(since);
    Refresh();
}

void StatisticsWindow::MeasurementsArrived() {
    if (isVisible() && !job_->text().trimmed().isEmpty()) {
        Refresh();
    }
}

QString StatisticsWindow::StatusText() const {
    return status_->text();
}

void StatisticsWindow::Refresh() {
    if (computing_) {
        again_ = true;
        return;
    }
    if (job_->text().trimmed().isEmpty()) {
        status_->setText("Name a job and press Enter.");
        return;
    }
    const auto since = SinceOf(since_->text());
    if (!since) {
        status_->setText("Write the Since date as YYYY-MM-DD, or YYYY-MM-DDTHH:MM (UTC).");
        return;
    }
    Start(*since);
}

void StatisticsWindow::Start(std::optional<std::int64_t> since) {
    if (worker_.joinable()) {
        worker_.join();  // finished: it has handed its outcome over
    }
    computing_ = true;
    status_->setText("Reading the results database...");
    results::MeasurementFilter filter;
    filter.Job = job_->text().trimmed().toStdString();
    if (!test_->text().trimmed().isEmpty()) {
        filter.Test = test_->text().trimmed().toStdString();
    }
    filter.Since = since;
    worker_ = std::thread([this, filter, retired = std::move(retired_)] {
        Outcome outcome;
        auto store = opener_(&closing_);
        auto selection = store ? (*store)->QuerySummaries(filter)
                               : Result<std::vector<results::MeasurementSummary>>(store.Error());
        if (selection) {
            outcome.tests = results::StatisticsPerTest(*selection);
            outcome.selection = std::move(*selection);
            Prepare(outcome);
        } else {
            outcome.failure = selection.Error().Message;
        }
        QMetaObject::invokeMethod(
            this, [this, outcome = std::move(outcome)]() mutable { Show(std::move(outcome)); },
            Qt::QueuedConnection);
    });
}

// Everything the charts need, made here so that the window thread only
// draws: each test's averages and their histogram.
void StatisticsWindow::Prepare(Outcome& outcome) {
    for (const TestStatistics& test : outcome.tests) {
        std::vector<double>& values = outcome.values.emplace_back();
        values.reserve(test.Points.size());
        for (const std::size_t place : test.Points) {
            values.push_back(outcome.selection[place].Average);
        }
        std::optional<HistogramData>& histogram = outcome.histograms.emplace_back();
        if (!values.empty()) {
            histogram =
                StatisticsHistogram(test, values, outcome.selection[test.Points.front()].Target);
        }
    }
}

void StatisticsWindow::Show(Outcome outcome) {
    computing_ = false;
    if (!outcome.failure.empty()) {
        status_->setText(QString::fromStdString(outcome.failure));
    } else {
        const QString chosen = table_->currentRow() >= 0 && table_->item(table_->currentRow(), 0)
                                   ? table_->item(table_->currentRow(), 0)->text()
                                   : QString();
        retired_.push_back(std::move(shown_));
        shown_ = std::move(outcome);
        status_->setText(QString("%1 measurements, %2 tests")
                             .arg(shown_.selection.size())
                             .arg(shown_.tests.size()));
        const QSignalBlocker quiet(table_);
        table_->setRowCount(static_cast<int>(shown_.tests.size()));
        int keep = shown_.tests.empty() ? -1 : 0;
        for (int row = 0; row < table_->rowCount(); ++row) {
            const TestStatistics& test = shown_.tests[static_cast<std::size_t>(row)];
            QStringList texts;
            for (const std::string& cell : StatisticsCells(test)) {
                texts << QString::fromStdString(cell);
            }
            texts << QString::fromStdString(test.Figures.NotComputable.value_or(""));
            for (int column = 0; column < texts.size(); ++column) {
                table_->setItem(row, column, new QTableWidgetItem(texts[column]));
            }
            if (texts[0] == chosen) {
                keep = row;
            }
        }
        table_->resizeColumnsToContents();
        table_->setCurrentCell(keep, 0);
        ShowTest(keep);
    }
    emit Computed();
    if (again_) {
        again_ = false;
        Refresh();
    }
}

std::optional<std::size_t> StatisticsWindow::PointNear(QPoint place) const {
    if (shownTest_ < 0 || control_->CurveCount() == 0) {
        return std::nullopt;
    }
    constexpr int kReach = 6;  // pixels
    const AxisMapping x = control_->XAxisAt(0).Mapping();
    const AxisMapping y = control_->YAxisAt(0).Mapping();
    const CXGraphDataSerie& points = control_->CurveAt(0);
    const TestStatistics& test = shown_.tests[static_cast<std::size_t>(shownTest_)];
    std::optional<std::size_t> nearest;
    int best = kReach * kReach + 1;
    for (int i = 0; i < points.Count(); ++i) {
        const CurvePoint point = points.PointAt(i);
        const int dx = x.Map(point.X) - place.x();
        const int dy = y.Map(point.Y) - place.y();
        if (dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            nearest = test.Points[static_cast<std::size_t>(i)];
        }
    }
    return nearest;
}

bool StatisticsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == control_ && event->type() == QEvent::MouseButtonPress) {
        if (const auto place = PointNear(static_cast<QMouseEvent*>(event)->position().toPoint())) {
            Choose(*place);
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Names the measurement and opens its collection when the file is here.
void StatisticsWindow::Choose(std::size_t place) {
    const results::MeasurementSummary& m = shown_.selection[place];
    QString text =
        QString("Coupon %1, trace %2")
            .arg(QString::fromStdString(m.Coupon.value_or("-")), QString::fromStdString(m.Name));
    const QString file = QString::fromStdString(m.CollectionFile);
    if (!file.isEmpty()) {
        text += QFileInfo::exists(file) ? ", in " + file : ", filed in " + file + " (not here)";
    }
    status_->setText(text);
    if (!file.isEmpty() && QFileInfo::exists(file)) {
        emit OpenCollectionAsked(file);
    }
}

void StatisticsWindow::ShowTest(int row) {
    // A fresh chart for each test: a chart's curves and ranges only grow.
    auto* splitter = findChild<QSplitter*>("charts");
    auto* histogram = NewChart();
    auto* control = NewChart();
    auto* ranges = NewChart();
    if (row >= 0 && row < static_cast<int>(shown_.tests.size())) {
        const auto at = static_cast<std::size_t>(row);
        const TestStatistics& test = shown_.tests[at];
        const std::vector<double>& values = shown_.values[at];
        if (shown_.histograms[at]) {
            FillHistogramChart(*histogram, *shown_.histograms[at]);
        }
        if (test.Chart) {
            FillControlChart(*control, values, *test.Chart);
            FillRangeChart(*ranges, values, *test.Chart);
        }
    }
    delete splitter->replaceWidget(0, histogram);
    delete splitter->replaceWidget(1, control);
    delete splitter->replaceWidget(2, ranges);
    ranges_ = ranges;
    histogram_ = histogram;
    control_ = control;
    control_->installEventFilter(this);
    shownTest_ = row < static_cast<int>(shown_.tests.size()) ? row : -1;
}

}  // namespace orvik
