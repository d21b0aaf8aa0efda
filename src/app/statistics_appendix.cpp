#include "app/statistics_appendix.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "base/c_numbers.h"

namespace orvik {
namespace {

std::string Figure(const std::optional<double>& value, const char* format) {
    return value ? FormatC(format, *value) : std::string("-");
}

std::string UtcMinute(std::int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
    return text;
}

std::string RunLine(const results::ScriptRunInfo& run) {
    return "Job " + run.Job + ", script \"" + run.Script + "\", customer " + run.Customer +
           ", operator " + run.Operator + ", station " + run.StationId + ", started " +
           UtcMinute(run.Started);
}

// A scripted run of the collection, and the first of its traces there.
struct CollectionRun {
    results::ScriptRunInfo Run;
    std::string FirstUuid;
};

// The runs of the items, each once, in the order their traces come.
std::vector<CollectionRun> RunsOf(results::ItemSpan items) {
    std::vector<CollectionRun> runs;
    for (const results::Measurement& m : results::MeasurementsOf(items, {})) {
        if (m.Run && std::find_if(runs.begin(), runs.end(), [&](const CollectionRun& known) {
                         return known.Run == *m.Run;
                     }) == runs.end()) {
            runs.push_back({*m.Run, m.Uuid});
        }
    }
    return runs;
}

// The run as the database keeps it. A run starts with its first trace: when
// that was deleted from the collection after it was stored, the collection
// now names a later start, and the stored run is found through the first
// trace the collection still has.
results::ScriptRunInfo StoredRun(results::ResultsStore& store, const CollectionRun& run) {
    results::MeasurementFilter first;
    first.Uuid = run.FirstUuid;
    const auto found = store.Query(first);
    if (found && !found->empty() && found->front().Run) {
        return *found->front().Run;
    }
    return run.Run;
}

void FillPage(StatisticsAppendixPage& page, results::ResultsStore& store,
              const results::ScriptRunInfo& run) {
    results::MeasurementFilter filter;
    filter.Job = run.Job;
    filter.Script = run.Script;
    filter.RunStarted = run.Started;
    const auto selection = store.QuerySummaries(filter);
    if (!selection) {
        page.Note = "The results database could not be read: " + selection.Error().Message;
        return;
    }
    if (selection->empty()) {
        page.Note = "The results database holds no measurements of this run.";
        return;
    }
    page.Columns = StatisticsColumns();
    for (const results::TestStatistics& test : results::StatisticsPerTest(*selection)) {
        AppendixTest shown;
        shown.Cells = StatisticsCells(test);
        shown.NotComputable = test.Figures.NotComputable.value_or("");
        std::vector<double> values;
        for (const std::size_t place : test.Points) {
            values.push_back((*selection)[place].Average);
        }
        if (!values.empty()) {
            shown.Histogram =
                StatisticsHistogram(test, values, (*selection)[test.Points.front()].Target);
        }
        page.Tests.push_back(std::move(shown));
    }
}

}  // namespace

const std::vector<std::string>& StatisticsColumns() {
    static const std::vector<std::string> columns = {
        "Test", "Criterion", "n", "Mean", "SD", "Min", "Max", "Yield", "Cp", "Cpk", "Violations"};
    return columns;
}

std::vector<std::string> StatisticsCells(const results::TestStatistics& test) {
    const results::LotFigures& figures = test.Figures;
    return {test.Test.value_or("(none)"),
            test.Criterion.value_or("(several)"),
            std::to_string(test.Count),
            Figure(figures.Mean, "%.3f"),
            Figure(figures.Deviation, "%.4f"),
            Figure(figures.Minimum, "%.3f"),
            Figure(figures.Maximum, "%.3f"),
            FormatC("%.1f %%", test.Yield * 100.0),
            Figure(figures.Cp, "%.2f"),
            Figure(figures.Cpk, "%.2f"),
            std::to_string(test.Chart ? test.Chart->Violations.size() : 0)};
}

HistogramData StatisticsHistogram(const results::TestStatistics& test,
                                  std::span<const double> values, double target) {
    if (!test.Limits) {
        return HistogramOf(values, std::nullopt, std::nullopt, std::nullopt);
    }
    return HistogramOf(values, test.Limits->Lower, test.Limits->Upper, target);
}

std::vector<StatisticsAppendixPage> StatisticsAppendix(results::ItemSpan items,
                                                       const ResultsStoreOpener& open) {
    const std::vector<CollectionRun> runs = RunsOf(items);
    std::vector<StatisticsAppendixPage> pages;
    if (runs.empty()) {
        return pages;
    }
    auto store = open();
    for (const CollectionRun& run : runs) {
        StatisticsAppendixPage page;
        page.Title = "Lot statistics";
        if (!store) {
            page.RunLine = RunLine(run.Run);
            page.Note = "The results database could not be reached: " + store.Error().Message;
        } else {
            const results::ScriptRunInfo stored = StoredRun(**store, run);
            page.RunLine = RunLine(stored);
            FillPage(page, **store, stored);
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

}  // namespace orvik
