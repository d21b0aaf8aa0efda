#include "results/job_statistics.h"

#include <algorithm>
#include <cmath>

#include "base/c_numbers.h"

namespace orvik::results {
namespace {

ToleranceLimits LimitsOf(const MeasurementSummary& m) {
    return {m.Minimum, m.Maximum};
}

std::string LimitsText(const ToleranceLimits& limits) {
    return FormatC("%g to %g ohms", limits.Lower, limits.Upper);
}

// Fills in everything but the figures' source: the criterion, the limits
// (or why there are none) and the verdicts.
TestStatistics Summarise(std::span<const MeasurementSummary> selection,
                         const std::vector<std::size_t>& members) {
    TestStatistics test;
    const MeasurementSummary& first = selection[members.front()];
    test.Test = first.Test;
    test.Criterion = first.Criterion;
    test.Limits = LimitsOf(first);
    std::string noLimits;
    std::vector<double> values;
    for (const std::size_t place : members) {
        const MeasurementSummary& m = selection[place];
        if (test.Criterion && m.Criterion != *test.Criterion) {
            test.Criterion.reset();
        }
        if (test.Limits && LimitsOf(m) != *test.Limits) {
            noLimits = "measured against different limits (" + LimitsText(*test.Limits) + ", " +
                       LimitsText(LimitsOf(m)) + ")";
            test.Limits.reset();
        }
        test.Passed += m.Passed ? 1 : 0;
        if (std::isfinite(m.Average)) {
            test.Points.push_back(place);
            values.push_back(m.Average);
        }
    }
    test.Count = members.size();
    test.Yield = static_cast<double>(test.Passed) / static_cast<double>(test.Count);
    test.Figures = FiguresOf(values, test.Limits, noLimits);
    test.Chart = ChartOf(values);
    return test;
}

}  // namespace

std::vector<TestStatistics> StatisticsPerTest(std::span<const MeasurementSummary> selection) {
    struct Group {
        std::optional<std::string> test;
        std::int32_t position;
        std::vector<std::size_t> members;
    };
    std::vector<Group> groups;
    for (std::size_t place = 0; place < selection.size(); ++place) {
        const MeasurementSummary& m = selection[place];
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.test == m.Test; });
        if (group == groups.end()) {
            groups.push_back({m.Test, m.ElementPosition, {}});
            group = std::prev(groups.end());
        }
        group->position = std::min(group->position, m.ElementPosition);
        group->members.push_back(place);
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const Group& a, const Group& b) { return a.position < b.position; });
    std::vector<TestStatistics> tests;
    for (const Group& group : groups) {
        tests.push_back(Summarise(selection, group.members));
    }
    return tests;
}

std::vector<TestStatistics> StatisticsPerTest(std::span<const Measurement> selection) {
    std::vector<MeasurementSummary> summaries;
    summaries.reserve(selection.size());
    for (const Measurement& m : selection) {
        summaries.push_back(SummaryOf(m));
    }
    return StatisticsPerTest(summaries);
}

}  // namespace orvik::results
