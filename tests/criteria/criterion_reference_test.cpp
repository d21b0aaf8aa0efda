#include "criteria/criterion_reference.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cmath>
#include <limits>

#include "base/archive.h"
#include "base/crc32.h"
#include "test_files.h"

namespace orvik {
namespace {

CriterionReference Flat(std::int32_t id, double impedance, ToleranceUnit unit, double tolerance) {
    CriterionReference reference;
    reference.CriterionId = id;
    reference.TraceName = "Sample #: 1";
    reference.Time = 1'700'000'000;
    reference.Unit = unit;
    reference.Tolerance = tolerance;
    for (int i = 0; i < 750; ++i) {
        reference.Points.push_back({i / 75.0, impedance});
    }
    return reference;
}

rc::Gen<CriterionReference> ValidReference() {
    return rc::gen::exec([] {
        CriterionReference reference;
        reference.CriterionId = *rc::gen::arbitrary<std::int32_t>();
        reference.TraceName = *rc::gen::arbitrary<std::string>();
        reference.Time = *rc::gen::arbitrary<std::int64_t>();
        reference.Unit = *rc::gen::element(ToleranceUnit::Ohms, ToleranceUnit::Percent);
        reference.Tolerance = *rc::gen::inRange(0, 100000) / 1000.0;
        const int count = *rc::gen::inRange(2, 40);
        double position = *rc::gen::inRange(-100, 100) / 7.0;
        for (int i = 0; i < count; ++i) {
            position += *rc::gen::inRange(1, 1000) / 997.0;
            reference.Points.push_back({position, *rc::gen::inRange(-2000, 200000) / 13.0});
        }
        return reference;
    });
}

ReferenceSet SetOf(const std::vector<CriterionReference>& references) {
    ReferenceSet set;
    for (const CriterionReference& reference : references) {
        set.Set(reference);
    }
    return set;
}

RC_GTEST_PROP(ReferenceFile, EveryValidSetReadsBackAsWritten, ()) {
    const auto references = *rc::gen::container<std::vector<CriterionReference>>(ValidReference());
    const ReferenceSet set = SetOf(references);
    const Result<ReferenceSet> decoded = DecodeReferences(EncodeReferences(set));
    RC_ASSERT(decoded.Ok());
    RC_ASSERT(*decoded == set);
}

// Whatever byte changes or wherever the file is cut, the reader refuses it
// rather than taking a changed curve as the golden sample.
RC_GTEST_PROP(ReferenceFile, AnyChangedByteOrCutIsRefused, ()) {
    const ReferenceSet set = SetOf({*ValidReference(), *ValidReference()});
    std::vector<std::uint8_t> bytes = EncodeReferences(set);
    if (*rc::gen::arbitrary<bool>()) {
        const auto at = *rc::gen::inRange<std::size_t>(0, bytes.size());
        bytes[at] ^= *rc::gen::inRange<int>(1, 256);
    } else {
        bytes.resize(*rc::gen::inRange<std::size_t>(0, bytes.size()));
    }
    const Result<ReferenceSet> decoded = DecodeReferences(bytes);
    RC_ASSERT(!decoded.Ok());
    RC_ASSERT(!decoded.Error().Detail.empty());
}

// A payload under a correct header and checksum, as a program with a fault
// (or a hand-made file) could write it.
std::vector<std::uint8_t> Wrapped(const std::function<void(Archive&)>& payload,
                                  std::int32_t version = kReferenceFileVersion) {
    Archive body = Archive::ForStoring();
    payload(body);
    Archive file = Archive::ForStoring();
    file.WriteRaw("ORVIKREF", 8);
    file.WriteInt32(version);
    file.WriteInt32(static_cast<std::int32_t>(body.Bytes().size()));
    file.WriteInt32(static_cast<std::int32_t>(Crc32(body.Bytes())));
    file.WriteRaw(body.Bytes().data(), body.Bytes().size());
    return file.TakeBytes();
}

void WriteReference(Archive& archive, std::int32_t id, std::int32_t unit, double tolerance,
                    std::int32_t count, const std::vector<ReferencePoint>& points) {
    archive.WriteInt32(id);
    archive.WriteString("golden");
    archive.WriteInt32(0);
    archive.WriteInt32(0);
    archive.WriteInt32(unit);
    archive.WriteDouble(tolerance);
    archive.WriteInt32(count);
    for (const ReferencePoint& point : points) {
        archive.WriteDouble(point.Position);
        archive.WriteDouble(point.Impedance);
    }
}

TEST(ReferenceFile, RefusesContentsThatPassTheChecksumButMakeNoSense) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<ReferencePoint> good = {{0.0, 50.0}, {1.0, 51.0}};
    struct Case {
        const char* what;
        std::function<void(Archive&)> payload;
        std::int32_t version = kReferenceFileVersion;
    };
    const Case cases[] = {
        {"a newer layout", [&](Archive& a) { a.WriteInt32(0); }, kReferenceFileVersion + 1},
        {"layout version 0", [&](Archive& a) { a.WriteInt32(0); }, 0},
        {"a negative reference count", [&](Archive& a) { a.WriteInt32(-1); }},
        {"more references than bytes",
         [&](Archive& a) {
             a.WriteInt32(2);
             WriteReference(a, 1, 0, 2.0, 2, good);
         }},
        {"bytes after the last reference",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, 2.0, 2, good);
             a.WriteInt32(7);
         }},
        {"a point count beyond the file",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, 2.0, 0x7fffffff, good);
         }},
        {"a negative point count",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, 2.0, -2, {});
         }},
        {"one point",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, 2.0, 1, {{0.0, 50.0}});
         }},
        {"positions going back",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, 2.0, 2, {{1.0, 50.0}, {1.0, 51.0}});
         }},
        {"an impedance that is no number",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, 2.0, 2, {{0.0, nan}, {1.0, 51.0}});
         }},
        {"an impedance out of range",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, 2.0, 2, {{0.0, 1e13}, {1.0, 51.0}});
         }},
        {"a position out of range",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, 2.0, 2, {{-2e6, 50.0}, {1.0, 51.0}});
         }},
        {"an unknown tolerance unit",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 2, 2.0, 2, good);
         }},
        {"a negative tolerance",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, -1.0, 2, good);
         }},
        {"a tolerance of NaN",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 0, nan, 2, good);
         }},
        {"a percentage above 100",
         [&](Archive& a) {
             a.WriteInt32(1);
             WriteReference(a, 1, 1, 100.5, 2, good);
         }},
        {"two references for one criterion",
         [&](Archive& a) {
             a.WriteInt32(2);
             WriteReference(a, 4, 0, 2.0, 2, good);
             WriteReference(a, 4, 1, 2.0, 2, good);
         }},
    };
    for (const Case& c : cases) {
        const Result<ReferenceSet> decoded = DecodeReferences(Wrapped(c.payload, c.version));
        EXPECT_FALSE(decoded.Ok()) << c.what;
    }
    // The same shape with sound values reads.
    EXPECT_TRUE(DecodeReferences(Wrapped([&](Archive& a) {
                    a.WriteInt32(1);
                    WriteReference(a, 1, 1, 100.0, 2, good);
                })).Ok());
}

