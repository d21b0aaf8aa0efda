#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/failure.h"
#include "report/statistics_appendix.h"
#include "results/collection_measurements.h"
#include "results/job_statistics.h"
#include "results/results_store.h"

namespace orvik {

// The statistics table's columns, and one test's row: the figures as a
// quality engineer reads them, "-" where a figure cannot be had.
const std::vector<std::string>& StatisticsColumns();
std::vector<std::string> StatisticsCells(const results::TestStatistics& test);

// The histogram of a test's averages (`values`, at least one) against its
// limits and `target`, which are left out when the test has no one set of
// limits.
HistogramData StatisticsHistogram(const results::TestStatistics& test,
                                  std::span<const double> values, double target);

// Opens the results database the statistics are read from.
using ResultsStoreOpener = std::function<Result<std::unique_ptr<results::ResultsStore>>()>;

// The report's appendix: one page per scripted run of the collection's
// items, in their order, with the statistics of the measurements the
// database holds of that run. A run the database holds nothing of, or a
// database that cannot be read, gets its page all the same, saying so in
// one line: the report is never refused for it.
std::vector<StatisticsAppendixPage> StatisticsAppendix(results::ItemSpan items,
                                                       const ResultsStoreOpener& open);

}  // namespace orvik
