#include "results/sql_connection.h"

#include <limits>

namespace orvik::results {

Result<std::unique_ptr<SqlConnection>> Connect(const ResultsLocation& location,
                                               StoreProblem& problem, Abandon abandon) {
    if (location.Unusable) {
        problem = StoreProblem::Refused;
        return *location.Unusable;
    }
    return location.Kind == Backend::Postgres ? ConnectPostgres(location.Text, problem, abandon)
                                              : ConnectSqlite(location.Path, problem, abandon);
}

Status SqlConnection::ExecuteEach(std::string_view sql, std::span<const SqlValue> parameters,
                                  const std::function<void(const SqlRow&)>& row) {
    auto rows = Execute(sql, parameters);
    if (!rows) {
        return rows.Error();
    }
    for (const SqlRow& each : *rows) {
        row(each);
    }
    return {};
}

std::int64_t IntOf(const SqlValue& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return *number;
    }
    if (const auto* real = std::get_if<double>(&value)) {
        return static_cast<std::int64_t>(*real);
    }
    return 0;
}

double DoubleOf(const SqlValue& value) {
    if (const auto* real = std::get_if<double>(&value)) {
        return *real;
    }
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return static_cast<double>(*number);
    }
    return std::numeric_limits<double>::quiet_NaN();
}

std::string TextOf(const SqlValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    return {};
}

bool IsNull(const SqlValue& value) {
    return std::holds_alternative<std::monostate>(value);
}

}  // namespace orvik::results
