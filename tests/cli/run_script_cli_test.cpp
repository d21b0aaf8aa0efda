// orvik-cli run-script: a scripted batch on the simulated instrument, read
// back from the collection and the library it saved.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_stamp.h"
#include "cli_run.h"
#include "collection/orvik_doc.h"
#include "collection/trace_record.h"
#include "criteria/criteria_library.h"
#include "criteria/reference_keeper.h"
#include "script/script.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::CliRun;
using testing::ReadFile;
using testing::RunTool;
using testing::TemporaryFolder;

class RunScriptCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(ORVIK_SAMPLES_DIR) + "/criteria.dat", library);
        // Acquisitions leave their diagnostic dump in the current directory.
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.Path());
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    CliRun RunIn(const std::string& description, std::vector<std::string> options) {
        options.insert(options.begin(), {"run-script", "--simulate", "--criteria", library,
                                         "--script", description});
        return RunTool(options);
    }
    CliRun Run(std::vector<std::string> options) { return RunIn("Lot impedance", options); }

    // The sample library's one script, changed and saved back.
    template <class Change>
    void ChangeScript(Change change) {
        CriteriaLibrary loaded;
        ASSERT_TRUE(loaded.Load(library).Ok());
        change(*loaded.Scripts.at(0));
        ASSERT_TRUE(loaded.Save(library).Ok());
    }

    std::int32_t SavedCounter() {
        CriteriaLibrary loaded;
        EXPECT_TRUE(loaded.Load(library).Ok());
        return loaded.Scripts.at(0)->SerialCounter;
    }

    // Type codes in file order, with the marker's serial or the trace's name.
    static std::vector<std::string> Outline(const COrvikDoc& document) {
        std::vector<std::string> outline;
        for (const auto& item : document.Items()) {
            if (const auto* trace = dynamic_cast<const TraceRecord*>(item.get())) {
                EXPECT_EQ(trace->Tag, kTagScriptedRun) << trace->Name;
                outline.push_back(trace->Name + "@" + std::to_string(trace->ElementPosition));
            } else if (const auto* marker = dynamic_cast<const CouponMarker*>(item.get())) {
                outline.push_back("coupon " + marker->Serial);
            } else if (const auto* script = dynamic_cast<const Script*>(item.get())) {
                outline.push_back("script " + script->Description);
            }
        }
        return outline;
    }

    TemporaryFolder folder;
    std::filesystem::path previous;
    const std::string library = folder.File("criteria.dat");
    const std::string out = folder.File("batch.tdr");
};

