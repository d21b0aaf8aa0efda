#pragma once

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "report/statistics_appendix.h"
#include "results/job_statistics.h"
#include "results/results_location.h"
#include "results/results_store.h"

class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

namespace orvik {

class XGraphWidget;

// Action > Statistics: the lot statistics of a job's tests from the results
// database — the table per test, the histogram of the chosen test against
// its limits and its individuals chart with the rule violations marked. The
// database is read and the figures computed on a thread of their own, so the
// window answers while a large job is worked through; it refreshes itself
// while shown, to follow the measurements being recorded.
class StatisticsWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kRefreshMs = 10000;

    // Opens the database, on the worker thread, each time the figures are
    // made; a wait for the database gives up when `abandon` is set (the
    // window closing).
    using StoreOpener =
        std::function<Result<std::unique_ptr<results::ResultsStore>>(results::Abandon abandon)>;

    explicit StatisticsWindow(const results::ResultsLocation& location, QWidget* parent = nullptr);
    explicit StatisticsWindow(StoreOpener opener, QWidget* parent = nullptr);
    ~StatisticsWindow() override;

    // Reads the job (and test, and from when) the fields name again; a
    // refresh asked for while one is under way follows it.
    void Refresh();
    void SetSelection(const QString& job, const QString& test = {}, const QString& since = {});
    // New measurements reached the database: read again while shown.
    void MeasurementsArrived();
    bool IsComputing() const { return computing_; }

    QTableWidget& Table() { return *table_; }
    XGraphWidget& Histogram() { return *histogram_; }
    XGraphWidget& ControlChart() { return *control_; }
    XGraphWidget& RangeChart() { return *ranges_; }
    QString StatusText() const;

    // The measurement whose point of the individuals chart is nearest to a
    // place in the chart (within a few pixels): its place in the selection.
    std::optional<std::size_t> PointNear(QPoint place) const;

  signals:
    void Computed();
    // A point was clicked whose collection file is at hand.
    void OpenCollectionAsked(const QString& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // What the worker hands over: the selection, per test its figures,
    // its averages in measuring order and their histogram, or the failure.
    struct Outcome {
        std::vector<results::MeasurementSummary> selection;
        std::vector<results::TestStatistics> tests;
        std::vector<std::vector<double>> values;
        std::vector<std::optional<HistogramData>> histograms;
        std::string failure;
    };

    void Start(std::optional<std::int64_t> since);
    static void Prepare(Outcome& outcome);
    void Show(Outcome outcome);
    void ShowTest(int row);
    void Choose(std::size_t place);

    StoreOpener opener_;
    QLineEdit* job_ = nullptr;
    QLineEdit* test_ = nullptr;
    QLineEdit* since_ = nullptr;
    QLabel* status_ = nullptr;
    QTableWidget* table_ = nullptr;
    XGraphWidget* histogram_ = nullptr;
    XGraphWidget* control_ = nullptr;
    XGraphWidget* ranges_ = nullptr;
    QTimer* timer_ = nullptr;
    Outcome shown_;
    // Outcomes no longer shown, freed by the next worker rather than by the
    // window thread (a large job's selection takes a while to free).
    std::vector<Outcome> retired_;
    int shownTest_ = -1;
    bool computing_ = false;
    bool again_ = false;
    std::atomic<bool> closing_{false};
    std::thread worker_;
};

}  // namespace orvik
