// The PostgreSQL side of SqlConnection, over libpq.
#include <libpq-fe.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/c_numbers.h"
#include "results/sql_connection.h"

namespace orvik::results {
namespace {

// Type numbers of the columns the results schema reads back.
constexpr Oid kBoolType = 16;
constexpr Oid kByteaType = 17;
constexpr Oid kInt8Type = 20;
constexpr Oid kInt2Type = 21;
constexpr Oid kInt4Type = 23;
constexpr Oid kFloat4Type = 700;
constexpr Oid kFloat8Type = 701;

// Server answers that mean "not now" rather than "no": the server is
// starting, stopping or full, or the connection broke.
bool TransientState(const char* state) {
    if (state == nullptr) {
        return true;  // no answer from the server at all
    }
    const std::string code = state;
    return code.starts_with("08") || code == "57P01" || code == "57P02" || code == "57P03" ||
           code == "53300" || code == "40001" || code == "40P01";
}

std::string Trimmed(const char* text) {
    std::string out = text != nullptr ? text : "";
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

std::string NumberText(double value) {
    if (value != value) {
        return "NaN";
    }
    if (value > 1.0e308 || value < -1.0e308) {
        return value > 0 ? "Infinity" : "-Infinity";
    }
    return FormatC("%.17g", value);
}

SqlBlob FromHex(const char* text, std::size_t size) {
    SqlBlob bytes;
    if (size < 2 || text[0] != '\\' || text[1] != 'x') {
        return bytes;
    }
    const auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    bytes.reserve((size - 2) / 2);
    for (std::size_t i = 2; i + 1 < size; i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(nibble(text[i]) << 4 | nibble(text[i + 1])));
    }
    return bytes;
}

SqlValue ReadValue(const PGresult* result, int row, int column) {
    if (PQgetisnull(result, row, column)) {
        return std::monostate{};
    }
    const char* text = PQgetvalue(result, row, column);
    const auto size = static_cast<std::size_t>(PQgetlength(result, row, column));
    switch (PQftype(result, column)) {
        case kInt8Type:
        case kInt4Type:
        case kInt2Type:
            return std::int64_t{std::strtoll(text, nullptr, 10)};
        case kFloat4Type:
        case kFloat8Type:
            return ParseC(text, nullptr);
        case kBoolType:
            return std::int64_t{text[0] == 't' ? 1 : 0};
        case kByteaType:
            return FromHex(text, size);
        default:
            return std::string(text, size);
    }
}

void IgnoreNotice(void*, const char*) {}

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kConnectLimit{10};
constexpr std::chrono::seconds kStatementLimit{60};
constexpr int kSliceMs = 100;  // how often a wait looks at the abandon flag

// Waits until the connection's socket is ready for `events`: false when it
// is abandoned or the deadline passes first.
bool AwaitSocket(PGconn* connection, short events, Clock::time_point deadline, Abandon abandon) {
    for (;;) {
        if ((abandon != nullptr && abandon->load()) || Clock::now() >= deadline) {
            return false;
        }
        pollfd socket{PQsocket(connection), events, 0};
        const int ready = ::poll(&socket, 1, kSliceMs);
        if (ready != 0) {
            return true;  // ready, or an error that libpq reports next
        }
    }
}

class PostgresConnection : public SqlConnection {
  public:
    PostgresConnection(PGconn* connection, std::string shown, Abandon abandon)
        : connection_(connection), shown_(std::move(shown)), abandon_(abandon) {}
    ~PostgresConnection() override { PQfinish(connection_); }
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    Backend Dialect() const override { return Backend::Postgres; }
    const std::string& Shown() const override { return shown_; }

    Result<std::vector<SqlRow>> Execute(std::string_view sql,
                                        std::span<const SqlValue> parameters) override {
        std::vector<std::string> texts(parameters.size());
        std::vector<const char*> values(parameters.size(), nullptr);
        std::vector<int> lengths(parameters.size(), 0);
        std::vector<int> formats(parameters.size(), 0);
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            if (const auto* number = std::get_if<std::int64_t>(&parameters[i])) {
                texts[i] = std::to_string(*number);
            } else if (const auto* real = std::get_if<double>(&parameters[i])) {
                texts[i] = NumberText(*real);
            } else if (const auto* text = std::get_if<std::string>(&parameters[i])) {
                texts[i] = *text;
            } else if (const auto* blob = std::get_if<SqlBlob>(&parameters[i])) {
                values[i] = reinterpret_cast<const char*>(blob->data());
                lengths[i] = static_cast<int>(blob->size());
                formats[i] = 1;  // binary: the bytes as they are
                continue;
            } else {
                continue;  // null
            }
            values[i] = texts[i].c_str();
        }
        if (!PQsendQueryParams(connection_, std::string(sql).c_str(),
                               static_cast<int>(parameters.size()), nullptr, values.data(),
                               lengths.data(), formats.data(), 0)) {
            return Fail(nullptr);
        }
        PGresult* result = nullptr;
        if (!AwaitResult(result)) {
            return GaveUp();
        }
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            Failure failure = Fail(result);
            PQclear(result);
            return failure;
        }
        std::vector<SqlRow> rows(static_cast<std::size_t>(PQntuples(result)));
        const int columns = PQnfields(result);
        for (int row = 0; row < PQntuples(result); ++row) {
            rows[row].reserve(static_cast<std::size_t>(columns));
            for (int column = 0; column < columns; ++column) {
                rows[row].push_back(ReadValue(result, row, column));
            }
        }
        PQclear(result);
        problem_ = StoreProblem::None;
        return rows;
    }

