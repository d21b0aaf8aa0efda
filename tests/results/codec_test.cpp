// The bytes the results database and its outbox keep: profiles, waiting
// measurements, and the names measurements are known by.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cmath>

#include "collection/trace_record.h"
#include "results/measurement_codec.h"
#include "results/measurement_identity.h"
#include "results/profile_codec.h"
#include "results_test_data.h"

namespace orvik::testing {
namespace {

using results::StoredProfile;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    char two[3];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(two, sizeof two, "%02x", byte);
        text += two;
    }
    return text;
}

TEST(MeasurementIdentity, Sha1GivesThePublishedDigests) {
    // FIPS 180 examples, and one that needs a second padding block.
    EXPECT_EQ(Hex(results::Sha1(Bytes("abc"))), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Hex(results::Sha1(Bytes(""))), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Hex(results::Sha1(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"))),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Hex(results::Sha1(std::vector<std::uint8_t>(1000000, 'a'))),
              "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(MeasurementIdentity, ATraceIsKnownByItsStoredBytes) {
    COrvikDoc document;
    ASSERT_TRUE(document.Open(std::string(ORVIK_SAMPLES_DIR) + "/sample.tdr").Ok());
    const auto& trace = dynamic_cast<const TraceRecord&>(*document.Items()[0]);
    const std::string uuid = results::MeasurementUuid(trace);
    // Version 5, RFC 4122 variant, 36 characters.
    ASSERT_EQ(uuid.size(), 36u);
    EXPECT_EQ(uuid[14], '5');
    EXPECT_NE(std::string("89ab").find(uuid[19]), std::string::npos);
    // The same trace read again, or copied as Record Test copies it: the same.
    TraceRecord copy;
    copy.CopyFrom(trace);
    copy.ElementPosition = trace.ElementPosition;
    EXPECT_EQ(results::MeasurementUuid(copy), uuid);
    // Anything that makes it another measurement makes another UUID.
    copy.Samples[400].Impedance += 1e-9;
    EXPECT_NE(results::MeasurementUuid(copy), uuid);
    copy.CopyFrom(trace);
    copy.Time += 1;
    EXPECT_NE(results::MeasurementUuid(copy), uuid);
}

TEST(ProfileCodec, AnAcquiredProfileTakesThreeKilobytes) {
    TraceRecord trace;
    std::vector<double> values(kProfileSampleCount);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = 50.0 + std::sin(static_cast<double>(i) / 30.0);
    }
    trace.FillFromAcquisition(nullptr, values, 0);
    const StoredProfile profile = results::ProfileOf(trace.Samples);
    EXPECT_TRUE(profile.Positions.empty());
    EXPECT_EQ(results::EncodeProfile(profile).size(), 3021u);
    const std::vector<TraceSample> back = results::SamplesOf(profile);
    ASSERT_EQ(back.size(), trace.Samples.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        EXPECT_NEAR(back[i].Position, trace.Samples[i].Position, 1e-9);
        EXPECT_EQ(back[i].Impedance, static_cast<float>(trace.Samples[i].Impedance));
    }
}

RC_GTEST_PROP(ProfileCodec, AnyProfileReadsBackAsItsFloats,
              (std::vector<double> impedances, bool evenly, double first)) {
    std::vector<TraceSample> samples;
    for (std::size_t i = 0; i < impedances.size(); ++i) {
        const double position = evenly ? first + static_cast<double>(i) / 75.0
                                       : static_cast<double>(*rc::gen::arbitrary<float>());
        samples.push_back({position, impedances[i]});
    }
    const StoredProfile profile = results::ProfileOf(samples);
    const auto decoded = results::DecodeProfile(results::EncodeProfile(profile));
    RC_ASSERT(decoded.has_value());
    const std::vector<TraceSample> back = results::SamplesOf(*decoded);
    RC_ASSERT(back.size() == samples.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        const float impedance = static_cast<float>(samples[i].Impedance);
        RC_ASSERT((std::isnan(impedance) && std::isnan(back[i].Impedance)) ||
                  back[i].Impedance == impedance);
        const double tolerance = profile.Positions.empty() ? 1e-9 : 0.0;
        const double expected = profile.Positions.empty() ? samples[i].Position
                                                          : static_cast<float>(samples[i].Position);
        RC_ASSERT(back[i].Position == expected ||
                  (std::isnan(expected) && std::isnan(back[i].Position)) ||
                  std::fabs(back[i].Position - expected) <= tolerance);
    }
}

TEST(ProfileCodec, BytesThatHoldNoProfileAreRefused) {
    const std::vector<std::uint8_t> cases[] = {
        {},                           // nothing
        {1, 0, 0, 0},                 // cut in the count
        {3, 0, 0, 0, 0},              // no such kind
        {1, 0, 0, 0, 0},              // evenly spaced without first and step
        {2, 0, 0, 0, 0},              // listed, and nothing listed
        {2, 1, 0, 0, 0, 0, 0, 0, 0},  // one listed sample without its impedance
        {1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // a count
                                                                                      // the bytes
                                                                                      // cannot hold
    };
    for (const auto& bytes : cases) {
        EXPECT_FALSE(results::DecodeProfile(bytes).has_value()) << Hex(bytes);
    }
}

RC_GTEST_PROP(ProfileCodec, NoBytesAreMistakenForAProfileTheyCannotHold,
              (std::vector<std::uint8_t> bytes)) {
    const auto decoded = results::DecodeProfile(bytes);
    if (decoded) {
        RC_ASSERT(results::EncodeProfile(*decoded) == bytes);
    }
}

TEST(MeasurementCodec, AWaitingMeasurementReadsBackWholeAndNothingShorterPasses) {
    std::vector<results::Measurement> sample = SampleMeasurements();
    sample[0].Average = std::nan("");
    sample[2].Station.reset();
    sample[2].Coupon = "";
    for (const results::Measurement& m : sample) {
        const std::vector<std::uint8_t> bytes = results::EncodeMeasurement(m);
        const auto back = results::DecodeMeasurement(bytes);
        ASSERT_TRUE(back.has_value());
        ExpectSame(m, *back);
        for (std::size_t cut = 0; cut < bytes.size(); cut += 7) {
            ASSERT_FALSE(results::DecodeMeasurement(std::span(bytes).first(cut)).has_value())
                << "cut at " << cut;
        }
    }
}

RC_GTEST_PROP(MeasurementCodec, ArbitraryBytesNeverCrashTheReader,
              (std::vector<std::uint8_t> bytes)) {
    const auto m = results::DecodeMeasurement(bytes);
    if (m) {
        RC_ASSERT(results::DecodeMeasurement(results::EncodeMeasurement(*m)).has_value());
    }
}

}  // namespace
}  // namespace orvik::testing
