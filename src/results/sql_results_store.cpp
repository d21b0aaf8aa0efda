// The results store over either database: the same statements, numbered
// parameters, in both dialects.
#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "results/profile_codec.h"
#include "results/results_schema.h"
#include "results/results_store.h"

namespace orvik::results {
namespace {

constexpr const char* kInsertMeasurement = R"sql(
INSERT INTO measurements (uuid, recorded_at, station, instrument, script_run, operator, coupon,
    test, element_position, name, mode, average, deviation, minimum, maximum, passed,
    criterion_name, criterion_target, criterion_error, criterion_maximum, criterion_minimum,
    criterion_start, criterion_end, criterion_double_ended, collection_file, collection_item)
VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17, $18, $19,
    $20, $21, $22, $23, $24, $25, $26)
ON CONFLICT (uuid) DO NOTHING RETURNING id)sql";

constexpr const char* kInsertProfile =
    "INSERT INTO profiles (measurement, samples) VALUES ($1, $2)";

constexpr const char* kSelectMeasurements = R"sql(
SELECT m.uuid, m.recorded_at, m.station, s.name, s.host, m.instrument, i.serial,
    i.release_number, i.calibration_date, i.calibration_operator, m.operator, m.script_run,
    r.script, r.customer, r.job, r.station_id, r.operator, r.started, m.coupon, m.test,
    m.element_position, m.name, m.mode, m.average, m.deviation, m.minimum, m.maximum, m.passed,
    m.criterion_name, m.criterion_target, m.criterion_error, m.criterion_maximum,
    m.criterion_minimum, m.criterion_start, m.criterion_end, m.criterion_double_ended,
    m.collection_file, m.collection_item)sql";

constexpr const char* kSelectSummaries = R"sql(
SELECT m.test, m.element_position, m.recorded_at, m.average, m.passed, m.criterion_name,
    m.criterion_target, m.criterion_minimum, m.criterion_maximum, m.coupon, m.name,
    m.collection_file, m.id)sql";

// A dimension row (station, instrument, script run): found or added, by all
// of its columns.
struct Dimension {
    const char* Insert;
    const char* Select;
};

constexpr Dimension kStations = {
    "INSERT INTO stations (name, host) VALUES ($1, $2) ON CONFLICT (name, host) DO NOTHING "
    "RETURNING id",
    "SELECT id FROM stations WHERE name = $1 AND host = $2"};
constexpr Dimension kInstruments = {
    "INSERT INTO instruments (serial, release_number, calibration_date, calibration_operator) "
    "VALUES ($1, $2, $3, $4) ON CONFLICT (serial, release_number, calibration_date, "
    "calibration_operator) DO NOTHING RETURNING id",
    "SELECT id FROM instruments WHERE serial = $1 AND release_number = $2 AND "
    "calibration_date = $3 AND calibration_operator = $4"};
constexpr Dimension kScriptRuns = {
    "INSERT INTO script_runs (job, script, customer, station_id, operator, started) "
    "VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT (job, script, customer, station_id, operator, "
    "started) DO NOTHING RETURNING id",
    "SELECT id FROM script_runs WHERE job = $1 AND script = $2 AND customer = $3 AND "
    "station_id = $4 AND operator = $5 AND started = $6"};

SqlValue Text(const std::string& text) {
    return text;
}

SqlValue OptionalText(const std::optional<std::string>& text) {
    return text ? SqlValue(*text) : SqlValue();
}

// Not-a-number and infinities are stored as null: neither database keeps
// them the same way, and a statistic over them means nothing.
SqlValue Number(double value) {
    return std::isfinite(value) ? SqlValue(value) : SqlValue();
}

std::optional<std::string> OptionalTextOf(const SqlValue& value) {
    return IsNull(value) ? std::nullopt : std::optional<std::string>(TextOf(value));
}

class SqlResultsStore : public ResultsStore {
  public:
    explicit SqlResultsStore(std::unique_ptr<SqlConnection> connection)
        : connection_(std::move(connection)) {}

    StoreProblem LastProblem() const override { return problem_; }