TEST(ReferenceFile, LiesBesideTheLibrary) {
    const std::pair<const char*, const char*> cases[] = {
        {"criteria.dat", "criteria.ref"},     {"/lab/criteria.dat", "/lab/criteria.ref"},
        {"/lab/line2.lib", "/lab/line2.ref"}, {"/lab.d/criteria", "/lab.d/criteria.ref"},
        {"/lab/.hidden", "/lab/.hidden.ref"},
    };
    for (const auto& [library, side] : cases) {
        EXPECT_EQ(ReferenceFilePath(library), side) << library;
    }
}

TEST(ReferenceFile, MissingIsNoReferencesDamagedIsToldAndIgnored) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("criteria.ref");

    const ReferenceFileLoad missing = LoadReferenceFile(path);
    EXPECT_TRUE(missing.Missing);
    EXPECT_FALSE(missing.Damage);
    EXPECT_TRUE(missing.References.Empty());

    const ReferenceSet set = SetOf({Flat(3, 50.0, ToleranceUnit::Ohms, 2.5)});
    ASSERT_TRUE(SaveReferenceFile(path, set).Ok());
    const ReferenceFileLoad saved = LoadReferenceFile(path);
    EXPECT_FALSE(saved.Missing || saved.Damage);
    EXPECT_EQ(saved.References, set);

    std::vector<std::uint8_t> bytes = testing::ReadFile(path);
    bytes.resize(bytes.size() - 5);
    testing::WriteFile(path, bytes);
    const ReferenceFileLoad damaged = LoadReferenceFile(path);
    ASSERT_TRUE(damaged.Damage);
    EXPECT_EQ(damaged.Damage->Message, "The reference curves are damaged and are not used.");
    EXPECT_NE(damaged.Damage->Detail.find(path), std::string::npos);
    EXPECT_TRUE(damaged.References.Empty());
}

