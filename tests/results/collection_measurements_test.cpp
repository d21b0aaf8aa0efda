// Measurements made from collections: the same trace gives the same
// measurement whether it is taken as Record Test files it, or from the
// collection saved and read again (an import), and it is grouped as the test
// tree groups it.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "app/station_fakes.h"
#include "collection/test_tree.h"
#include "results/collection_measurements.h"
#include "results_test_data.h"
#include "script/script.h"

namespace orvik::testing {
namespace {

using results::Measurement;

const results::RecordingContext kContext{results::StationIdentity{"Bench 3", "tdr-3"}, std::nullopt,
                                         "kim", ""};

// The window's test tree, and the results database's side of Record Test.
class Windows : public DocumentObserver, public FiledTraceListener {
  public:
    explicit Windows(COrvikDoc& document) : tree(document) {}
    void OnDocumentUpdate(COrvikDoc&, DocumentObserver*, const DocumentChange& change) override {
        if (change.What == DocumentChange::Kind::TraceRecorded) {
            tree.InsertRecord(*change.Recorded);
        }
    }
    void TraceFiled(const COrvikDoc& document, const CollectionItem& trace) override {
        filed.push_back(results::MeasurementOf(
            document.Items(), static_cast<std::size_t>(document.IndexOf(&trace)), kContext));
    }
    TestTree tree;
    std::vector<Measurement> filed;
};

struct Rig : StationRig {
    Rig() {
        library.AddCriterion().Name = "SE 50";
        Criterion& diff = library.AddCriterion();
        diff.Name = "Diff 100";
        diff.DoubleEnded = 1;
        selector.FillInListOrder(library);
        selector.SelectIndex(0);
        script = &library.AddScript();
        script->Description = "Lot 7";
        script->JobNumber = "J-7";
        script->Operator = "lee";
        script->Prefix = "LOT7-";
        script->PromptForSerial = 0;
        script->AddElement().CriterionId = library.Criteria[0]->Id;
        script->Elements.back().Postfix = "A";
        script->AddElement().CriterionId = library.Criteria[1]->Id;
        script->Elements.back().Postfix = "B";
        document.AddObserver(&windows);
        station.SetFiledTraceListener(&windows);
    }
    ~Rig() { document.RemoveObserver(&windows); }

    Script* script;
    Windows windows{document};
};

// The coupon and script nodes the tree puts each trace under.
struct TreePlace {
    std::string script;
    std::string coupon;
};

void CollectPlaces(const TestTreeNode& node, std::map<const CollectionItem*, TreePlace>& places,
                   TreePlace place) {
    if (node.NodeKind == TestTreeNode::Kind::Script) {
        place.script = static_cast<const Script*>(node.Item)->Description;
    } else if (node.NodeKind == TestTreeNode::Kind::Coupon) {
        place.coupon = static_cast<const CouponMarker*>(node.Item)->Serial;
    } else {
        places[node.Item] = place;
    }
    for (const auto& child : node.Children) {
        CollectPlaces(*child, places, place);
    }
}

RC_GTEST_PROP(CollectionMeasurements, RecordedAndReadBackTheyAreTheSameAndGroupedAsTheTree,
              (const std::vector<std::uint8_t>& operations)) {
    Rig rig;
    int level = 40;
    for (const std::uint8_t operation : operations) {
        switch (operation % 4) {
            case 0:  // a test outside the script
                rig.station.Scripts().Stop(rig.document);
                [[fallthrough]];
            case 1:  // the next test, in the script when it runs
                rig.instrument.level = ++level;
                rig.station.RunTest(rig.document);
                rig.station.RecordTest(rig.document);
                break;
            case 2:
                if (rig.document.ActiveScript == nullptr) {
                    rig.station.Scripts().Start(rig.document, *rig.script);
                }
                break;
            default:
                rig.station.Scripts().Stop(rig.document);
        }
    }
    const std::vector<Measurement> read = results::MeasurementsOf(rig.document.Items(), kContext);
    RC_ASSERT(read.size() == rig.windows.filed.size());

    const CollectionContents reloaded = ReadCollection(rig.document.ToBytes());
    const std::vector<Measurement> imported = results::MeasurementsOf(reloaded.Items, kContext);

    std::map<const CollectionItem*, TreePlace> places;
    TestTree tree(rig.document);
    tree.Rebuild();
    for (const auto& root : tree.Roots()) {
        CollectPlaces(*root, places, {});
    }
    for (std::size_t i = 0; i < read.size(); ++i) {
        const Measurement& m = rig.windows.filed[i];
        RC_ASSERT(m == read[i]);
        RC_ASSERT(m.Uuid == imported[i].Uuid);
        const auto* trace = rig.document.Items()[m.CollectionItem].get();
        const TreePlace& place = places.at(trace);
        RC_ASSERT((m.Run ? m.Run->Script : std::string()) == place.script);
        RC_ASSERT(m.Coupon.value_or("") == place.coupon);
        if (m.Run) {
            RC_ASSERT(m.Name == "LOT7-" + *m.Coupon + *m.Test);
            RC_ASSERT(m.Operator == "lee");
            RC_ASSERT(m.Run->Job == "J-7");
            RC_ASSERT(m.Mode == (*m.Test == "B" ? MeasurementMode::Differential
                                                : MeasurementMode::SingleEnded));
        } else {
            RC_ASSERT(!m.Test.has_value());
            RC_ASSERT(m.Operator == "kim");
        }
    }
    std::set<std::string> uuids;
    for (const Measurement& m : read) {
        uuids.insert(m.Uuid);
    }
    RC_ASSERT(uuids.size() == read.size());
}

TEST(CollectionMeasurements, TheCollectionsSingleByteTextsArriveAsUtf8) {
    Rig rig;
    rig.script->JobNumber = "J-\xB5";  // Latin-1 micro sign
    rig.station.Scripts().Start(rig.document, *rig.script);
    rig.station.RunTest(rig.document);
    rig.station.RecordTest(rig.document);
    ASSERT_EQ(rig.windows.filed.size(), 1u);
    EXPECT_EQ(rig.windows.filed[0].Run->Job, "J-\xC2\xB5");
}

TEST(CollectionMeasurements, TheSampleCollectionAsAQualityEngineerSeesIt) {
    const std::vector<Measurement> sample = SampleMeasurements();
    ASSERT_EQ(sample.size(), 3u);
    EXPECT_FALSE(sample[0].Run.has_value());
    EXPECT_EQ(sample[0].Operator, "kim");
    const Measurement& se = sample[1];
    ASSERT_TRUE(se.Run.has_value());
    EXPECT_EQ(se.Run->Job, "J-2209");
    EXPECT_EQ(se.Run->Customer, "Acme Boards");
    EXPECT_EQ(se.Run->Started, 1796729700);
    EXPECT_EQ(se.Operator, "Kim");
    EXPECT_EQ(se.Coupon, "1001");
    EXPECT_EQ(se.Test, "-SE");
    EXPECT_EQ(sample[2].Test, "-DIFF");
    EXPECT_EQ(sample[2].Mode, MeasurementMode::Differential);
    EXPECT_EQ(sample[2].Run->Started, 1796729700);  // the run began with the first coupon's SE
    EXPECT_EQ(se.CollectionItem, 3);
    ASSERT_TRUE(se.Profile.has_value());
    EXPECT_EQ(se.Profile->Impedance.size(), 750u);
}

}  // namespace
}  // namespace orvik::testing