    Status ExecuteScript(std::string_view sql) override {
        if (!PQsendQuery(connection_, std::string(sql).c_str())) {
            return Fail(nullptr);
        }
        PGresult* result = nullptr;
        if (!AwaitResult(result)) {
            return GaveUp().Error();
        }
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            Failure failure = Fail(result);
            PQclear(result);
            return failure;
        }
        PQclear(result);
        problem_ = StoreProblem::None;
        return {};
    }

  private:
    // The last result of what was sent (a script gives one per statement);
    // false when the wait was abandoned or took too long.
    bool AwaitResult(PGresult*& last) {
        // The recorder (which can give up) also gives up a statement after a
        // minute, so that a hung server's measurements go to the outbox; a
        // command's listing or import waits as long as the server works.
        const Clock::time_point deadline =
            abandon_ != nullptr ? Clock::now() + kStatementLimit : Clock::time_point::max();
        for (;;) {
            while (!PQisBusy(connection_)) {
                PGresult* next = PQgetResult(connection_);
                if (next == nullptr) {
                    return true;
                }
                PQclear(last);
                last = next;
            }
            if (!AwaitSocket(connection_, POLLIN, deadline, abandon_)) {
                PQclear(last);
                last = nullptr;
                return false;
            }
            if (!PQconsumeInput(connection_)) {
                // The connection broke: what came before says nothing of the rest.
                PQclear(last);
                last = nullptr;
                return true;
            }
        }
    }

    Result<std::vector<SqlRow>> GaveUp() {
        problem_ = StoreProblem::Unreachable;
        return Failure{"The results database " + shown_ + " did not answer in time",
                       "the statement was abandoned"};
    }

    Failure Fail(const PGresult* result) {
        const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        const bool broken = PQstatus(connection_) == CONNECTION_BAD;
        problem_ =
            broken || TransientState(state) ? StoreProblem::Unreachable : StoreProblem::Refused;
        const std::string why =
            Trimmed(result ? PQresultErrorMessage(result) : PQerrorMessage(connection_));
        return {"The results database " + shown_ +
                    " refused: " + (why.empty() ? Trimmed(PQerrorMessage(connection_)) : why),
                state ? std::string("SQLSTATE ") + state : std::string()};
    }

    PGconn* connection_;
    std::string shown_;
    Abandon abandon_;
};

// Connects without blocking, so that a server that never answers costs at
// most the connect limit, or nothing once abandoned.
PGconn* StartConnection(const std::string& url, Abandon abandon) {
    const char* keywords[] = {"application_name", "dbname", nullptr};
    const char* values[] = {"orvik", url.c_str(), nullptr};
    PGconn* connection = PQconnectStartParams(keywords, values, 1);
    if (connection == nullptr || PQstatus(connection) == CONNECTION_BAD) {
        return connection;
    }
    const Clock::time_point deadline = Clock::now() + kConnectLimit;
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    while (polling != PGRES_POLLING_OK && polling != PGRES_POLLING_FAILED) {
        if (!AwaitSocket(connection, polling == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline,
                         abandon)) {
            PQfinish(connection);
            return nullptr;
        }
        polling = PQconnectPoll(connection);
    }
    return connection;
}

}  // namespace

// A refused connection carries the server's FATAL; one that never reached a
// server does not. Some FATALs only mean "not now".
StoreProblem PostgresConnectProblem(const std::string& message) {
    if (message.find("FATAL:") == std::string::npos) {
        return StoreProblem::Unreachable;
    }
    // Every "cannot connect now" of the server begins "the database system
    // is" (starting up, shutting down, not yet accepting connections while it
    // recovers after a crash, in recovery); a full server is busy, not
    // refusing; and a server ending the session as it goes down ("terminating
    // connection due to unexpected postmaster exit", "... administrator
    // command", "... because of crash of another server process") will take
    // the connection again once it is back.
    for (const char* transient :
         {"the database system is", "too many clients", "connection slots are reserved",
          "administrator command", "terminating connection"}) {
        if (message.find(transient) != std::string::npos) {
            return StoreProblem::Unreachable;
        }
    }
    return StoreProblem::Refused;
}

Result<std::unique_ptr<SqlConnection>> ConnectPostgres(const std::string& url,
                                                       StoreProblem& problem, Abandon abandon) {
    PGconn* connection = StartConnection(url, abandon);
    const std::string shown = WithoutPassword(url);
    if (connection == nullptr) {
        problem = StoreProblem::Unreachable;
        return Failure{"The results database " + shown + " cannot be reached: it did not answer",
                       ""};
    }
    if (PQstatus(connection) != CONNECTION_OK) {
        const std::string why = Trimmed(PQerrorMessage(connection));
        PQfinish(connection);
        problem = PostgresConnectProblem(why);
        return Failure{(problem == StoreProblem::Refused
                            ? "The results database " + shown + " refused the connection: "
                            : "The results database " + shown + " cannot be reached: ") +
                           why,
                       ""};
    }
    PQsetNoticeProcessor(connection, &IgnoreNotice, nullptr);
    problem = StoreProblem::None;
    return std::unique_ptr<SqlConnection>(
        std::make_unique<PostgresConnection>(connection, shown, abandon));
}

}  // namespace orvik::results