    Result<StoreCounts> Store(std::span<const Measurement> measurements) override {
        const bool postgres = connection_->Dialect() == Backend::Postgres;
        if (auto begun = connection_->ExecuteScript(postgres ? "BEGIN" : "BEGIN IMMEDIATE");
            !begun) {
            return Fail(begun.Error());
        }
        StoreCounts counts;
        for (const Measurement& measurement : measurements) {
            Result<bool> stored = StoreOne(measurement);
            if (!stored) {
                return Fail(stored.Error());
            }
            ++(*stored ? counts.Stored : counts.AlreadyPresent);
        }
        if (auto committed = connection_->ExecuteScript("COMMIT"); !committed) {
            return Fail(committed.Error());
        }
        // Rows added in the transaction are known for good only now.
        ids_.merge(pending_);
        pending_.clear();
        problem_ = StoreProblem::None;
        return counts;
    }

    Result<std::vector<Measurement>> Query(const MeasurementFilter& filter) override {
        std::string sql = kSelectMeasurements;
        sql += filter.WithProfiles ? ", p.samples" : "";
        sql +=
            " FROM measurements m LEFT JOIN stations s ON s.id = m.station"
            " LEFT JOIN instruments i ON i.id = m.instrument"
            " LEFT JOIN script_runs r ON r.id = m.script_run";
        sql += filter.WithProfiles ? " LEFT JOIN profiles p ON p.measurement = m.id" : "";
        return Select<Measurement>(
            std::move(sql), filter, Sorted::ByStatement,
            [&](const SqlRow& row) { return FromRow(row, filter.WithProfiles); });
    }

    Result<std::vector<MeasurementSummary>> QuerySummaries(
        const MeasurementFilter& filter) override {
        // Only the tables a condition names are joined in.
        std::string sql = kSelectSummaries;
        sql += " FROM measurements m";
        sql += filter.Station ? " JOIN stations s ON s.id = m.station" : "";
        sql += filter.Job || filter.Script || filter.RunStarted
                   ? " JOIN script_runs r ON r.id = m.script_run"
                   : "";
        std::vector<std::int64_t> ids;  // the order they were stored in
        auto summaries = Select<MeasurementSummary>(std::move(sql), filter, Sorted::Here,
                                                    [&ids](const SqlRow& row) {
                                                        ids.push_back(IntOf(row[12]));
                                                        return SummaryFromRow(row);
                                                    });
        if (!summaries) {
            return summaries;
        }
        return OldestFirst(std::move(*summaries), ids);
    }

  private:
    // Oldest first in the statement, or left to the caller: the database
    // hands rows over in the order of the index it found them by, which for
    // one run of a job is the order wanted, so a sort here is mostly a check
    // where the statement's sort would cost a third of the reading.
    enum class Sorted { ByStatement, Here };