TEST_F(RunScriptCli, CountedBatchIsFiledAsTheProgramFilesIt) {
    const CliRun run = Run({"--coupons", "3", "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    COrvikDoc saved;
    ASSERT_TRUE(saved.Open(out).Ok());
    const std::vector<std::string> expected = {"script Lot impedance", "coupon 100", "LOT-100-SE@1",
                                               "LOT-100-DIFF@2",       "coupon 101", "LOT-101-SE@1",
                                               "LOT-101-DIFF@2",       "coupon 102", "LOT-102-SE@1",
                                               "LOT-102-DIFF@2"};
    EXPECT_EQ(Outline(saved), expected);
    const auto& diff = dynamic_cast<const TraceRecord&>(*saved.Items()[3]);
    EXPECT_EQ(diff.Criteria.Name, "Diff 100 ohm") << "each test judged by its element's criterion";
    EXPECT_NEAR(diff.Average, 100.0, 1.0);

    EXPECT_EQ(SavedCounter(), 103) << "the run stops after coupon 3 instead of taking 103";
    EXPECT_NE(run.out.find("\"serial\": \"102\""), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\"serial\": \"103\""), std::string::npos);
    EXPECT_NE(run.out.find("\"name\": \"LOT-101-DIFF\""), std::string::npos);
    EXPECT_NE(run.out.find("\"position\": 2"), std::string::npos);
    EXPECT_EQ(run.out.find("\"passed\": false"), std::string::npos) << "simulated coupons pass";
}

TEST_F(RunScriptCli, PromptedSerialsAppendToAnExistingCollection) {
    ASSERT_EQ(Run({"--coupons", "1", "--out", out}).exitCode, 0);
    ChangeScript([](Script& script) { script.PromptForSerial = 1; });

    const CliRun run = Run({"--coupons", "2", "--serials", "A7,B8,C9", "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    COrvikDoc saved;
    ASSERT_TRUE(saved.Open(out).Ok());
    const std::vector<std::string> outline = Outline(saved);
    ASSERT_EQ(outline.size(), 4u + 7u) << "the first batch stays, the second follows it";
    EXPECT_EQ(outline[1], "coupon 100");
    EXPECT_EQ(outline[4], "script Lot impedance") << "a new run files a new snapshot";
    EXPECT_EQ(std::vector<std::string>(outline.begin() + 5, outline.end()),
              (std::vector<std::string>{"coupon A7", "LOT-A7-SE@1", "LOT-A7-DIFF@2", "coupon B8",
                                        "LOT-B8-SE@1", "LOT-B8-DIFF@2"}));
    EXPECT_EQ(SavedCounter(), 101) << "prompted serials leave the counter alone";
    EXPECT_EQ(run.out.find("C9"), std::string::npos);
}

// Bad input is told in one line and writes nothing: neither the collection
// nor the library.
TEST_F(RunScriptCli, BadInputWritesNothing) {
    const auto refused = [&](const std::string& description, std::vector<std::string> options,
                             int code, const std::string& says) {
        const std::vector<std::uint8_t> before = ReadFile(library);
        const bool existed = std::filesystem::exists(out);
        const std::vector<std::uint8_t> previousOut =
            existed ? ReadFile(out) : std::vector<std::uint8_t>();
        const CliRun run = RunIn(description, options);
        EXPECT_EQ(run.exitCode, code) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
        if (code == 1) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        EXPECT_EQ(ReadFile(library), before) << says;
        EXPECT_EQ(std::filesystem::exists(out), existed) << says;
        if (existed) {
            EXPECT_EQ(ReadFile(out), previousOut) << says;
        }
    };
    refused("Lot impedance", {"--coupons", "0", "--out", out}, 2, "--coupons");
    refused("Lot impedance", {"--coupons", "2", "--out", out, "--frobnicate"}, 2, "unexpected");
    refused("Nope", {"--coupons", "2", "--out", out}, 1, "no script described as \"Nope\"");

    ChangeScript([](Script& script) { script.PromptForSerial = 1; });
    refused("Lot impedance", {"--coupons", "2", "--serials", "A1", "--out", out}, 2, "1 given");
    refused("Lot impedance", {"--coupons", "1", "--out", out}, 2, "--serials");

    ChangeScript([](Script& script) { script.Elements.clear(); });
    refused("Lot impedance", {"--coupons", "1", "--serials", "A1", "--out", out}, 1,
            "has no tests");

    ChangeScript([](Script& script) { script.AddElement().CriterionId = 0; });
    testing::WriteFile(out, {'n', 'o', 't', ' ', 'a', ' ', 't', 'd', 'r'});
    refused("Lot impedance", {"--coupons", "1", "--serials", "A1", "--out", out}, 1,
            "is not a collection");
    std::filesystem::remove(out);

    testing::WriteFile(library, {1, 2, 3});
    refused("Lot impedance", {"--coupons", "1", "--serials", "A1", "--out", out}, 1,
            "criteria.dat");
}

// A collection that a running Orvik has open is not added to: one of the two
// saves would drop the other's traces. One that no program has open is, and
// the tool says so.
TEST_F(RunScriptCli, AnOutputOpenInARunningOrvikIsRefusedAndAnAdditionIsTold) {
    ASSERT_EQ(Run({"--coupons", "1", "--out", out}).exitCode, 0);
    const std::vector<std::uint8_t> collection = ReadFile(out);
    const std::vector<std::uint8_t> counted = ReadFile(library);
    {
        FileHold orvik(out);
        const CliRun held = Run({"--coupons", "1", "--out", out});
        EXPECT_EQ(held.exitCode, 1);
        // Still open there after another program has put a new file in its place.
        COrvikDoc other;
        ASSERT_TRUE(other.Open(out).Ok());
        ASSERT_TRUE(other.SaveAs(out).Ok());
        const CliRun replaced = Run({"--coupons", "1", "--out", out});
        EXPECT_EQ(replaced.exitCode, 1) << replaced.err;
        EXPECT_EQ(held.err, "orvik-cli run-script: --out " + out +
                                " is open in a running Orvik; close it there or give another "
                                "--out\n");
        EXPECT_EQ(ReadFile(out), collection) << "as the other program saved it";
        EXPECT_EQ(ReadFile(library), counted);
    }
    const CliRun added = Run({"--coupons", "1", "--out", out});
    EXPECT_EQ(added.exitCode, 0) << added.err;
    EXPECT_EQ(added.err, "orvik-cli run-script: adding to " + out + ", which holds 4 items\n");
}

// A reference curve beside the library judges the batch as it judges the
// program's tests: the single-ended coupon at 50 ohms is inside its limits
// but 3 ohms off a 47-ohm golden sample; so is a single measure. A damaged
// side file is told and the batch is judged by the limits alone.
TEST_F(RunScriptCli, TheReferenceCurvesBesideTheLibraryJudgeTheBatch) {
    CriteriaLibrary loaded;
    ASSERT_TRUE(loaded.Load(library).Ok());
    CriterionReference reference;
    reference.CriterionId = loaded.Scripts.at(0)->Elements.front().CriterionId;
    reference.Tolerance = 1.0;
    reference.Points = {{0.0, 47.0}, {10.0, 47.0}};
    ReferenceKeeper keeper;
    EXPECT_FALSE(keeper.Load(library));
    ASSERT_TRUE(keeper.Mark(reference).Ok());

    const CliRun run = Run({"--coupons", "1", "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    COrvikDoc saved;
    ASSERT_TRUE(saved.Open(out).Ok());
    EXPECT_FALSE(dynamic_cast<const TraceRecord&>(*saved.Items()[2]).Passed) << "LOT-100-SE";
    EXPECT_TRUE(dynamic_cast<const TraceRecord&>(*saved.Items()[3]).Passed) << "LOT-100-DIFF";
    // A single measurement against that criterion is judged the same way.
    const std::string criterionName = loaded.FindById(reference.CriterionId)->Name;
    const CliRun measured = testing::RunTool(
        {"measure", "--simulate", "--criteria", library, "--criterion", criterionName});
    ASSERT_EQ(measured.exitCode, 0) << measured.err;
    EXPECT_NE(measured.out.find("\"passed\": false"), std::string::npos) << measured.out;
    EXPECT_NE(measured.err.find("note: outside reference mask"), std::string::npos) << measured.err;

    testing::WriteFile(folder.File("criteria.ref"), {'n', 'o', 'n', 'e'});
    std::filesystem::remove(out);
    const CliRun damaged = Run({"--coupons", "1", "--out", out});
    ASSERT_EQ(damaged.exitCode, 0) << damaged.err;
    EXPECT_NE(damaged.err.find("The reference curves are damaged and are not used."),
              std::string::npos)
        << damaged.err;
    EXPECT_EQ(damaged.out.find("\"passed\": false"), std::string::npos) << damaged.out;
}

}  // namespace
}  // namespace orvik
