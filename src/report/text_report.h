#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/collection_item.h"
#include "base/failure.h"
#include "criteria/report_preferences.h"

namespace orvik {

// Writes the text rendering of a collection's report to `path`: the bytes of
// the text, no byte-order mark, no terminator. The file is replaced whole or
// not at all.
Status WriteTextReport(const std::string& path,
                       const std::vector<std::unique_ptr<CollectionItem>>& items,
                       const ReportPreferences& preferences);

// What the operator is told when the report file cannot be written.
std::string TextReportFailureMessage(const std::string& path, const Failure& failure);

inline constexpr const char* kTextReportCaption = "Text Report";

}  // namespace orvik
