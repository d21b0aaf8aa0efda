#include "base/archive.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "criteria/criterion.h"
#include "test_bytes.h"

namespace orvik {
namespace {

using testing::ByteBuilder;

std::vector<std::uint8_t> Stored(const std::string& text) {
    Archive archive = Archive::ForStoring();
    archive.WriteString(text);
    return archive.TakeBytes();
}

std::string Loaded(const std::vector<std::uint8_t>& bytes) {
    Archive archive = Archive::ForLoading(bytes);
    std::string text = archive.ReadString();
    EXPECT_EQ(archive.Remaining(), 0u);
    return text;
}

TEST(ArchiveNumbers, AreLittleEndianAndRoundTrip) {
    Archive out = Archive::ForStoring();
    out.WriteInt32(0x01020304);
    out.WriteInt32(-2);
    out.WriteDouble(-0.1);
    out.WriteDouble(std::numeric_limits<double>::quiet_NaN());
    const auto expected = ByteBuilder().I32(0x01020304).I32(-2).Double(-0.1).Bytes();
    ASSERT_EQ(out.Bytes().size(), 24u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.Bytes().begin()));
    EXPECT_EQ(out.Bytes()[0], 0x04);

    Archive in = Archive::ForLoading(out.Bytes());
    EXPECT_EQ(in.ReadInt32(), 0x01020304);
    EXPECT_EQ(in.ReadInt32(), -2);
    EXPECT_EQ(in.ReadDouble(), -0.1);
    EXPECT_TRUE(std::isnan(in.ReadDouble()));
    EXPECT_THROW(in.ReadInt32(), ArchiveError);
}

TEST(ArchiveStrings, PrefixLengthFollowsTheBoundaries) {
    struct Case {
        std::size_t length;
        std::vector<std::uint8_t> prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'x');
        const auto bytes = Stored(text);
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), bytes.begin()));
        EXPECT_EQ(Loaded(bytes), text);
    }
}

TEST(ArchiveStrings, KeepBytesAboveAscii) {
    const std::string text = "Z\xB5\xFF\x01";
    EXPECT_EQ(Loaded(Stored(text)), text);
}

TEST(ArchiveStrings, WideStringsBecomeSingleBytes) {
    // 0xFF 0xFFFE announces two-byte characters; a length prefix follows.
    const auto bytes =
        ByteBuilder().U8(0xFF).U16(0xFFFE).U8(3).U16('O').U16(0xE9).U16(0x263A).Bytes();
    EXPECT_EQ(Loaded(bytes), std::string("O\xE9?"));

    const std::string wideLong(300, 'w');
    ByteBuilder longer;
    longer.U8(0xFF).U16(0xFFFE).U8(0xFF).U16(300);
    for (char c : wideLong) {
        longer.U16(static_cast<std::uint8_t>(c));
    }
    EXPECT_EQ(Loaded(longer.Bytes()), wideLong);
}

TEST(ArchiveStrings, RefuseLengthsBeyondTheData) {
    const std::vector<std::vector<std::uint8_t>> bad = {
        {},                                          // no prefix at all
        {0x05, 'a', 'b'},                            // short body
        {0xFF, 0x10},                                // cut two-byte length
        {0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0x7F},  // 2 GB announced, nothing there
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 4 GB announced
        {0xFF, 0xFE, 0xFF, 0x02, 'a', 0},            // wide: 2 chars need 4 bytes
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 0x00},  // repeated wide marker
    };
    for (const auto& bytes : bad) {
        Archive archive = Archive::ForLoading(bytes);
        EXPECT_THROW(archive.ReadString(), ArchiveError);
    }
}

TEST(ArchiveLists, AnyNonzeroContinuationMeansAnotherElement) {
    const auto bytes = ByteBuilder().I32(1).I32(10).I32(-7).I32(20).I32(0).Bytes();
    Archive archive = Archive::ForLoading(bytes);
    std::vector<std::int32_t> values;
    SerializeList(
        archive, values, [&] { values.push_back(archive.ReadInt32()); }, [](std::int32_t) {});
    EXPECT_EQ(values, (std::vector<std::int32_t>{10, 20}));

    Archive out = Archive::ForStoring();
    SerializeList(
        out, values, [] {}, [&](std::int32_t v) { out.WriteInt32(v); });
    EXPECT_EQ(out.Bytes(), ByteBuilder().I32(1).I32(10).I32(1).I32(20).I32(0).Bytes());
}

TEST(CriterionPayload, DefaultsAreSeventyThreeBytesInStoredOrder) {
    Criterion criterion;
    Archive out = Archive::ForStoring();
    criterion.Serialize(out);
    const auto expected = ByteBuilder().DefaultCriterionPayload().Bytes();
    EXPECT_EQ(expected.size(), 73u);
    EXPECT_EQ(out.Bytes(), expected);
}

TEST(CriterionPayload, ReadsDoublesInStoredOrder) {
    const auto bytes =
        ByteBuilder().CriterionPayload(9, "Diff 100", 100, 7, 107, 93, 8.5, 2.5, 1).Bytes();
    Archive in = Archive::ForLoading(bytes);
    Criterion criterion;
    criterion.Serialize(in);
    EXPECT_EQ(criterion.Id, 9);
    EXPECT_EQ(criterion.Name, "Diff 100");
    EXPECT_EQ(criterion.TargetImpedance, 100);
    EXPECT_EQ(criterion.AllowableError, 7);
    EXPECT_EQ(criterion.MaximumImpedance, 107);
    EXPECT_EQ(criterion.MinimumImpedance, 93);
    EXPECT_EQ(criterion.EndPosition, 8.5);
    EXPECT_EQ(criterion.StartPosition, 2.5);
    EXPECT_TRUE(criterion.IsDifferential());
}

TEST(CriterionPayload, LongNamesRoundTrip) {
    for (std::size_t length : {255u, 70000u}) {
        Criterion criterion;
        criterion.Name = std::string(length, 'n');
        Archive out = Archive::ForStoring();
        criterion.Serialize(out);
        EXPECT_EQ(out.Bytes().size(), 56 + length + (length < 65534 ? 3 : 7));
        Archive in = Archive::ForLoading(out.Bytes());
        Criterion back;
        back.Serialize(in);
        EXPECT_EQ(back, criterion);
    }
}

TEST(CriterionLimits, FollowTargetAndError) {
    Criterion criterion;
    criterion.TargetImpedance = 85;
    criterion.AllowableError = 12;
    criterion.RecomputeLimits();
    EXPECT_DOUBLE_EQ(criterion.MinimumImpedance, 74.8);
    EXPECT_DOUBLE_EQ(criterion.MaximumImpedance, 95.2);
}

}  // namespace
}  // namespace orvik
