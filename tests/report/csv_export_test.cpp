// The collection's spreadsheet file read back as a spreadsheet reads it:
// whatever a name holds, every trace stays one row of sixteen cells.
#include "report/csv_export.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <optional>
#include <string_view>

#include "collection/trace_record.h"

namespace orvik {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// An RFC 4180 reader. Outside quotes a CR, an LF or CR LF ends the row, as
// spreadsheets take them; a quote may only open a field, and a quoted field
// ends at a lone quote followed by a comma or the row's end. Anything else is
// a file no spreadsheet reads as written: no rows.
std::optional<Rows> ReadCsv(std::string_view text) {
    Rows rows(1);
    std::string field;
    bool quoted = false;
    bool closed = false;  // a quoted field's closing quote has been read
    const auto endField = [&] {
        rows.back().push_back(std::move(field));
        field.clear();
        closed = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
                closed = true;
            }
        } else if (c == ',') {
            endField();
        } else if (c == '\r' || c == '\n') {
            endField();
            rows.emplace_back();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (closed || (c == '"' && !field.empty())) {
            return std::nullopt;
        } else if (c == '"') {
            quoted = true;
        } else {
            field += c;
        }
    }
    if (quoted || !rows.back().empty() || !field.empty()) {
        return std::nullopt;  // an open quote, or a last row without its CR LF
    }
    rows.pop_back();
    return rows;
}

std::vector<std::unique_ptr<CollectionItem>> TracesNamed(const std::vector<std::string>& names) {
    std::vector<std::unique_ptr<CollectionItem>> items;
    for (const std::string& name : names) {
        auto trace = std::make_unique<TraceRecord>();
        trace->Name = name;
        trace->Criteria.Name = name;
        items.push_back(std::move(trace));
    }
    return items;
}

// The names of the rows under the header, each read from its name cell and
// its criterion cell; nothing when the file is not one row of sixteen cells
// per trace, numbered from 1, or the two cells differ.
std::optional<std::vector<std::string>> NamesReadBack(const std::vector<std::string>& names) {
    const std::optional<Rows> rows = ReadCsv(CollectionCsv(TracesNamed(names)));
    if (!rows || rows->empty()) {
        return std::nullopt;
    }
    std::vector<std::string> read;
    for (std::size_t i = 1; i < rows->size(); ++i) {
        const std::vector<std::string>& row = (*rows)[i];
        if (row.size() != 16 || row[0] != std::to_string(i) || row[9] != row[1]) {
            return std::nullopt;
        }
        read.push_back(row[1]);
    }
    return read;
}

using Names = std::vector<std::string>;

TEST(CollectionCsv, NamesWithLineBreaksCommasAndQuotesStayInTheirCell) {
    const Names names{
        "plain", "line\nfeed", "carriage\rreturn", "both\r\nends", "\r",   "\n", "\r\n",
        "a,b",   ",",          "say \"50 ohms\"",  "\"",           "\"\"", "",   " spaced "};
    EXPECT_EQ(NamesReadBack(names), names);
}

TEST(CollectionCsv, StoredSingleByteTextIsWrittenAsUtf8) {
    EXPECT_EQ(NamesReadBack({"Z\xF6"
                             "ller, \xB1"
                             "5%"}),
              Names{"Z\xC3\xB6ller, \xC2\xB1"
                    "5%"});
}

RC_GTEST_PROP(CollectionCsv, AnyNamesReadBack, ()) {
    const auto names = *rc::gen::container<Names>(
        rc::gen::container<std::string>(rc::gen::element('a', 'Z', ' ', ',', '"', '\r', '\n')));
    RC_ASSERT(NamesReadBack(names) == std::optional<Names>(names));
}

}  // namespace
}  // namespace orvik
