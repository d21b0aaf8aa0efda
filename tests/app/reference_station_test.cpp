#include <gtest/gtest.h>

#include "app/test_station.h"
#include "base/file_store.h"
#include "collection/reference_mask.h"
#include "collection/test_tree.h"
#include "criteria/criteria_library.h"
#include "station_fixture.h"
#include "test_files.h"

namespace orvik {
namespace {

class ReferenceStation : public testing::Station {
  protected:
    ReferenceStation() { EXPECT_FALSE(station.References().Load(libraryPath)); }

    const TraceRecord& MeasureAndRecord(double level) {
        instrument.level = level;
        station.RunTest(document);
        station.RecordTest(document);
        return RecordAt(document.Items().size() - 1);
    }

    testing::TemporaryFolder folder;
    std::string libraryPath = folder.File("criteria.dat");
};

// The golden sample of "SE 50" (limits 45 to 55) at 50 ohms, within 1 ohm: a
// coupon at 52 ohms passes the limits but leaves the mask, and is filed FAIL.
TEST_F(ReferenceStation, AMeasurementOutsideTheMaskFailsAndIsFiledSo) {
    selector.SelectIndex(0);
    const TraceRecord& golden = MeasureAndRecord(50.0);
    ASSERT_TRUE(station.MarkAsReference(golden, ToleranceUnit::Ohms, 1.0).Ok());
    EXPECT_TRUE(FileExists(folder.File("criteria.ref")));

    instrument.level = 52.0;
    station.RunTest(document);
    EXPECT_FALSE(document.TraceTemplate.Passed);
    EXPECT_TRUE(document.TraceTemplate.OutsideReferenceMask);
    station.RecordTest(document);
    const TraceRecord& filed = RecordAt(document.Items().size() - 1);
    EXPECT_FALSE(filed.Passed);
    EXPECT_TRUE(filed.OutsideReferenceMask);
    EXPECT_NE(TestTree::TraceText(filed).find("FAIL - outside reference mask"), std::string::npos);

    // Another criterion has no reference: the same curve passes it.
    instrument.level = 101.0;
    selector.SelectIndex(1);
    station.RunTest(document);
    EXPECT_TRUE(document.TraceTemplate.Passed);

    // Judged again under "SE 50" without running a test.
    instrument.level = 50.5;
    selector.SelectIndex(0);
    station.RunTest(document);
    EXPECT_TRUE(document.TraceTemplate.Passed);
    ASSERT_TRUE(station.MarkAsReference(golden, ToleranceUnit::Ohms, 0.25).Ok());
    EXPECT_FALSE(document.TraceTemplate.Passed) << "a new reference judges the shown measurement";
    ASSERT_TRUE(station.ClearReference(golden.Criteria.Id).Ok());
    EXPECT_TRUE(document.TraceTemplate.Passed);
    EXPECT_FALSE(document.TraceTemplate.OutsideReferenceMask);
}

TEST_F(ReferenceStation, TheReferenceOutlivesTheProgramInItsSideFile) {
    selector.SelectIndex(0);
    const TraceRecord& golden = MeasureAndRecord(50.0);
    ASSERT_TRUE(station.MarkAsReference(golden, ToleranceUnit::Percent, 3.0).Ok());

    ReferenceKeeper later;
    EXPECT_FALSE(later.Load(libraryPath));
    const CriterionReference* kept = later.References().Find(golden.Criteria.Id);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->TraceName, golden.Name);
    EXPECT_EQ(kept->Unit, ToleranceUnit::Percent);
    EXPECT_EQ(kept->Tolerance, 3.0);
    ASSERT_EQ(kept->Points.size(), 750u);
    EXPECT_EQ(kept->Points[749].Position, golden.Samples[749].Position);
    EXPECT_EQ(kept->Points[749].Impedance, golden.Samples[749].Impedance);

    ASSERT_TRUE(station.ClearReference(golden.Criteria.Id).Ok());
    EXPECT_FALSE(later.Load(libraryPath));
    EXPECT_TRUE(later.References().Empty());
}

TEST_F(ReferenceStation, RefusalsChangeNothing) {
    selector.SelectIndex(0);
    const TraceRecord& golden = MeasureAndRecord(50.0);
    struct Case {
        const char* what;
        std::function<Status()> mark;
        const char* message;
    };
    TraceRecord orphan = golden;
    orphan.Criteria.Id = 99;
    orphan.Criteria.Name = "Gone";
    TraceRecord single = golden;
    single.Samples.resize(1);
    const Case cases[] = {
        {"criterion gone", [&] { return station.MarkAsReference(orphan, ToleranceUnit::Ohms, 1); },
         "The criterion \"Gone\" that this trace was judged against is no longer in the library."},
        {"negative tolerance",
         [&] { return station.MarkAsReference(golden, ToleranceUnit::Ohms, -1); },
         "This trace cannot be the reference: the tolerance is no positive number."},
        {"percentage above 100",
         [&] { return station.MarkAsReference(golden, ToleranceUnit::Percent, 150); },
         "This trace cannot be the reference: the tolerance is more than 100 %."},
        {"one sample", [&] { return station.MarkAsReference(single, ToleranceUnit::Ohms, 1); },
         "This trace cannot be the reference: the reference curve has fewer than two points."},
    };
    for (const Case& c : cases) {
        const Status status = c.mark();
        ASSERT_FALSE(status.Ok()) << c.what;
        EXPECT_EQ(status.Error().Message, c.message);
    }
    EXPECT_TRUE(station.References().References().Empty());
    EXPECT_FALSE(FileExists(folder.File("criteria.ref")));

    // A side file that cannot be written keeps the references as they were.
    ASSERT_TRUE(station.MarkAsReference(golden, ToleranceUnit::Ohms, 1).Ok());
    testing::TemporaryFolder other;
    std::filesystem::create_directory(other.File("criteria.ref"));  // a folder in its place
    EXPECT_TRUE(station.References().Load(other.File("criteria.dat")).has_value());
    EXPECT_FALSE(station.MarkAsReference(golden, ToleranceUnit::Ohms, 2).Ok());
    EXPECT_TRUE(station.References().References().Empty());
}

// A criterion added later may get a deleted one's id: the deleted one's
// reference must not judge it.
TEST_F(ReferenceStation, DeletingTheCriterionDeletesItsReference) {
    selector.SelectIndex(0);
    const TraceRecord& golden = MeasureAndRecord(50.0);
    const std::int32_t id = golden.Criteria.Id;
    ASSERT_TRUE(station.MarkAsReference(golden, ToleranceUnit::Ohms, 1.0).Ok());
    ASSERT_TRUE(library.RemoveCriterion(library.FindById(id)));
    EXPECT_EQ(station.References().References().Find(id), nullptr);
    ReferenceKeeper later;
    EXPECT_FALSE(later.Load(libraryPath));
    EXPECT_TRUE(later.References().Empty());
}

}  // namespace
}  // namespace orvik
