// The results database at the size of a floor's year: listing one job among
// 1,000,000 stored measurements (target: under 100 ms on either back end),
// and what a measurement costs in the SQLite file (targets: under 1 KB
// without its profile, under 4 KB with it).
//
// ORVIK_BENCH_MEASUREMENTS sets the count (default 1,000,000). The SQLite
// database is made once and kept in the temporary folder; PostgreSQL runs on
// a server of its own (started as the tests start theirs) when the build has
// the tests.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <unistd.h>

#include "collection/orvik_doc.h"
#include "results/collection_measurements.h"
#include "results/measurement_identity.h"
#include "results/results_store.h"
#include "results/sql_connection.h"
#ifdef ORVIK_BENCH_POSTGRES
#include "postgres_server.h"
#endif

namespace {

namespace fs = std::filesystem;
using orvik::results::MeasurementFilter;
using orvik::results::ResultsLocation;
using orvik::results::StoreProblem;

// The sample collection's first scripted trace, as a station files it.
orvik::results::Measurement SampleMeasurement() {
    orvik::COrvikDoc document;
    if (!document.Open(std::string(ORVIK_SAMPLES_DIR) + "/sample.tdr")) {
        std::abort();
    }
    const orvik::results::RecordingContext context{
        orvik::results::StationIdentity{"Bench 3", "tdr-bench-3"},
        orvik::results::InstrumentIdentity{"SIM0300001", 0x64, "2026-11-02", "Kim"}, "kim",
        "/data/LOT4471.tdr"};
    return orvik::results::MeasurementsOf(document.Items(), context).at(1);
}

constexpr int kJobs = 1000;
constexpr int kConcurrentJobs = 20;  // jobs running at once across the floor

long MeasurementCount() {
    const char* count = std::getenv("ORVIK_BENCH_MEASUREMENTS");
    return count != nullptr ? std::atol(count) : 1000000;
}

// Whole jobs of measurements, made by the database itself: stations, one
// instrument, the jobs' script runs, and the measurements of twenty jobs
// at a time interleaved as a floor records them. Profiles are left out: the
// listing never reads them (they have a table of their own).
std::string FillSql(orvik::results::Backend dialect, long count) {
    const bool postgres = dialect == orvik::results::Backend::Postgres;
    const std::string numbers =
        postgres ? "SELECT i FROM generate_series(0, " + std::to_string(count - 1) + ") AS n(i)"
                 : "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                       std::to_string(count - 1) + ") SELECT i FROM n";
    const std::string perJob = std::to_string(count / kJobs);
    const std::string window = std::to_string(count / kJobs * kConcurrentJobs);
    // The job of measurement i: twenty jobs share each window of the table.
    const std::string job = "((i / " + window + ") * " + std::to_string(kConcurrentJobs) +
                            " + i % " + std::to_string(kConcurrentJobs) + ")";
    const std::string uuid = postgres ? "md5(i::text)" : "printf('%032x', i)";
    const std::string jobName =
        postgres ? "'J-' || lpad(CAST(j AS TEXT), 4, '0')" : "printf('J-%04d', j)";
    return "INSERT INTO stations (id, name, host) SELECT s, 'station-' || s, 'floor' FROM (" +
           (postgres ? std::string("SELECT generate_series(1, 20) AS s")
                     : std::string("WITH RECURSIVE t(s) AS (SELECT 1 UNION ALL SELECT s + 1 FROM t "
                                   "WHERE s < 20) SELECT s FROM t")) +
           ") AS stations_made;"
           "INSERT INTO instruments (id, serial, release_number, calibration_date, "
           "calibration_operator) VALUES (1, 'MV3-0042', 100, '2026-11-02', 'Kim');"
           "INSERT INTO script_runs (id, job, script, customer, station_id, operator, started) "
           "SELECT j + 1, " +
           jobName +
           ", 'Lot impedance', 'Acme Boards', 'Station 3', 'kim', "
           "1790000000 + j * 3600 FROM (SELECT i AS j FROM (" +
           numbers +
           ") AS all_numbers "
           "WHERE i < " +
           std::to_string(kJobs) +
           ") AS runs;"
           "INSERT INTO measurements (uuid, recorded_at, station, instrument, script_run, "
           "operator, coupon, test, element_position, name, mode, average, deviation, minimum, "
           "maximum, passed, criterion_name, criterion_target, criterion_error, "
           "criterion_maximum, criterion_minimum, criterion_start, criterion_end, "
           "criterion_double_ended, collection_file, collection_item) "
           "SELECT " +
           uuid + ", 1790000000 + i * 3, 1 + i % 20, 1, 1 + " + job +
           ", 'kim', "
           "CAST(i / 2 AS TEXT), CASE i % 2 WHEN 0 THEN '-SE' ELSE '-DIFF' END, 1 + i % 2, "
           "'LOT4471-' || CAST(i / 2 AS TEXT) || CASE i % 2 WHEN 0 THEN '-SE' ELSE '-DIFF' END, "
           "'single', 50.0 + (i % 97) / 100.0, 0.4, 49.5, 51.5, 1, 'SE 50 ohm', 50.0, 10.0, "
           "55.0, 45.0, 4.0, 7.0, 0, '/data/LOT4471.tdr', i % " +
           perJob + " FROM (" + numbers + ") AS made;";
}