    // By time, then by the order stored.
    static std::vector<MeasurementSummary> OldestFirst(std::vector<MeasurementSummary> rows,
                                                       const std::vector<std::int64_t>& ids) {
        std::vector<std::size_t> order(rows.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        const auto earlier = [&](std::size_t a, std::size_t b) {
            return std::pair(rows[a].Time, ids[a]) < std::pair(rows[b].Time, ids[b]);
        };
        if (std::is_sorted(order.begin(), order.end(), earlier)) {
            return rows;
        }
        std::sort(order.begin(), order.end(), earlier);
        std::vector<MeasurementSummary> sorted;
        sorted.reserve(rows.size());
        for (const std::size_t place : order) {
            sorted.push_back(std::move(rows[place]));
        }
        return sorted;
    }

    // Runs `sql` (the columns and tables) with the filter's conditions and
    // makes each row into a T.
    template <typename T, typename Make>
    Result<std::vector<T>> Select(std::string sql, const MeasurementFilter& filter, Sorted sorted,
                                  Make make) {
        std::vector<SqlValue> parameters;
        const auto where = [&](const char* condition, SqlValue value) {
            parameters.push_back(std::move(value));
            sql += (parameters.size() == 1 ? " WHERE " : " AND ") + std::string(condition) + " $" +
                   std::to_string(parameters.size());
        };
        if (filter.Uuid)
            where("m.uuid =", *filter.Uuid);
        if (filter.Job)
            where("r.job =", *filter.Job);
        if (filter.Script)
            where("r.script =", *filter.Script);
        if (filter.RunStarted)
            where("r.started =", *filter.RunStarted);
        if (filter.Test)
            where("m.test =", *filter.Test);
        if (filter.Criterion)
            where("m.criterion_name =", *filter.Criterion);
        if (filter.Station)
            where("s.name =", *filter.Station);
        if (filter.Operator)
            where("m.operator =", *filter.Operator);
        if (filter.Since)
            where("m.recorded_at >=", *filter.Since);
        if (filter.Until)
            where("m.recorded_at <", *filter.Until);
        sql += sorted == Sorted::ByStatement ? " ORDER BY m.recorded_at, m.id" : "";
        std::vector<T> made;
        const Status read = connection_->ExecuteEach(
            sql, parameters, [&](const SqlRow& row) { made.push_back(make(row)); });
        if (!read) {
            problem_ = connection_->LastProblem();
            return read.Error();
        }
        problem_ = StoreProblem::None;
        return made;
    }

    Failure Fail(const Failure& failure) {
        problem_ = connection_->LastProblem();
        (void)connection_->ExecuteScript("ROLLBACK");
        pending_.clear();
        return failure;
    }

    // The id of the dimension row with these values, added when missing.
    Result<SqlValue> Ensure(const Dimension& dimension, std::vector<SqlValue> values) {
        std::string key = dimension.Insert;
        for (const SqlValue& value : values) {
            key += '\x1f' + (std::holds_alternative<std::string>(value)
                                 ? TextOf(value)
                                 : std::to_string(IntOf(value)));
        }
        if (const auto known = ids_.find(key); known != ids_.end()) {
            return SqlValue(known->second);
        }
        if (const auto added = pending_.find(key); added != pending_.end()) {
            return SqlValue(added->second);
        }
        auto inserted = connection_->Execute(dimension.Insert, values);
        if (!inserted) {
            return inserted.Error();
        }
        if (inserted->empty()) {
            inserted = connection_->Execute(dimension.Select, values);
            if (!inserted) {
                return inserted.Error();
            }
            if (inserted->empty()) {
                return Failure{"The results database lost a row it had just found", key};
            }
        }
        const std::int64_t id = IntOf(inserted->front().front());
        pending_.emplace(std::move(key), id);
        return SqlValue(id);
    }

    // True when stored, false when its UUID was there already.
    Result<bool> StoreOne(const Measurement& m) {
        SqlValue station, instrument, run;
        if (m.Station) {
            auto id = Ensure(kStations, {Text(m.Station->Name), Text(m.Station->Host)});
            if (!id)
                return id.Error();
            station = *id;
        }
        if (m.Instrument) {
            auto id = Ensure(
                kInstruments,
                {Text(m.Instrument->Serial), std::int64_t{m.Instrument->Release},
                 Text(m.Instrument->CalibrationDate), Text(m.Instrument->CalibrationOperator)});
            if (!id)
                return id.Error();
            instrument = *id;
        }
        if (m.Run) {
            auto id = Ensure(kScriptRuns,
                             {Text(m.Run->Job), Text(m.Run->Script), Text(m.Run->Customer),
                              Text(m.Run->StationId), Text(m.Run->Operator), m.Run->Started});
            if (!id)
                return id.Error();
            run = *id;
        }
        const Criterion& c = m.Judged;
        const std::vector<SqlValue> values = {Text(m.Uuid),
                                              m.Time,
                                              station,
                                              instrument,
                                              run,
                                              Text(m.Operator),
                                              OptionalText(m.Coupon),
                                              OptionalText(m.Test),
                                              std::int64_t{m.ElementPosition},
                                              Text(m.Name),
                                              Text(ModeText(m.Mode)),
                                              Number(m.Average),
                                              Number(m.Deviation),
                                              Number(m.Minimum),
                                              Number(m.Maximum),
                                              std::int64_t{m.Passed ? 1 : 0},
                                              Text(c.Name),
                                              Number(c.TargetImpedance),
                                              Number(c.AllowableError),
                                              Number(c.MaximumImpedance),
                                              Number(c.MinimumImpedance),
                                              Number(c.StartPosition),
                                              Number(c.EndPosition),
                                              std::int64_t{c.DoubleEnded != 0 ? 1 : 0},
                                              Text(m.CollectionFile),
                                              std::int64_t{m.CollectionItem}};
        auto inserted = connection_->Execute(kInsertMeasurement, values);
        if (!inserted) {
            return inserted.Error();
        }
        if (inserted->empty()) {
            return false;
        }
        if (m.Profile) {
            const SqlValue profile[] = {inserted->front().front(), EncodeProfile(*m.Profile)};
            if (auto stored = connection_->Execute(kInsertProfile, profile); !stored) {
                return stored.Error();
            }
        }
        return true;
    }

    static Measurement FromRow(const SqlRow& row, bool withProfile) {
        Measurement m;
        m.Uuid = TextOf(row[0]);
        m.Time = IntOf(row[1]);
        if (!IsNull(row[2])) {
            m.Station = StationIdentity{TextOf(row[3]), TextOf(row[4])};
        }
        if (!IsNull(row[5])) {
            m.Instrument =
                InstrumentIdentity{TextOf(row[6]), static_cast<std::int32_t>(IntOf(row[7])),
                                   TextOf(row[8]), TextOf(row[9])};
        }
        m.Operator = TextOf(row[10]);
        if (!IsNull(row[11])) {
            m.Run = ScriptRunInfo{TextOf(row[12]), TextOf(row[13]), TextOf(row[14]),
                                  TextOf(row[15]), TextOf(row[16]), IntOf(row[17])};
        }
        m.Coupon = OptionalTextOf(row[18]);
        m.Test = OptionalTextOf(row[19]);
        m.ElementPosition = static_cast<std::int32_t>(IntOf(row[20]));
        m.Name = TextOf(row[21]);
        m.Mode = ModeFromText(TextOf(row[22])).value_or(MeasurementMode::SingleEnded);
        m.Average = DoubleOf(row[23]);
        m.Deviation = DoubleOf(row[24]);
        m.Minimum = DoubleOf(row[25]);
        m.Maximum = DoubleOf(row[26]);
        m.Passed = IntOf(row[27]) != 0;
        m.Judged.Name = TextOf(row[28]);
        m.Judged.TargetImpedance = DoubleOf(row[29]);
        m.Judged.AllowableError = DoubleOf(row[30]);
        m.Judged.MaximumImpedance = DoubleOf(row[31]);
        m.Judged.MinimumImpedance = DoubleOf(row[32]);
        m.Judged.StartPosition = DoubleOf(row[33]);
        m.Judged.EndPosition = DoubleOf(row[34]);
        m.Judged.DoubleEnded = IntOf(row[35]) != 0 ? 1 : 0;
        m.Judged.Id = 0;
        m.CollectionFile = TextOf(row[36]);
        m.CollectionItem = static_cast<std::int32_t>(IntOf(row[37]));
        if (withProfile && std::holds_alternative<SqlBlob>(row[38])) {
            m.Profile = DecodeProfile(std::get<SqlBlob>(row[38]));
        }
        return m;
    }

    static MeasurementSummary SummaryFromRow(const SqlRow& row) {
        return {.Test = OptionalTextOf(row[0]),
                .ElementPosition = static_cast<std::int32_t>(IntOf(row[1])),
                .Time = IntOf(row[2]),
                .Average = DoubleOf(row[3]),
                .Passed = IntOf(row[4]) != 0,
                .Criterion = TextOf(row[5]),
                .Target = DoubleOf(row[6]),
                .Minimum = DoubleOf(row[7]),
                .Maximum = DoubleOf(row[8]),
                .Coupon = OptionalTextOf(row[9]),
                .Name = TextOf(row[10]),
                .CollectionFile = TextOf(row[11])};
    }

    std::unique_ptr<SqlConnection> connection_;
    StoreProblem problem_ = StoreProblem::None;
    std::map<std::string, std::int64_t> ids_;      // dimension rows known to be stored
    std::map<std::string, std::int64_t> pending_;  // added in the open transaction
};

}  // namespace

Result<std::vector<MeasurementSummary>> ResultsStore::QuerySummaries(
    const MeasurementFilter& filter) {
    MeasurementFilter lean = filter;
    lean.WithProfiles = false;
    auto measurements = Query(lean);
    if (!measurements) {
        return measurements.Error();
    }
    std::vector<MeasurementSummary> summaries;
    summaries.reserve(measurements->size());
    for (const Measurement& m : *measurements) {
        summaries.push_back(SummaryOf(m));
    }
    return summaries;
}

std::unique_ptr<ResultsStore> MakeSqlResultsStore(std::unique_ptr<SqlConnection> connection) {
    return std::make_unique<SqlResultsStore>(std::move(connection));
}

Result<std::unique_ptr<ResultsStore>> OpenResultsStore(const ResultsLocation& location,
                                                       StoreProblem& problem, Abandon abandon) {
    auto connection = Connect(location, problem, abandon);
    if (!connection) {
        return connection.Error();
    }
    if (auto migrated = Migrate(**connection, ResultsMigrations(), problem); !migrated) {
        return migrated.Error();
    }
    return MakeSqlResultsStore(std::move(*connection));
}

}  // namespace orvik::results