TEST(ReferenceSet, OneReferencePerCriterion) {
    ReferenceSet set;
    set.Set(Flat(1, 50.0, ToleranceUnit::Ohms, 1.0));
    set.Set(Flat(2, 100.0, ToleranceUnit::Percent, 5.0));
    set.Set(Flat(1, 55.0, ToleranceUnit::Ohms, 3.0));
    ASSERT_EQ(set.All().size(), 2u);
    EXPECT_EQ(set.Find(1)->Tolerance, 3.0);
    EXPECT_TRUE(set.Clear(1));
    EXPECT_FALSE(set.Clear(1));
    EXPECT_EQ(set.Find(1), nullptr);
    EXPECT_NE(set.Find(2), nullptr);
}

TEST(ReferenceMask, EdgesFollowTheReferenceAndTheTolerance) {
    CriterionReference reference;
    reference.Points = {{0.0, 50.0}, {1.0, 60.0}, {2.0, 40.0}};
    struct Case {
        ToleranceUnit unit;
        double tolerance;
        double position;
        std::optional<double> low;  // none: outside the reference
        double high;
    };
    const Case cases[] = {
        {ToleranceUnit::Ohms, 2.0, 0.0, 48.0, 52.0},
        {ToleranceUnit::Ohms, 2.0, 0.5, 53.0, 57.0},  // halfway between two points
        {ToleranceUnit::Ohms, 2.0, 1.5, 48.0, 52.0},
        {ToleranceUnit::Ohms, 2.0, 2.0, 38.0, 42.0},  // the last point
        {ToleranceUnit::Percent, 10.0, 1.0, 54.0, 66.0},
        {ToleranceUnit::Percent, 10.0, 0.25, 47.25, 57.75},
        {ToleranceUnit::Percent, 0.0, 2.0, 40.0, 40.0},
        {ToleranceUnit::Ohms, 2.0, -0.001, std::nullopt, 0.0},
        {ToleranceUnit::Ohms, 2.0, 2.001, std::nullopt, 0.0},
        {ToleranceUnit::Ohms, 2.0, std::numeric_limits<double>::quiet_NaN(), std::nullopt, 0.0},
    };
    for (const Case& c : cases) {
        reference.Unit = c.unit;
        reference.Tolerance = c.tolerance;
        const std::optional<MaskEdges> edges = MaskAt(reference, c.position);
        ASSERT_EQ(edges.has_value(), c.low.has_value()) << c.position;
        if (edges) {
            EXPECT_NEAR(edges->Low, *c.low, 1e-12) << c.position;
            EXPECT_NEAR(edges->High, c.high, 1e-12) << c.position;
        }
    }
}

}  // namespace
}  // namespace orvik