void Fill(const ResultsLocation& location, long count) {
    StoreProblem problem;
    auto store = orvik::results::OpenResultsStore(location, problem);  // the schema
    auto connection = orvik::results::Connect(location, problem);
    if (!store || !connection ||
        !(*connection)->ExecuteScript(FillSql((*connection)->Dialect(), count)) ||
        !(*connection)
             ->ExecuteScript((*connection)->Dialect() == orvik::results::Backend::Postgres
                                 ? "ANALYZE"
                                 : "ANALYZE; PRAGMA wal_checkpoint(TRUNCATE)")) {
        std::fprintf(stderr, "cannot fill %s\n", location.Shown().c_str());
        std::abort();
    }
}

// The listing as orvik-cli results --job and the statistics read it.
void ListOneJob(benchmark::State& state, const ResultsLocation& location, long count) {
    StoreProblem problem;
    auto store = orvik::results::OpenResultsStore(location, problem);
    MeasurementFilter filter;
    filter.Job = "J-0500";
    std::size_t listed = 0;
    for (auto _ : state) {
        const auto found = store.Value()->Query(filter);
        listed = found ? found->size() : 0;
        benchmark::DoNotOptimize(listed);
    }
    state.counters["listed"] = static_cast<double>(listed);
    state.counters["stored"] = static_cast<double>(count);
}

void BM_ListOneJobSqlite(benchmark::State& state) {
    const long count = MeasurementCount();
    const fs::path path =
        fs::temp_directory_path() / ("orvik-bench-results-" + std::to_string(count) + ".sqlite");
    if (!fs::exists(path)) {
        Fill(*orvik::results::ParseResultsLocation(path.string()), count);
    }
    ListOneJob(state, *orvik::results::ParseResultsLocation(path.string()), count);
    state.counters["file_bytes_per_measurement"] =
        static_cast<double>(fs::file_size(path)) / static_cast<double>(count);
}
BENCHMARK(BM_ListOneJobSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef ORVIK_BENCH_POSTGRES
void BM_ListOneJobPostgres(benchmark::State& state) {
    static orvik::testing::PostgresServer server;
    static const std::string url = server.Url(server.CreateDatabase());
    static const bool filled =
        (Fill(*orvik::results::ParseResultsLocation(url), MeasurementCount()), true);
    (void)filled;
    ListOneJob(state, *orvik::results::ParseResultsLocation(url), MeasurementCount());
}
BENCHMARK(BM_ListOneJobPostgres)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// Real measurements (the sample collection's scripted trace, each with its
// own UUID and name) stored as a station stores them, in batches; the file's
// size over their count, with and without the 750-point profiles.
void BM_SqliteBytesPerMeasurement(benchmark::State& state) {
    const bool withProfiles = state.range(0) != 0;
    const int count = 20000;
    const fs::path path =
        fs::temp_directory_path() / ("orvik-bench-size-" + std::to_string(::getpid()) + ".sqlite");
    for (auto _ : state) {
        state.PauseTiming();
        for (const char* end : {"", "-wal", "-shm"}) {
            fs::remove(path.string() + end);
        }
        StoreProblem problem;
        auto store = orvik::results::OpenResultsStore(
            *orvik::results::ParseResultsLocation(path.string()), problem);
        std::vector<orvik::results::Measurement> batch;
        const orvik::results::Measurement sample = SampleMeasurement();
        state.ResumeTiming();
        for (int n = 0; n < count; ++n) {
            orvik::results::Measurement m = sample;
            const std::string key = "bench-" + std::to_string(n);
            m.Uuid = orvik::results::NameBasedUuid(
                std::span(reinterpret_cast<const std::uint8_t*>(key.data()), key.size()));
            m.Name = "LOT4471-" + std::to_string(n / 2) + (n % 2 ? "-DIFF" : "-SE");
            m.Coupon = std::to_string(n / 2);
            m.Time += n * 30;
            m.Run->Job = "J-" + std::to_string(n / 1000);
            if (!withProfiles) {
                m.Profile.reset();
            }
            batch.push_back(std::move(m));
            if (batch.size() == 500) {
                (void)store.Value()->Store(batch);
                batch.clear();
            }
        }
        state.PauseTiming();
        store.Value().reset();
        auto connection =
            orvik::results::Connect(*orvik::results::ParseResultsLocation(path.string()), problem);
        (void)(*connection)->ExecuteScript("PRAGMA wal_checkpoint(TRUNCATE)");
        state.counters["bytes_per_measurement"] = static_cast<double>(fs::file_size(path)) / count;
        state.ResumeTiming();
    }
    for (const char* end : {"", "-wal", "-shm"}) {
        fs::remove(path.string() + end);
    }
}
BENCHMARK(BM_SqliteBytesPerMeasurement)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
