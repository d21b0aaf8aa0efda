#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <limits>
#include <streambuf>

#include "cli/cli_command.h"
#include "cli/json_writer.h"
#include "cli_run.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::TemporaryFolder;

using testing::CliRun;
using testing::RunTool;

TEST(JsonWriterOutput, EscapesAndNonFiniteNumbers) {
    JsonWriter json(false);
    json.BeginObject()
        .Field("text", std::string("a\"b\\c\n\xB5\x01"))
        .Field("nan", std::numeric_limits<double>::quiet_NaN())
        .Field("inf", -std::numeric_limits<double>::infinity())
        .Field("x", 0.1)
        .Field("n", std::int32_t{-3})
        .Field("ok", true);
    json.Key("pair").BeginArray(true).Value(1.5).Value(2.0).EndArray();
    json.Key("empty").BeginArray().EndArray().EndObject();
    EXPECT_EQ(json.Text(),
              "{\"text\":\"a\\\"b\\\\c\\n\\u00b5\\u0001\",\"nan\":null,\"inf\":null,"
              "\"x\":0.1,\"n\":-3,\"ok\":true,\"pair\":[1.5,2],\"empty\":[]}");
}

class CliCommands : public ::testing::Test {
  protected:
    TemporaryFolder folder;
};

TEST_F(CliCommands, DumpShowsEveryItemShape) {
    COrvikDoc document;
    auto trace = std::make_unique<TraceRecord>();
    trace->FillFromAcquisition(nullptr, std::vector<double>{50.0, 51.0}, 0);
    trace->Name = "Sample #: 1";
    trace->Average = std::numeric_limits<double>::quiet_NaN();
    document.AppendItem(std::move(trace));
    auto script = std::make_unique<Script>();
    script->Description = "Lot";
    script->AddElement().Postfix = "-A";
    document.AppendItem(std::move(script));
    document.AppendItem(std::make_unique<CouponMarker>("1001"));
    document.NextSampleNumber = 2;
    const std::string path = folder.File("d.tdr");
    ASSERT_TRUE(document.SaveAs(path).Ok());

    const CliRun run = RunTool({"dump", path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* expected :
         {"\"file_version\": 4", "\"next_sample_number\": 2", "\"name\": \"Sample #: 1\"",
          "\"average\": null", "\"criterion\": {", "\"double_ended\": 0",
          "[0.013333333333333334, 51]", "\"description\": \"Lot\"", "\"postfix\": \"-A\"",
          "\"position\": 1", "\"serial\": \"1001\"", "\"serial_counter\": 100"}) {
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected;
    }
}

TEST_F(CliCommands, ResaveWritesWhatTheProgramWrites) {
    COrvikDoc document;
    document.AppendItem(std::make_unique<CouponMarker>("x"));
    const std::string in = folder.File("in.tdr");
    ASSERT_TRUE(document.SaveAs(in).Ok());
    const std::string out = folder.File("out.tdr");
    EXPECT_EQ(RunTool({"resave", in, out}).exitCode, 0);
    EXPECT_EQ(testing::ReadFile(out), testing::ReadFile(in));
}

TEST_F(CliCommands, CriteriaShowsTheLibraryAsLoaded) {
    CriteriaLibrary library;
    library.Preferences.CompanyName = "Acme";
    library.AddCriterion().Name = "first";
    library.AddCriterion().Name = "second";
    library.Criteria[1]->Id = 0;  // duplicate ids are made unique on loading
    const std::string path = folder.File("criteria.dat");
    ASSERT_TRUE(library.Save(path).Ok());

    const CliRun run = RunTool({"criteria", path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"library_version\": 3"), std::string::npos);
    EXPECT_NE(run.out.find("\"company_name\": \"Acme\""), std::string::npos);
    const auto second = run.out.find("\"name\": \"second\"");
    const auto first = run.out.find("\"name\": \"first\"");
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(second, first) << "loading reverses the criteria";
    EXPECT_NE(run.out.find("\"id\": 1,\n      \"name\": \"second\""), std::string::npos);
}

TEST_F(CliCommands, FailuresAndBadUsage) {
    const CliRun missing = RunTool({"dump", folder.File("none.tdr")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);

    testing::WriteFile(folder.File("bad.tdr"), {4, 0, 0, 0, 1});
    const CliRun bad = RunTool({"dump", folder.File("bad.tdr")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("Unexpected file format."), std::string::npos);

    testing::WriteFile(folder.File("criteria.dat"), {3, 0, 0, 0, 9});
    EXPECT_EQ(RunTool({"criteria", folder.File("criteria.dat")}).exitCode, 1);

    EXPECT_EQ(RunTool({}).exitCode, 2);
    EXPECT_EQ(RunTool({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(RunTool({"dump"}).exitCode, 2);
    EXPECT_EQ(RunTool({"resave", "only-one"}).exitCode, 2);
}

TEST_F(CliCommands, NamedCriteriaLibraryMustExist) {
    const CliRun missing = RunTool({"criteria", folder.File("missing.dat")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_EQ(missing.err, "orvik-cli criteria: no criteria library " + folder.File("missing.dat") +
                               ": the file does not exist\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing.dat")));

    // Unnamed, the program's criteria.dat may be missing: it starts empty.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    const CliRun unnamed = RunTool({"criteria"});
    std::filesystem::current_path(previous);
    EXPECT_EQ(unnamed.exitCode, 0) << unnamed.err;
    EXPECT_NE(unnamed.out.find("\"criteria\": []"), std::string::npos);
}

// A stream buffer that takes nothing, as a full disk does.
class RefusingBuffer : public std::streambuf {
  protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(CliCommands, OutputThatCannotBeWrittenFailsTheCommand) {
    CriteriaLibrary library;
    library.AddCriterion().Name = "first";
    const std::string path = folder.File("criteria.dat");
    ASSERT_TRUE(library.Save(path).Ok());
    RefusingBuffer refusing;
    std::streambuf* const previous = std::cout.rdbuf(&refusing);
    const CliRun run = RunTool({"criteria", path});
    const CliRun version = RunTool({"--version"});
    std::cout.rdbuf(previous);
    std::cout.clear();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "orvik-cli criteria: cannot write to standard output\n");
    EXPECT_EQ(version.exitCode, 1);
}

TEST_F(CliCommands, HelpAndVersionGoToStandardOutput) {
    const CliRun version = RunTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("orvik-cli ", 0), 0u) << version.out;
    EXPECT_TRUE(version.err.empty());
    const CliRun help = RunTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("orvik-cli process --mode"), std::string::npos);
    EXPECT_TRUE(help.err.empty());
}

}  // namespace
}  // namespace orvik
