#include "results/results_outbox.h"

#include <functional>

#include "results/measurement_codec.h"

namespace orvik::results {
namespace {

constexpr const char* kOutboxSchema =
    "CREATE TABLE IF NOT EXISTS waiting ("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " target TEXT NOT NULL,"
    " uuid TEXT NOT NULL,"
    " body BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS waiting_by_target ON waiting (target, seq);";

}  // namespace

Result<std::unique_ptr<ResultsOutbox>> ResultsOutbox::Open(const std::string& path) {
    StoreProblem problem = StoreProblem::None;
    auto connection = ConnectSqlite(path, problem);
    if (!connection) {
        return Failure{"The results outbox " + path + " cannot be opened",
                       connection.Error().Message};
    }
    if (const Status made = (*connection)->ExecuteScript(kOutboxSchema); !made) {
        return Failure{"The results outbox " + path + " cannot be used", made.Error().Message};
    }
    return std::unique_ptr<ResultsOutbox>(new ResultsOutbox(path, std::move(*connection)));
}

Status ResultsOutbox::InTransaction(const std::function<Status()>& work) {
    if (const Status begun = connection_->ExecuteScript("BEGIN IMMEDIATE"); !begun) {
        return begun;
    }
    Status done = work();
    if (done) {
        done = connection_->ExecuteScript("COMMIT");
    }
    if (!done) {
        (void)connection_->ExecuteScript("ROLLBACK");
    }
    return done;
}

Status ResultsOutbox::Put(const std::string& target, std::span<const Measurement> measurements) {
    return InTransaction([&]() -> Status {
        for (const Measurement& measurement : measurements) {
            const SqlValue values[] = {target, measurement.Uuid, EncodeMeasurement(measurement)};
            if (auto put = connection_->Execute(
                    "INSERT INTO waiting (target, uuid, body) VALUES ($1, $2, $3)", values);
                !put) {
                return put.Error();
            }
        }
        return {};
    });
}

Result<std::vector<ResultsOutbox::Entry>> ResultsOutbox::Oldest(const std::string& target,
                                                                std::size_t limit) {
    std::vector<Entry> entries;
    std::int64_t after = 0;
    // Unreadable entries are passed over, so more rows may be needed than `limit`.
    while (entries.size() < limit) {
        const SqlValue values[] = {target, after, static_cast<std::int64_t>(limit)};
        auto rows = connection_->Execute(
            "SELECT seq, body FROM waiting WHERE target = $1 AND seq > $2 ORDER BY seq LIMIT $3",
            values);
        if (!rows) {
            return rows.Error();
        }
        for (const SqlRow& row : *rows) {
            after = IntOf(row[0]);
            const auto* body = std::get_if<SqlBlob>(&row[1]);
            if (body == nullptr) {
                continue;
            }
            if (auto measurement = DecodeMeasurement(*body);
                measurement && entries.size() < limit) {
                entries.push_back({after, std::move(*measurement)});
            }
        }
        if (rows->size() < limit) {
            break;
        }
    }
    return entries;
}

Status ResultsOutbox::Remove(std::span<const std::int64_t> sequences) {
    return InTransaction([&]() -> Status {
        for (const std::int64_t sequence : sequences) {
            const SqlValue value = sequence;
            if (auto removed =
                    connection_->Execute("DELETE FROM waiting WHERE seq = $1", {&value, 1});
                !removed) {
                return removed.Error();
            }
        }
        return {};
    });
}

Result<std::size_t> ResultsOutbox::Count(const std::string& target) {
    const SqlValue value = target;
    auto rows = connection_->Execute("SELECT count(*) FROM waiting WHERE target = $1", {&value, 1});
    if (!rows) {
        return rows.Error();
    }
    return static_cast<std::size_t>(IntOf(rows->front().front()));
}

Status ResultsOutbox::Retarget(const std::string& from, const std::string& to) {
    const SqlValue values[] = {to, from};
    if (auto moved =
            connection_->Execute("UPDATE waiting SET target = $1 WHERE target = $2", values);
        !moved) {
        return moved.Error();
    }
    return {};
}

}  // namespace orvik::results
