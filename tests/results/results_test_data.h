#pragma once

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "collection/orvik_doc.h"
#include "results/collection_measurements.h"
#include "results/measurement.h"
#include "results/measurement_identity.h"
#include "results/results_recorder.h"

namespace orvik::testing {

// The measurements of samples/sample.tdr as a station files them: one trace
// outside a script, then a coupon of the J-2209 run with its two tests.
inline std::vector<results::Measurement> SampleMeasurements() {
    COrvikDoc document;
    const Status opened = document.Open(std::string(ORVIK_SAMPLES_DIR) + "/sample.tdr");
    EXPECT_TRUE(opened.Ok());
    const results::RecordingContext context{
        results::StationIdentity{"Bench 3", "tdr-bench-3"},
        results::InstrumentIdentity{"SIM0300001", 0x64, "2026-11-02", "Kim"}, "kim",
        "/data/LOT4471.tdr"};
    return results::MeasurementsOf(document.Items(), context);
}

// One more measurement like the sample's scripted one, with its own UUID.
inline results::Measurement Made(const std::string& job, const std::string& test, std::int64_t time,
                                 const std::string& station, const std::string& name) {
    results::Measurement m = SampleMeasurements()[1];
    const std::string key =
        job + "|" + test + "|" + std::to_string(time) + "|" + station + "|" + name;
    m.Uuid = results::NameBasedUuid(
        std::span(reinterpret_cast<const std::uint8_t*>(key.data()), key.size()));
    m.Run->Job = job;
    m.Test = test;
    m.Time = time;
    m.Station->Name = station;
    m.Name = name;
    return m;
}

// Equal, with not-a-number equal to itself.
inline bool SameNumber(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

inline void ExpectSame(const results::Measurement& expected, const results::Measurement& actual) {
    results::Measurement a = expected;
    results::Measurement b = actual;
    EXPECT_TRUE(SameNumber(a.Average, b.Average)) << a.Average << " " << b.Average;
    EXPECT_TRUE(SameNumber(a.Deviation, b.Deviation));
    a.Average = b.Average = a.Deviation = b.Deviation = 0;
    EXPECT_TRUE(a == b) << "measurement " << expected.Name << " came back changed";
}

// Closing with a measurement under way against a database that does not
// answer in time: the wait ends with the grace, and the measurement is kept
// in the outbox for the next start.
inline void ExpectClosingInTime(const std::string& url, const std::string& outboxPath) {
    results::RecorderOptions options;
    options.OutboxPath = outboxPath;
    results::ResultsRecorder recorder(*results::ParseResultsLocation(url), options);
    recorder.Record(Made("J", "-SE", 1, "S", "m1"));
    std::this_thread::sleep_for(
        std::chrono::milliseconds(300));  // the attempt is under way, unanswered
    const auto closing = std::chrono::steady_clock::now();
    EXPECT_EQ(recorder.Close(std::chrono::milliseconds(200)), 1u) << url;
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(2)) << url;
    auto outbox = results::ResultsOutbox::Open(options.OutboxPath);
    ASSERT_TRUE(outbox.Ok());
    EXPECT_EQ(*(*outbox)->Count(recorder.Target().Shown()), 1u) << url;
}

}  // namespace orvik::testing
