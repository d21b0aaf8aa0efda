// stats: the capability and stability of a job's tests from the results
// database, for a quality engineer's spreadsheet or a dashboard's script.
#include "cli/stats_command.h"

#include <iostream>

#include "cli/json_writer.h"
#include "cli/results_commands.h"
#include "results/job_statistics.h"
#include "results/text_encoding.h"

namespace orvik::cli {
namespace {

using results::MeasurementSummary;
using results::TestStatistics;

struct StatsRequest {
    std::optional<std::string> url;
    results::MeasurementFilter filter;
    bool csv = false;
};

StatsRequest ReadRequest(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    StatsRequest request;
    std::optional<bool> csv;
    while (!reader.Done()) {
        if (reader.Option("--results")) {
            request.url = reader.Value();
        } else if (reader.Option("--job")) {
            // The terminal's UTF-8 as the collections hold it, then as the database does.
            request.filter.Job = results::FromLatin1(reader.Text());
        } else if (reader.Option("--test")) {
            request.filter.Test = results::FromLatin1(reader.Text());
        } else if (reader.Option("--since")) {
            request.filter.Since = SinceOption(reader.Value());
        } else if (!FormatOption(reader, csv)) {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    if (!request.filter.Job) {
        throw UsageError("name the job with --job");
    }
    request.csv = csv.value_or(false);
    return request;
}

void NumberOrNull(JsonWriter& json, const char* key, const std::optional<double>& number) {
    json.Key(key);
    number ? json.Value(*number) : json.Null();
}

void TextOrNull(JsonWriter& json, const char* key, const std::optional<std::string>& text) {
    json.Key(key);
    text ? json.Value(JsonText(*text)) : json.Null();
}

const std::vector<results::RuleViolation>& ViolationsOf(const TestStatistics& test) {
    static const std::vector<results::RuleViolation> none;
    return test.Chart ? test.Chart->Violations : none;
}

// The measurement each violation points at, by its name in the tree.
const std::string& ViolatingName(const TestStatistics& test, const results::RuleViolation& v,
                                 const std::vector<MeasurementSummary>& selection) {
    return selection[test.Points[v.Index]].Name;
}

void WriteJson(const std::string& job, const std::vector<TestStatistics>& tests,
               const std::vector<MeasurementSummary>& selection) {
    JsonWriter json;
    json.BeginObject().Field("job", JsonText(job)).Key("tests").BeginArray();
    for (const TestStatistics& test : tests) {
        json.BeginObject();
        TextOrNull(json, "test", test.Test);
        TextOrNull(json, "criterion", test.Criterion);
        json.Field("n", static_cast<std::int64_t>(test.Count));
        NumberOrNull(json, "mean", test.Figures.Mean);
        NumberOrNull(json, "sd", test.Figures.Deviation);
        NumberOrNull(json, "min", test.Figures.Minimum);
        NumberOrNull(json, "max", test.Figures.Maximum);
        json.Field("yield", test.Yield);
        NumberOrNull(json, "cp", test.Figures.Cp);
        NumberOrNull(json, "cpk", test.Figures.Cpk);
        json.Key("violations").BeginArray();
        for (const results::RuleViolation& v : ViolationsOf(test)) {
            json.BeginObject()
                .Field("rule", static_cast<std::int64_t>(v.Rule))
                .Field("name", JsonText(ViolatingName(test, v, selection)))
                .EndObject();
        }
        json.EndArray();
        TextOrNull(json, "not_computable", test.Figures.NotComputable);
        json.EndObject();
    }
    json.EndArray().EndObject();
    std::cout << json.Text() << '\n';
}

std::string CsvFigure(const std::optional<double>& number) {
    return number ? CsvValue(*number) : std::string();
}

void WriteCsv(const std::vector<TestStatistics>& tests,
              const std::vector<MeasurementSummary>& selection) {
    std::cout << "test,criterion,n,mean,sd,min,max,yield,cp,cpk,violations,not_computable\r\n";
    for (const TestStatistics& test : tests) {
        std::string violations;
        for (const results::RuleViolation& v : ViolationsOf(test)) {
            violations += (violations.empty() ? "" : "; ") + std::string("rule ") +
                          std::to_string(static_cast<int>(v.Rule)) + " at " +
                          ViolatingName(test, v, selection);
        }
        const std::string fields[] = {
            test.Test.value_or(""),
            test.Criterion.value_or(""),
            std::to_string(test.Count),
            CsvFigure(test.Figures.Mean),
            CsvFigure(test.Figures.Deviation),
            CsvFigure(test.Figures.Minimum),
            CsvFigure(test.Figures.Maximum),
            CsvValue(test.Yield),
            CsvFigure(test.Figures.Cp),
            CsvFigure(test.Figures.Cpk),
            violations,
            test.Figures.NotComputable.value_or(""),
        };
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            std::cout << (i == 0 ? "" : ",") << CsvText(fields[i]);
        }
        std::cout << "\r\n";
    }
}

}  // namespace

int RunStats(const Arguments& arguments) {
    const StatsRequest request = ReadRequest(arguments);
    const auto store = OpenChosenStore(request.url);
    const auto selection = store->QuerySummaries(request.filter);
    if (!selection) {
        throw CommandFailure(selection.Error().Message);
    }
    const auto tests = results::StatisticsPerTest(*selection);
    request.csv ? WriteCsv(tests, *selection) : WriteJson(*request.filter.Job, tests, *selection);
    return 0;
}

}  // namespace orvik::cli
