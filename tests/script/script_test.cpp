#include "script/script.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "base/archive.h"
#include "criteria/criterion.h"
#include "test_bytes.h"

namespace orvik {
namespace {

using testing::ByteBuilder;

template <typename T>
std::vector<std::uint8_t> Store(T& item) {
    Archive archive = Archive::ForStoring();
    item.Serialize(archive);
    return archive.TakeBytes();
}

template <typename T>
T Load(const std::vector<std::uint8_t>& bytes) {
    T item;
    Archive archive = Archive::ForLoading(bytes);
    item.Serialize(archive);
    EXPECT_EQ(archive.Remaining(), 0u);
    return item;
}

TEST(ScriptPayload, DefaultScriptBytes) {
    Script script;
    script.ScriptNumber = 4;
    script.Description = "Untitled Script - 4";
    const auto expected = ByteBuilder()
                              .I32(3)
                              .I32(4)
                              .Str("Untitled Script - 4")
                              .I32(1)
                              .Str("")
                              .Str("")
                              .Str("")
                              .Str("")
                              .Str("")
                              .I32(100)
                              .I32(0)
                              .Bytes();
    EXPECT_EQ(Store(script), expected);
}

TEST(ScriptPayload, ReportStringsAreStoredCustomerJobStationOperator) {
    Script script;
    script.Customer = "cust";
    script.Operator = "oper";
    script.JobNumber = "job";
    script.StationId = "stat";
    script.CurrentSerial = "in progress";
    script.AddElement().CriterionId = 7;
    script.Elements.back().Postfix = "-A";
    const auto expected = ByteBuilder()
                              .I32(3)
                              .I32(-1)
                              .Str("")
                              .I32(1)
                              .Str("")
                              .Str("cust")
                              .Str("job")
                              .Str("stat")
                              .Str("oper")
                              .I32(100)
                              .I32(1)
                              .I32(1)
                              .I32(7)
                              .Str("-A")
                              .I32(0)
                              .Bytes();
    EXPECT_EQ(Store(script), expected);
    const Script back = Load<Script>(expected);
    EXPECT_EQ(back.Operator, "oper");
    EXPECT_EQ(back.StationId, "stat");
    EXPECT_TRUE(back.CurrentSerial.empty()) << "the serial under test is never stored";
}

TEST(ScriptPayload, OlderVersionsLeaveTheirAbsentFieldsAtDefaults) {
    const Script v1 =
        Load<Script>(ByteBuilder().I32(1).I32(2).Str("Lot").I32(0).Str("PRE").I32(0).Bytes());
    EXPECT_EQ(v1.ScriptNumber, 2);
    EXPECT_EQ(v1.Prefix, "PRE");
    EXPECT_TRUE(v1.AutoNumber());
    EXPECT_TRUE(v1.Customer.empty());
    EXPECT_TRUE(v1.Operator.empty());
    EXPECT_EQ(v1.SerialCounter, 100);

    const Script v2 = Load<Script>(ByteBuilder()
                                       .I32(2)
                                       .I32(2)
                                       .Str("Lot")
                                       .I32(1)
                                       .Str("")
                                       .Str("c")
                                       .Str("j")
                                       .Str("s")
                                       .Str("o")
                                       .I32(0)
                                       .Bytes());
    EXPECT_EQ(v2.JobNumber, "j");
    EXPECT_EQ(v2.SerialCounter, 100);
}

TEST(ScriptElements, AreNumberedAsReadAndLabelledAgainstTheCriteria) {
    const auto bytes = ByteBuilder()
                           .I32(3)
                           .I32(1)
                           .Str("S")
                           .I32(1)
                           .Str("")
                           .Str("")
                           .Str("")
                           .Str("")
                           .Str("")
                           .I32(100)
                           .I32(1)
                           .I32(9)
                           .I32(7)
                           .Str("-SE")
                           .I32(5)
                           .I32(1)
                           .I32(-1)
                           .Str("-X")  // any nonzero value continues
                           .I32(1)
                           .I32(1)
                           .I32(3)
                           .Str("-DIFF")
                           .I32(0)
                           .Bytes();
    const Script script = Load<Script>(bytes);
    std::vector<std::unique_ptr<Criterion>> criteria;
    criteria.push_back(std::make_unique<Criterion>());
    criteria.back()->Id = 7;
    criteria.back()->Name = "SE 50";

    std::vector<std::string> labels;
    std::vector<std::int32_t> positions;
    for (const ScriptElement& element : script.Elements) {
        labels.push_back(element.Label(criteria));
        positions.push_back(element.Position);
    }
    EXPECT_EQ(positions, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(labels, (std::vector<std::string>{"-SE - SE 50", "Undefined Script Element",
                                                "-DIFF - Undefined Criteria"}));
}

TEST(ScriptElements, RemovingRenumbers) {
    Script script;
    for (int i = 0; i < 3; ++i) {
        script.AddElement().CriterionId = i;
    }
    EXPECT_TRUE(script.RemoveElement(&script.Elements.front()));
    ASSERT_EQ(script.Elements.size(), 2u);
    EXPECT_EQ(script.Elements.front().Position, 1);
    EXPECT_EQ(script.Elements.front().CriterionId, 1);
    EXPECT_EQ(script.Elements.back().Position, 2);
    ScriptElement stranger;
    EXPECT_FALSE(script.RemoveElement(&stranger));
}

TEST(ScriptCopy, IsDeepAndLeavesTheTag) {
    Script script;
    script.Tag = 2;
    script.Description = "Lot";
    script.CurrentSerial = "1001";
    script.SerialCounter = 150;
    script.AddElement().Postfix = "-A";
    const Script copy(script);
    EXPECT_EQ(copy.Tag, 0);
    EXPECT_EQ(copy.CurrentSerial, "1001");
    EXPECT_EQ(copy.SerialCounter, 150);
    EXPECT_EQ(copy.Elements, script.Elements);
    EXPECT_NE(&copy.Elements.front(), &script.Elements.front());
    script.Elements.front().Postfix = "-B";
    EXPECT_EQ(copy.Elements.front().Postfix, "-A");
}

TEST(ScriptCreation, NumbersFollowTheLargest) {
    std::vector<std::unique_ptr<Script>> scripts;
    EXPECT_EQ(CreateScript(scripts).ScriptNumber, 1);
    scripts[0]->ScriptNumber = 4;
    scripts.insert(scripts.begin(), std::make_unique<Script>());
    scripts[0]->ScriptNumber = 1;
    Script& created = CreateScript(scripts);
    EXPECT_EQ(created.ScriptNumber, 5);
    EXPECT_EQ(created.Description, "Untitled Script - 5");
    EXPECT_EQ(scripts.back().get(), &created);

    std::vector<std::unique_ptr<Script>> negative;
    negative.push_back(std::make_unique<Script>());  // ScriptNumber -1
    EXPECT_EQ(CreateScript(negative).ScriptNumber, 1);
}

// Whatever numbers a library's file holds, a new script's number is 1 or
// above, is no other script's, and follows the largest while one is left.
RC_GTEST_PROP(ScriptCreation, NumbersStayPositiveAndUnique, ()) {
    const auto stored = *rc::gen::container<std::vector<std::int32_t>>(
        rc::gen::oneOf(rc::gen::arbitrary<std::int32_t>(), rc::gen::inRange(-2, 6),
                       rc::gen::just(std::numeric_limits<std::int32_t>::max())));
    std::vector<std::unique_ptr<Script>> scripts;
    for (const std::int32_t number : stored) {
        scripts.push_back(std::make_unique<Script>());
        scripts.back()->ScriptNumber = number;
    }
    const Script& created = CreateScript(scripts);
    RC_ASSERT(created.ScriptNumber >= 1);
    RC_ASSERT(std::count(stored.begin(), stored.end(), created.ScriptNumber) == 0);
    RC_ASSERT(created.Description == "Untitled Script - " + std::to_string(created.ScriptNumber));
    const std::int32_t largest =
        stored.empty() ? 0 : std::max(0, *std::max_element(stored.begin(), stored.end()));
    if (largest < std::numeric_limits<std::int32_t>::max()) {
        RC_ASSERT(created.ScriptNumber == largest + 1);
    }
}

TEST(ScriptCreation, AfterTheLastNumberTheSmallestFreeOneIsTaken) {
    std::vector<std::unique_ptr<Script>> scripts;
    for (const std::int32_t number : {2147483647, 1, 3}) {
        scripts.push_back(std::make_unique<Script>());
        scripts.back()->ScriptNumber = number;
    }
    EXPECT_EQ(CreateScript(scripts).Description, "Untitled Script - 2");
}

TEST(ScriptSerials, CountUpInDecimal) {
    Script script;
    EXPECT_EQ(script.TakeAutoSerial(), "100");
    EXPECT_EQ(script.TakeAutoSerial(), "101");
    EXPECT_EQ(script.SerialCounter, 102);
}

TEST(CouponMarkerPayload, IsVersionAndSerial) {
    CouponMarker marker("A-17");
    EXPECT_EQ(Store(marker), ByteBuilder().I32(1).Str("A-17").Bytes());
    EXPECT_EQ(Load<CouponMarker>(ByteBuilder().I32(99).Str("X").Bytes()).Serial, "X");
}

}  // namespace
}  // namespace orvik
