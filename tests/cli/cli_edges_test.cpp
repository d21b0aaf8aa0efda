// orvik-cli where a script or a quality engineer meets it: --help on every
// command, on/off options given a value, text in other alphabets, and
// libraries that cannot say which script is meant.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli_run.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "script/script.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::CliRun;
using testing::ReadFile;
using testing::RunTool;
using testing::TemporaryFolder;

class CliEdges : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(ORVIK_SAMPLES_DIR) + "/criteria.dat", library);
        // Acquisitions leave their diagnostic dump in the current directory.
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.Path());
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    void ChangeLibrary(const std::function<void(CriteriaLibrary&)>& change) {
        CriteriaLibrary loaded;
        ASSERT_TRUE(loaded.Load(library).Ok());
        change(loaded);
        ASSERT_TRUE(loaded.Save(library).Ok());
    }

    TemporaryFolder folder;
    std::filesystem::path previous;
    const std::string library = folder.File("criteria.dat");
    const std::string out = folder.File("batch.tdr");
    const std::string store = folder.File("mv300.store");
};

TEST_F(CliEdges, EveryCommandPrintsItsOwnUsageOnHelp) {
    for (const cli::Command& command : cli::Commands()) {
        const std::string expected =
            std::string("usage: orvik-cli ") + command.usage + "\n\n" + command.help;
        // Wherever it stands, and whatever else is given, nothing is run.
        for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
                 {command.name, "--help"},
                 {command.name, "--simulate", "--out", out, "--help"},
                 {command.name, "-h"}}) {
            const CliRun run = RunTool(words);
            EXPECT_EQ(run.exitCode, 0) << command.name << ": " << run.err;
            EXPECT_EQ(run.out, expected) << command.name;
            EXPECT_EQ(run.err, "") << command.name;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_FALSE(std::filesystem::exists("TDR_Data.csv"));
    EXPECT_NE(RunTool({"--help"}).out.find("orvik-cli COMMAND --help\n"), std::string::npos);
}

TEST_F(CliEdges, OnOffOptionsRefuseAValue) {
    const struct {
        std::vector<std::string> words;
        const char* says;
    } cases[] = {
        {{"calibrate", "--simulate", "--sim-store", store, "--save=no"}, "--save takes no value"},
        {{"calibrate", "--simulate", "--characterize=no"}, "--characterize takes no value"},
        {{"calibrate", "--simulate", "--characterize", "--reset=0"}, "--reset takes no value"},
        {{"report", "x.tdr", "--tab=yes"}, "--tab takes no value"},
        {{"process", "--mode", "single", "--raw-derivative=1", "raw.txt"},
         "--raw-derivative takes no value"},
        {{"recover", "--list=all"}, "--list takes no value"},
        {{"measure", "--simulate=banana"}, "The coupon profile banana cannot be used"},
        {{"measure", "--simulate=", "--mode", "single"}, "The coupon profile  cannot be used"},
        {{"run-script", "--simulate=50", "--coupon", "60", "--criteria", library, "--script",
          "Lot impedance", "--coupons", "1"},
         "--simulate=PROFILE and --coupon both name a coupon"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunTool(c.words);
        EXPECT_EQ(run.exitCode, 2) << c.says << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "") << c.says;
    }
    EXPECT_FALSE(std::filesystem::exists(store)) << "a refused --save=no wrote the store";
}

TEST_F(CliEdges, SimulateWithAProfileIsTheCouponThatProfileDescribes) {
    const std::string profile = "50@0-4,60@4-6,50@6-10";
    const CliRun asProgram = RunTool({"measure", "--simulate=" + profile});
    const CliRun withCoupon = RunTool({"measure", "--simulate", "--coupon", profile});
    const CliRun plain = RunTool({"measure", "--simulate"});
    ASSERT_EQ(asProgram.exitCode, 0) << asProgram.err;
    EXPECT_EQ(asProgram.out, withCoupon.out);
    EXPECT_NE(asProgram.out, plain.out);
}

TEST_F(CliEdges, AnOperatorCalledCharacterizeMakesNoCharacterisationStation) {
    // Two airlines derive the divisor only on a characterisation station.
    const auto divisors = [&](std::vector<std::string> extra) {
        std::vector<std::string> words = {"calibrate", "--simulate", "--airline",
                                          "50@4",      "--airline",  "75@4"};
        words.insert(words.end(), extra.begin(), extra.end());
        const CliRun run = RunTool(words);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const auto divisor = [&](std::size_t from) {
            const std::size_t at = run.out.find("\"divisor_single\":", from);
            return at == std::string::npos ? std::string()
                                           : run.out.substr(at, run.out.find(',', at) - at);
        };
        const std::size_t after = run.out.find("\"after\"");
        return std::make_pair(divisor(0), divisor(after));
    };
    const auto [operatorBefore, operatorAfter] = divisors({"--operator", "Characterize"});
    EXPECT_EQ(operatorBefore, operatorAfter);
    const auto [stationBefore, stationAfter] = divisors({"--characterize"});
    EXPECT_NE(stationBefore, stationAfter);
}

