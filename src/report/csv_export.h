#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/collection_item.h"

namespace orvik {

class TraceRecord;

// Spreadsheet files of a collection: RFC 4180 (CR LF rows, fields with a
// comma, quote or line break quoted, quotes doubled), UTF-8, numbers with a
// dot whatever the locale.

// One row per trace in file order, numbered from 1:
// index,name,tag,passed,element_position,average,deviation,maximum,minimum,
// criterion,target,error,start,end,double_ended,time_iso8601
std::string CollectionCsv(const std::vector<std::unique_ptr<CollectionItem>>& items);

// The samples of one trace: position_in,impedance_ohm.
std::string TraceSamplesCsv(const TraceRecord& trace);

// The traces of a collection in file order (what CollectionCsv numbers).
std::vector<const TraceRecord*> TracesOf(const std::vector<std::unique_ptr<CollectionItem>>& items);

// One CSV field: stored single-byte text (Latin-1) as UTF-8, quoted when it must be.
std::string CsvField(std::string_view text);

// Shortest text that reads back as the same number; empty for NaN and infinities.
std::string CsvNumber(double value);

// UTC time as 2026-12-08T22:12:10Z.
std::string Iso8601Utc(std::int64_t secondsSince1970);

}  // namespace orvik
