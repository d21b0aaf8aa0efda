// The SQLite side of SqlConnection, over SQLite's own C API.
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "results/sql_connection.h"

namespace orvik::results {
namespace {

// How long a statement waits for another program's write to the same file,
// in slices that look at the abandon flag.
constexpr int kBusyTimeoutMs = 10000;
constexpr int kBusySliceMs = 10;

int WaitWhileBusy(void* abandon, int tries) {
    const auto* flag = static_cast<const std::atomic<bool>*>(abandon);
    if ((flag != nullptr && flag->load()) || tries * kBusySliceMs >= kBusyTimeoutMs) {
        return 0;  // give up: SQLITE_BUSY
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kBusySliceMs));
    return 1;
}
// Pages that hold several 3 KB profiles each instead of one, so that a
// stored profile takes little more than its bytes.
constexpr const char* kNewFileSettings = "PRAGMA page_size = 16384; PRAGMA journal_mode = WAL;";

// SQLite numbers parameters ?1, ?2, ...; the shared statements say $1, $2, ...
std::string SqliteParameters(std::string_view sql) {
    std::string out(sql);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == '$' && out[i + 1] >= '0' && out[i + 1] <= '9') {
            out[i] = '?';
        }
    }
    return out;
}

StoreProblem ProblemOf(int code) {
    const int primary = code & 0xFF;
    // Another program holds the file for longer than the wait: try again later.
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? StoreProblem::Unreachable
                                                              : StoreProblem::Refused;
}

class SqliteConnection : public SqlConnection {
  public:
    SqliteConnection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    ~SqliteConnection() override {
        for (auto& [sql, statement] : statements_) {
            sqlite3_finalize(statement);
        }
        sqlite3_close(db_);
    }
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    Backend Dialect() const override { return Backend::Sqlite; }
    const std::string& Shown() const override { return path_; }

    Result<std::vector<SqlRow>> Execute(std::string_view sql,
                                        std::span<const SqlValue> parameters) override {
        std::vector<SqlRow> rows;
        const Status done =
            ExecuteEach(sql, parameters, [&rows](const SqlRow& row) { rows.push_back(row); });
        if (!done) {
            return done.Error();
        }
        return rows;
    }

    Status ExecuteEach(std::string_view sql, std::span<const SqlValue> parameters,
                       const std::function<void(const SqlRow&)>& visit) override {
        sqlite3_stmt* statement = Prepared(sql);
        if (statement == nullptr) {
            return Fail(sqlite3_extended_errcode(db_)).Error();
        }
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            Bind(statement, static_cast<int>(i + 1), parameters[i]);
        }
        SqlRow row;  // one row's values, their storage kept from row to row
        int code = SQLITE_OK;
        while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
            ReadRow(statement, row);
            visit(row);
        }
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        if (code != SQLITE_DONE) {
            return Fail(code).Error();
        }
        problem_ = StoreProblem::None;
        return {};
    }

    Status ExecuteScript(std::string_view sql) override {
        char* message = nullptr;
        const int code = sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &message);
        sqlite3_free(message);
        if (code != SQLITE_OK) {
            return Fail(code).Error();
        }
        problem_ = StoreProblem::None;
        return {};
    }

  private:
    sqlite3_stmt* Prepared(std::string_view sql) {
        const std::string text = SqliteParameters(sql);
        if (const auto found = statements_.find(text); found != statements_.end()) {
            return found->second;
        }
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, text.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            sqlite3_finalize(statement);
            return nullptr;
        }
        statements_.emplace(text, statement);
        return statement;
    }

    static void Bind(sqlite3_stmt* statement, int index, const SqlValue& value) {
        if (const auto* number = std::get_if<std::int64_t>(&value)) {
            sqlite3_bind_int64(statement, index, *number);
        } else if (const auto* real = std::get_if<double>(&value)) {
            sqlite3_bind_double(statement, index, *real);  // not a number binds as null
        } else if (const auto* text = std::get_if<std::string>(&value)) {
            sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()),
                              SQLITE_TRANSIENT);
        } else if (const auto* blob = std::get_if<SqlBlob>(&value)) {
            sqlite3_bind_blob(statement, index, blob->data(), static_cast<int>(blob->size()),
                              SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(statement, index);
        }
    }

    static void ReadRow(sqlite3_stmt* statement, SqlRow& row) {
        const int columns = sqlite3_column_count(statement);
        row.resize(static_cast<std::size_t>(columns));
        for (int column = 0; column < columns; ++column) {
            SqlValue& value = row[static_cast<std::size_t>(column)];
            switch (sqlite3_column_type(statement, column)) {
                case SQLITE_INTEGER:
                    value = std::int64_t{sqlite3_column_int64(statement, column)};
                    break;
                case SQLITE_FLOAT:
                    value = sqlite3_column_double(statement, column);
                    break;
                case SQLITE_TEXT: {
                    const auto* text =
                        reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
                    const auto size =
                        static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
                    if (auto* kept = std::get_if<std::string>(&value)) {
                        kept->assign(text, size);
                    } else {
                        value = std::string(text, size);
                    }
                    break;
                }
                case SQLITE_BLOB: {
                    const auto* bytes =
                        static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, column));
                    const auto size =
                        static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
                    value = SqlBlob(bytes, bytes + size);
                    break;
                }
                default:
                    value = std::monostate{};
            }
        }
    }

    Result<std::vector<SqlRow>> Fail(int code) {
        problem_ = ProblemOf(code);
        return Failure{"The results database " + path_ + " refused: " + sqlite3_errstr(code),
                       sqlite3_errmsg(db_)};
    }

    sqlite3* db_;
    std::string path_;
    std::map<std::string, sqlite3_stmt*, std::less<>> statements_;
};

}  // namespace

Result<std::unique_ptr<SqlConnection>> ConnectSqlite(const std::string& path, StoreProblem& problem,
                                                     Abandon abandon) {
    problem = StoreProblem::Refused;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
    }
    sqlite3* db = nullptr;
    const int code =
        sqlite3_open_v2(path.c_str(), &db,
                        // One thread at a time uses a connection: no lock per call.
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        const std::string detail = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        sqlite3_close(db);
        return Failure{"The results database " + path + " cannot be opened: " + detail,
                       error ? "its folder: " + error.message() : std::string()};
    }
    sqlite3_busy_handler(db, &WaitWhileBusy, const_cast<std::atomic<bool>*>(abandon));
    auto connection = std::make_unique<SqliteConnection>(db, path);
    // Stations opening a new file together race to switch it to WAL; the
    // loser's switch is told "locked" at once, without the busy handler's
    // wait, though the file is fine a moment later: it waits as a busy file
    // would before giving up.
    for (int tries = 0;; ++tries) {
        const Status set = connection->ExecuteScript(kNewFileSettings);
        if (set) {
            break;
        }
        if (connection->LastProblem() != StoreProblem::Unreachable ||
            WaitWhileBusy(const_cast<std::atomic<bool>*>(abandon), tries) == 0) {
            problem = connection->LastProblem();
            return set.Error();
        }
    }
    problem = StoreProblem::None;
    return std::unique_ptr<SqlConnection>(std::move(connection));
}

}  // namespace orvik::results
