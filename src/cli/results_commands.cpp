// import and results: the results database from outside the program, and
// the storing of measure and run-script when they are given --results.
#include "cli/results_commands.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "base/c_numbers.h"
#include "cli/json_writer.h"
#include "results/results_import.h"
#include "results/results_store.h"
#include "results/text_encoding.h"

namespace orvik::cli {
namespace {

using results::Measurement;

// --results, else the station's ORVIK_RESULTS_URL, else the embedded file.
results::ResultsLocation ChosenLocation(const std::optional<std::string>& option) {
    if (option) {
        return ResultsOption(*option);
    }
    if (const char* named = std::getenv(results::kResultsUrlVariable); named && *named) {
        auto location = results::ParseResultsLocation(named);
        if (!location) {
            throw CommandFailure(std::string(results::kResultsUrlVariable) + ": " +
                                 location.Error().Message);
        }
        return *location;
    }
    return *results::ParseResultsLocation(results::DefaultResultsPath());
}

std::unique_ptr<results::ResultsStore> OpenStore(const results::ResultsLocation& location) {
    results::StoreProblem problem = results::StoreProblem::None;
    auto store = results::OpenResultsStore(location, problem);
    if (!store) {
        throw CommandFailure(store.Error().Message);
    }
    return std::move(*store);
}

// "2026-12-08", "2026-12-08T21:48:32" or the same with a Z: a time in UTC.
std::int64_t ParseDate(const std::string& text) {
    std::tm parts{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char tail = '\0';
    const int read = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &year, &month, &day,
                                 &tail, &hour, &minute, &second);
    const bool dateOnly = read == 3 && text.size() == 10;
    const bool withTime = read == 7 && tail == 'T' &&
                          (text.size() == 19 || (text.size() == 20 && text.back() == 'Z'));
    if ((!dateOnly && !withTime) || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 60) {
        throw UsageError("--since must be a date, 2026-12-08 or 2026-12-08T21:48:32Z, not " + text);
    }
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    return static_cast<std::int64_t>(::timegm(&parts));
}

std::string IsoTime(std::int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    ::gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

// The JSON writer takes the system's single-byte texts; a character of
// another program's beyond them shows as '?'.
std::string Stored(const std::string& utf8) {
    if (auto latin1 = results::ToLatin1(utf8)) {
        return *latin1;
    }
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            out += utf8[i];
        } else if ((byte & 0xC0) != 0x80) {
            auto one = results::ToLatin1(utf8.substr(i, (byte & 0xE0) == 0xC0 ? 2 : 1));
            out += one ? *one : "?";
        }
    }
    return out;
}

void TextOrNull(JsonWriter& json, const char* key, const std::optional<std::string>& text) {
    json.Key(key);
    text ? json.Value(Stored(*text)) : json.Null();
}

void WriteJson(const std::vector<Measurement>& measurements) {
    JsonWriter json;
    json.BeginArray();
    for (const Measurement& m : measurements) {
        json.BeginObject().Field("uuid", m.Uuid);
        TextOrNull(json, "station", m.Station ? std::optional(m.Station->Name) : std::nullopt);
        TextOrNull(json, "instrument_serial",
                   m.Instrument ? std::optional(m.Instrument->Serial) : std::nullopt);
        json.Field("operator", Stored(m.Operator));
        TextOrNull(json, "job", m.Run ? std::optional(m.Run->Job) : std::nullopt);
        TextOrNull(json, "script", m.Run ? std::optional(m.Run->Script) : std::nullopt);
        TextOrNull(json, "coupon", m.Coupon);
        TextOrNull(json, "test", m.Test);
        json.Field("name", Stored(m.Name))
            .Field("time", IsoTime(m.Time))
            .Field("mode", results::ModeText(m.Mode))
            .Field("average", m.Average)
            .Field("deviation", m.Deviation)
            .Field("minimum", m.Minimum)
            .Field("maximum", m.Maximum)
            .Field("passed", m.Passed);
        json.Key("criterion")
            .BeginObject()
            .Field("name", Stored(m.Judged.Name))
            .Field("target", m.Judged.TargetImpedance)
            .Field("error", m.Judged.AllowableError)
            .Field("maximum", m.Judged.MaximumImpedance)
            .Field("minimum", m.Judged.MinimumImpedance)
            .Field("start", m.Judged.StartPosition)
            .Field("end", m.Judged.EndPosition)
            .Field("double_ended", m.Judged.DoubleEnded != 0)
            .EndObject();
        json.EndObject();
    }
    json.EndArray();
    std::cout << json.Text() << '\n';
}

// RFC 4180: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

std::string CsvNumber(double value) {
    return std::isfinite(value) ? FormatDouble(value) : std::string();
}

void WriteCsv(const std::vector<Measurement>& measurements) {
    std::cout << "uuid,station,instrument_serial,operator,job,script,coupon,test,name,time,mode,"
                 "average,deviation,minimum,maximum,passed,criterion_name,criterion_target,"
                 "criterion_error,criterion_maximum,criterion_minimum,criterion_start,"
                 "criterion_end,criterion_double_ended\r\n";
    for (const Measurement& m : measurements) {
        const std::string fields[] = {
            m.Uuid,
            m.Station ? m.Station->Name : "",
            m.Instrument ? m.Instrument->Serial : "",
            m.Operator,
            m.Run ? m.Run->Job : "",
            m.Run ? m.Run->Script : "",
            m.Coupon.value_or(""),
            m.Test.value_or(""),
            m.Name,
            IsoTime(m.Time),
            results::ModeText(m.Mode),
            CsvNumber(m.Average),
            CsvNumber(m.Deviation),
            CsvNumber(m.Minimum),
            CsvNumber(m.Maximum),
            m.Passed ? "true" : "false",
            m.Judged.Name,
            CsvNumber(m.Judged.TargetImpedance),
            CsvNumber(m.Judged.AllowableError),
            CsvNumber(m.Judged.MaximumImpedance),
            CsvNumber(m.Judged.MinimumImpedance),
            CsvNumber(m.Judged.StartPosition),
            CsvNumber(m.Judged.EndPosition),
            m.Judged.DoubleEnded != 0 ? "true" : "false",
        };
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            std::cout << (i == 0 ? "" : ",") << CsvField(fields[i]);
        }
        std::cout << "\r\n";
    }
}

}  // namespace