TEST_F(CliEdges, TextArgumentsAreStoredAsLatin1AndWhatItCannotHoldIsNamed) {
    ChangeLibrary([](CriteriaLibrary& loaded) {
        loaded.Scripts.at(0)->Description =
            "Pr\xFC"
            "fung";  // as the program stores it
        loaded.Scripts.at(0)->PromptForSerial = 1;
    });
    const CliRun run =
        RunTool({"run-script", "--simulate", "--criteria", library, "--script",
                 "Pr\xC3\xBC"
                 "fung",
                 "--coupons", "2", "--serials", "M\xC3\xBCller,Zo\xC3\xAB", "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"serial\": \"M\\u00fcller\""), std::string::npos) << run.out;
    COrvikDoc document;
    ASSERT_TRUE(document.Open(out));
    std::vector<std::string> serials;
    for (const auto& item : document.Items()) {
        if (const auto* marker = dynamic_cast<const CouponMarker*>(item.get())) {
            serials.push_back(marker->Serial);
        }
    }
    EXPECT_EQ(serials, (std::vector<std::string>{"M\xFCller", "Zo\xEB"}));

    const CliRun saved = RunTool(
        {"calibrate", "--simulate", "--sim-store", store, "--operator", "Zo\xC3\xAB", "--save"});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_NE(saved.out.find("\"last_operator\": \"Zo\\u00eb\""), std::string::npos);

    const std::vector<std::uint8_t> before = ReadFile(library);
    const CliRun omega = RunTool({"run-script", "--simulate", "--criteria", library, "--script",
                                  "Pr\xC3\xBC"
                                  "fung",
                                  "--coupons", "1", "--serials", "Batch A \xCE\xA9mega", "--out",
                                  folder.File("other.tdr")});
    EXPECT_EQ(omega.exitCode, 2);
    EXPECT_EQ(omega.err.substr(0, omega.err.find('\n') + 1),
              "orvik-cli run-script: --serials: the character \"\xCE\xA9\" (U+03A9) cannot be "
              "stored: the files hold Latin-1 characters only\n");
    EXPECT_EQ(ReadFile(library), before);
    EXPECT_FALSE(std::filesystem::exists(folder.File("other.tdr")));
    const CliRun latin1Terminal =
        RunTool({"calibrate", "--simulate", "--operator", "Zo\xEB", "--save"});
    EXPECT_EQ(latin1Terminal.exitCode, 2);
    EXPECT_NE(latin1Terminal.err.find("--operator: the byte 0xEB is not UTF-8 text"),
              std::string::npos)
        << latin1Terminal.err;
}

TEST_F(CliEdges, TwoScriptsOfOneDescriptionAreRefusedByNumber) {
    ChangeLibrary([](CriteriaLibrary& loaded) {
        auto copy = std::make_unique<Script>(*loaded.Scripts.at(0));
        copy->ScriptNumber = 7;
        copy->Customer = "K\xF6ln";
        loaded.Scripts.push_back(std::move(copy));
    });
    const std::vector<std::uint8_t> before = ReadFile(library);
    const CliRun run = RunTool({"run-script", "--simulate", "--criteria", library, "--script",
                                "Lot impedance", "--coupons", "1", "--out", out});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "orvik-cli run-script: 2 scripts are described as \"Lot impedance\" in " +
                           library +
                           ": numbers 1 (2 tests, customer \"Acme Boards\"), 7 (2 tests, "
                           "customer \"K\xC3\xB6ln\"); give each its own description\n");
    EXPECT_EQ(ReadFile(library), before);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliEdges, ADamagedLibrarySaysWhatTheCommandDid) {
    testing::WriteFile(library, {3, 0, 0, 0, 9});
    const std::vector<std::uint8_t> before = ReadFile(library);
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"criteria", library},
             {"run-script", "--simulate", "--criteria", library, "--script", "x", "--coupons", "1"},
             {"measure", "--simulate", "--criteria", library, "--criterion", "x"}}) {
        const CliRun run = RunTool(words);
        EXPECT_EQ(run.exitCode, 1) << words[0];
        const std::string prefix =
            "orvik-cli " + words[0] + ": the criteria library " + library + " cannot be read (";
        EXPECT_EQ(run.err.substr(0, prefix.size()), prefix) << run.err;
        const std::string end = "); it is left untouched and the command did nothing\n";
        EXPECT_TRUE(run.err.ends_with(end)) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(ReadFile(library), before);
}

}  // namespace
}  // namespace orvik
