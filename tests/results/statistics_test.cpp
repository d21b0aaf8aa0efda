// The lot figures, the individuals chart and its rules, and the per-test
// statistics of a selection: against figures computed another way, on
// series built to break one rule each, and on the cases with no figure.
#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "results/control_chart.h"
#include "results/job_statistics.h"
#include "results/lot_statistics.h"
#include "results_test_data.h"

namespace orvik::results {
void PrintTo(const RuleViolation& v, std::ostream* out) {
    *out << "rule " << static_cast<int>(v.Rule) << " at " << v.Index;
}
}  // namespace orvik::results

namespace orvik::testing {
namespace {

using results::ControlRule;
using results::RuleViolation;

void ExpectClose(double expected, std::optional<double> actual, const char* what) {
    ASSERT_TRUE(actual.has_value()) << what;
    EXPECT_NEAR(*actual, expected, 1e-12 * std::fabs(expected)) << what;
}

TEST(LotStatistics, MatchesFiguresComputedWithPythonsStatisticsModule) {
    // statistics_reference.py prints this table from the same lot and limits.
    const std::vector<double> lot = {50.12, 49.87, 50.31, 50.05, 49.66, 50.48,
                                     50.22, 49.94, 50.09, 50.37, 49.78, 50.15};
    const std::map<std::string, double> python = {
        {"mean", 50.086666666666666},
        {"sd", 0.24377088100148978},
        {"min", 49.66},
        {"max", 50.48},
        {"cp", 0.888812748169631},
        {"cpk", 0.8022104803992575},
        {"mean_moving_range", 0.3718181818181821},
        {"lower", 49.0976303030303},
        {"upper", 51.07570303030303},
        {"range_upper", 1.214730000000001},
    };
    const auto figures = results::FiguresOf(lot, results::ToleranceLimits{49.5, 50.8});
    EXPECT_EQ(figures.Count, 12u);
    EXPECT_FALSE(figures.NotComputable.has_value());
    ExpectClose(python.at("mean"), figures.Mean, "mean");
    ExpectClose(python.at("sd"), figures.Deviation, "sd");
    ExpectClose(python.at("min"), figures.Minimum, "min");
    ExpectClose(python.at("max"), figures.Maximum, "max");
    ExpectClose(python.at("cp"), figures.Cp, "cp");
    ExpectClose(python.at("cpk"), figures.Cpk, "cpk");

    const auto chart = results::ChartOf(lot);
    ASSERT_TRUE(chart.has_value());
    ExpectClose(python.at("mean"), chart->Centre, "centre");
    ExpectClose(python.at("mean_moving_range"), chart->MeanMovingRange, "mean moving range");
    ExpectClose(python.at("lower"), chart->Lower, "lower control limit");
    ExpectClose(python.at("upper"), chart->Upper, "upper control limit");
    ExpectClose(python.at("range_upper"), chart->MovingRangeUpper, "moving range limit");
    EXPECT_TRUE(chart->Violations.empty());
}

TEST(LotStatistics, SaysWhyAFigureCannotBeHadAndNeverGivesANan) {
    const results::ToleranceLimits limits{45.0, 55.0};
    const struct {
        std::vector<double> values;
        std::optional<results::ToleranceLimits> limits;
        bool mean, deviation, capability;
        std::string reason;
    } cases[] = {
        {{}, limits, false, false, false, "no measurements"},
        {{50.2}, limits, true, false, false, "one measurement"},
        {std::vector<double>(12, 50.1), limits, true, true, false, "do not vary"},
        {{49.9, 50.1, 50.3}, std::nullopt, true, true, false, "judged twice"},
        {{49.9, 50.1, 50.3}, limits, true, true, true, ""},
    };
    for (const auto& c : cases) {
        const auto figures = results::FiguresOf(c.values, c.limits, "judged twice");
        SCOPED_TRACE(c.values.size());
        EXPECT_EQ(figures.Mean.has_value(), c.mean);
        EXPECT_EQ(figures.Minimum.has_value(), c.mean);
        EXPECT_EQ(figures.Deviation.has_value(), c.deviation);
        EXPECT_EQ(figures.Cp.has_value(), c.capability);
        EXPECT_EQ(figures.Cpk.has_value(), c.capability);
        EXPECT_EQ(figures.NotComputable.has_value(), !c.reason.empty());
        EXPECT_NE(figures.NotComputable.value_or("").find(c.reason), std::string::npos);
        for (const auto& figure : {figures.Mean, figures.Deviation, figures.Minimum,
                                   figures.Maximum, figures.Cp, figures.Cpk}) {
            EXPECT_TRUE(!figure || std::isfinite(*figure));
        }
    }
}

// 50.1 and 49.9 by turns: a stable process with a moving range of 0.2.
std::vector<double> Stable(std::size_t count) {
    std::vector<double> values;
    for (std::size_t i = 0; i < count; ++i) {
        values.push_back(i % 2 == 0 ? 50.1 : 49.9);
    }
    return values;
}

std::vector<double> With(std::vector<double> values, std::vector<std::size_t> places,
                         double value) {
    for (const std::size_t place : places) {
        values[place] = value;
    }
    return values;
}

TEST(ControlChart, EachRuleIsFlaggedAtThePointThatCompletesIt) {
    using enum ControlRule;
    std::vector<double> runAbove = Stable(24);
    for (std::size_t i = 8; i < 16; ++i) {
        runAbove[i] += 0.2;  // with the 50.1 at 16, nine points above the centre (50.067)
    }
    const struct {
        const char* what;
        std::vector<double> series;
        std::vector<RuleViolation> expected;
    } cases[] = {
        {"stable", Stable(20), {}},
        // sigma 0.35: 52 is beyond the 3-sigma limit, the rest well inside 1 sigma
        {"one beyond", With(Stable(20), {10}, 52.0), {{BeyondLimits, 10}}},
        // sigma 0.33: 50.9 is 0.82 above the centre, beyond 2 sigma, inside 3
        {"two of three", With(Stable(20), {10, 12}, 50.9), {{TwoOfThreeBeyond2, 12}}},
        // sigma 0.21: 50.6 is 0.54 above the centre; the 50.1 after them is no third
        {"two in a row", With(Stable(20), {10, 11}, 50.6), {{TwoOfThreeBeyond2, 11}}},
        {"two apart", With(Stable(20), {9, 12}, 50.9), {}},
        // sigma 0.16: 50.35 is 0.28 above the centre, between 1 and 2 sigma
        {"four of five", With(Stable(20), {10, 11, 12, 13}, 50.35), {{FourOfFiveBeyond1, 13}}},
        {"three of five", With(Stable(20), {10, 11, 13}, 50.35), {}},
        {"eight on one side", runAbove, {{EightOnOneSide, 15}, {EightOnOneSide, 16}}},
        {"seven on one side", With(runAbove, {14, 15, 16}, 49.9), {}},
        // equal values: the centre may sit an ulp off them, which is no run
        {"constant", std::vector<double>(12, 50.1), {}},
    };
    for (const auto& c : cases) {
        const auto chart = results::ChartOf(c.series);
        ASSERT_TRUE(chart.has_value()) << c.what;
        EXPECT_EQ(chart->Violations, c.expected) << c.what;
    }
    EXPECT_FALSE(results::ChartOf(std::vector<double>{50.0}).has_value());
}

// Mirrored values break the same rules at the same points, on the other
// side: the rules hold below the centre as above it.
RC_GTEST_PROP(ControlChart, MirroredSeriesBreakTheSameRules, ()) {
    const auto steps = *rc::gen::container<std::vector<int>>(rc::gen::inRange(-300, 300));
    RC_PRE(steps.size() >= 2u);
    std::vector<double> series;
    std::vector<double> mirrored;
    for (const int step : steps) {
        series.push_back(50.0 + step / 100.0);
        mirrored.push_back(-(50.0 + step / 100.0));
    }
    RC_ASSERT(results::ChartOf(series)->Violations == results::ChartOf(mirrored)->Violations);
}

bool Near(std::optional<double> a, std::optional<double> b) {
    return a.has_value() == b.has_value() &&
           (!a || std::fabs(*a - *b) <= 1e-9 * std::max(1.0, std::fabs(*a)));
}

// The lot figures do not depend on the order of the lot, Cp not on where
// the process and its limits sit, and Cpk never exceeds Cp.
RC_GTEST_PROP(LotStatistics, OrderShiftAndCapabilityBounds, ()) {
    const auto steps =
        *rc::gen::nonEmpty(rc::gen::container<std::vector<int>>(rc::gen::inRange(-500, 500)));
    const double shift = *rc::gen::inRange(-40, 40);
    std::vector<double> lot;
    std::vector<double> shifted;
    for (const int step : steps) {
        lot.push_back(50.0 + step / 100.0);
        shifted.push_back(50.0 + step / 100.0 + shift);
    }
    const results::ToleranceLimits limits{45.0, 55.0};
    const auto figures = results::FiguresOf(lot, limits);

    std::vector<double> reordered = lot;
    std::shuffle(reordered.begin(), reordered.end(),
                 std::mt19937(*rc::gen::arbitrary<std::uint32_t>()));
    const auto again = results::FiguresOf(reordered, limits);
    RC_ASSERT(Near(figures.Mean, again.Mean));
    RC_ASSERT(Near(figures.Deviation, again.Deviation));
    RC_ASSERT(figures.Minimum == again.Minimum && figures.Maximum == again.Maximum);
    RC_ASSERT(Near(figures.Cp, again.Cp));
    RC_ASSERT(Near(figures.Cpk, again.Cpk));

    const auto moved = results::FiguresOf(
        shifted, results::ToleranceLimits{limits.Lower + shift, limits.Upper + shift});
    RC_ASSERT(figures.Cp.has_value() == moved.Cp.has_value());
    if (figures.Cp) {
        RC_ASSERT(std::fabs(*figures.Cp - *moved.Cp) <= 1e-6 * *figures.Cp);
        RC_ASSERT(*figures.Cpk <= *figures.Cp);
    }
}

// A job whose -DIFF test (element 2) was measured first, whose -SE test
// changed limits mid-lot, and one of whose windows held no sample.
TEST(JobStatistics, PerTestInScriptOrderWithItsOwnReasons) {
    std::vector<results::Measurement> selection;
    const double averages[] = {100.4, 50.1, 99.6, 49.9, 100.2, 50.3, NAN};
    for (int i = 0; i < 7; ++i) {
        const bool differential = i % 2 == 0;
        results::Measurement m = Made("J-1", differential ? "-DIFF" : "-SE", 1000 + i, "Bench 3",
                                      "C" + std::to_string(i));
        m.ElementPosition = differential ? 2 : 1;
        m.Judged.Name = differential ? "DIFF 100" : "SE 50";
        m.Judged.MinimumImpedance = differential ? 90.0 : 45.0;
        m.Judged.MaximumImpedance = differential ? 110.0 : (i == 5 ? 56.0 : 55.0);
        m.Average = averages[i];
        m.Passed = i != 4;
        selection.push_back(m);
    }
    const auto tests = results::StatisticsPerTest(selection);
    ASSERT_EQ(tests.size(), 2u);
    const results::TestStatistics& se = tests[0];
    const results::TestStatistics& diff = tests[1];
    EXPECT_EQ(se.Test, "-SE");
    EXPECT_EQ(se.Criterion, "SE 50");
    EXPECT_EQ(se.Count, 3u);
    EXPECT_FALSE(se.Limits.has_value());
    EXPECT_FALSE(se.Figures.Cp.has_value());
    ASSERT_TRUE(se.Figures.Mean.has_value());  // the spread does not depend on the limits
    EXPECT_NEAR(*se.Figures.Mean, 50.1, 1e-12);
    EXPECT_EQ(se.Figures.NotComputable,
              "measured against different limits (45 to 55 ohms, 45 to 56 ohms)");

    EXPECT_EQ(diff.Test, "-DIFF");
    EXPECT_EQ(diff.Count, 4u);
    EXPECT_EQ(diff.Passed, 3u);
    EXPECT_DOUBLE_EQ(diff.Yield, 0.75);
    EXPECT_EQ(diff.Points, (std::vector<std::size_t>{0, 2, 4}));  // the empty window has no point
    EXPECT_EQ(diff.Figures.Count, 3u);
    EXPECT_EQ(diff.Limits, (results::ToleranceLimits{90.0, 110.0}));
    EXPECT_TRUE(diff.Figures.Cpk.has_value());
    EXPECT_TRUE(diff.Chart.has_value());
}

}  // namespace
}  // namespace orvik::testing