results::ResultsLocation ResultsOption(const std::string& text) {
    auto location = results::ParseResultsLocation(text);
    if (!location) {
        throw UsageError("--results: " + location.Error().Message);
    }
    return *location;
}

std::unique_ptr<results::ResultsStore> OpenChosenStore(const std::optional<std::string>& url) {
    return OpenStore(ChosenLocation(url));
}

results::ResultsLocation ChosenResultsLocation(const std::optional<std::string>& url) {
    return ChosenLocation(url);
}

std::int64_t SinceOption(const std::string& text) {
    return ParseDate(text);
}

std::string JsonText(const std::string& utf8) {
    return Stored(utf8);
}

std::string CsvText(const std::string& text) {
    return CsvField(text);
}

std::string CsvValue(double value) {
    return CsvNumber(value);
}

bool FormatOption(ArgumentReader& reader, std::optional<bool>& csv) {
    const bool wantsCsv = reader.Flag("--csv");
    if (!wantsCsv && !reader.Flag("--json")) {
        return false;
    }
    if (csv && *csv != wantsCsv) {
        throw UsageError("give --csv or --json, not both");
    }
    csv = wantsCsv;
    return true;
}

int RunImport(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    std::optional<std::string> url;
    std::vector<std::string> files;
    while (!reader.Done()) {
        if (reader.Option("--results")) {
            url = reader.Value();
        } else {
            files.push_back(reader.Word());
        }
    }
    if (files.empty()) {
        throw UsageError("name at least one collection file");
    }
    const auto store = OpenStore(ChosenLocation(url));
    const auto counts = results::ImportCollections(files, *store);
    if (!counts) {
        throw CommandFailure(counts.Error().Message);
    }
    JsonWriter json;
    json.BeginObject()
        .Field("imported", static_cast<std::int64_t>(counts->Imported))
        .Field("already_present", static_cast<std::int64_t>(counts->AlreadyPresent))
        .EndObject();
    std::cout << json.Text() << '\n';
    return 0;
}

int RunResults(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    std::optional<std::string> url;
    results::MeasurementFilter filter;
    std::optional<bool> csv;
    while (!reader.Done()) {
        if (reader.Option("--results")) {
            url = reader.Value();
        } else if (reader.Option("--job")) {
            // The terminal's UTF-8 as the collections hold it, then as the database does.
            filter.Job = results::FromLatin1(reader.Text());
        } else if (reader.Option("--since")) {
            filter.Since = ParseDate(reader.Value());
        } else if (!FormatOption(reader, csv)) {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    const auto store = OpenStore(ChosenLocation(url));
    const auto measurements = store->Query(filter);
    if (!measurements) {
        throw CommandFailure(measurements.Error().Message);
    }
    csv.value_or(false) ? WriteCsv(*measurements) : WriteJson(*measurements);
    return 0;
}

namespace {

results::RecorderOptions StationOutbox() {
    results::RecorderOptions options;
    options.OutboxPath = results::DefaultOutboxPath();
    return options;
}

}  // namespace

CommandResults::CommandResults(const results::ResultsLocation& location)
    : recorder_(std::make_unique<results::ResultsRecorder>(location, StationOutbox())),
      station_(*recorder_) {}

void CommandResults::Finish() {
    const std::size_t waiting = recorder_->Close(kGrace);
    if (waiting == 0) {
        return;
    }
    const std::optional<Failure> why = recorder_->LastFailure();
    throw CommandFailure(std::to_string(waiting) + " measurements are not stored in " +
                         recorder_->Target().Shown() + (why ? " (" + why->Message + ")" : "") +
                         "; they wait in " + results::DefaultOutboxPath() +
                         " for the next program that stores there");
}

}  // namespace orvik::cli
