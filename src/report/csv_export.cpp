#include "report/csv_export.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "base/latin1_text.h"
#include "collection/trace_record.h"

namespace orvik {
namespace {

constexpr const char* kRowEnd = "\r\n";

const char* Bool(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::string CsvField(std::string_view text) {
    const std::string utf8 = Latin1ToUtf8(text);
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) {
        return utf8;
    }
    std::string quoted = "\"";
    for (const char c : utf8) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

std::string CsvNumber(double value) {
    if (!std::isfinite(value)) {
        return {};  // an empty cell, which every spreadsheet reads as "no value"
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string Iso8601Utc(std::int64_t secondsSince1970) {
    using namespace std::chrono;
    const sys_seconds time{seconds{secondsSince1970}};
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<long long>(clock.hours().count()),
                  static_cast<long long>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()));
    return text;
}

std::vector<const TraceRecord*> TracesOf(
    const std::vector<std::unique_ptr<CollectionItem>>& items) {
    std::vector<const TraceRecord*> traces;
    for (const auto& item : items) {
        if (item->TypeCode == kTraceRecordType) {
            traces.push_back(static_cast<const TraceRecord*>(item.get()));
        }
    }
    return traces;
}

std::string CollectionCsv(const std::vector<std::unique_ptr<CollectionItem>>& items) {
    std::string csv =
        "index,name,tag,passed,element_position,average,deviation,maximum,minimum,criterion,"
        "target,error,start,end,double_ended,time_iso8601";
    csv += kRowEnd;
    int index = 0;
    for (const TraceRecord* trace : TracesOf(items)) {
        const Criterion& criterion = trace->Criteria;
        const std::string fields[] = {
            std::to_string(++index),
            CsvField(trace->Name),
            std::to_string(trace->Tag),
            Bool(trace->Passed),
            std::to_string(trace->ElementPosition),
            CsvNumber(trace->Average),
            CsvNumber(trace->Deviation),
            CsvNumber(trace->Maximum),
            CsvNumber(trace->Minimum),
            CsvField(criterion.Name),
            CsvNumber(criterion.TargetImpedance),
            CsvNumber(criterion.AllowableError),
            CsvNumber(criterion.StartPosition),
            CsvNumber(criterion.EndPosition),
            Bool(criterion.IsDifferential()),
            Iso8601Utc(trace->Time),
        };
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            if (i > 0) {
                csv += ',';
            }
            csv += fields[i];
        }
        csv += kRowEnd;
    }
    return csv;
}

std::string TraceSamplesCsv(const TraceRecord& trace) {
    std::string csv = "position_in,impedance_ohm";
    csv += kRowEnd;
    for (const TraceSample& sample : trace.Samples) {
        csv += CsvNumber(sample.Position);
        csv += ',';
        csv += CsvNumber(sample.Impedance);
        csv += kRowEnd;
    }
    return csv;
}

}  // namespace orvik
