#include "collection/orvik_doc.h"

#include <gtest/gtest.h>

#include "base/archive.h"
#include "script/script.h"
#include "test_bytes.h"
#include "test_files.h"
#include "test_log.h"

namespace orvik {
namespace {

using testing::ByteBuilder;
using testing::TemporaryFolder;

class CountingView : public DocumentObserver {
  public:
    void OnDocumentUpdate(COrvikDoc&, DocumentObserver* sender,
                          const DocumentChange& change) override {
        ++updates;
        lastSender = sender;
        lastChange = change;
    }
    int updates = 0;
    DocumentObserver* lastSender = nullptr;
    DocumentChange lastChange;
};

// A trace payload without record version (old layout), one sample.
ByteBuilder OldTrace(ByteBuilder bytes, const std::string& name, double z) {
    return bytes.Str(name)
        .I32(100)
        .Double(z)
        .Double(0)
        .Double(z)
        .Double(z)
        .I32(1)
        .I32(1)
        .Double(5.0)
        .Double(z)
        .DefaultCriterionPayload();
}

ByteBuilder NewTrace(ByteBuilder bytes, const std::string& name, std::int32_t element) {
    return bytes.I32(2)
        .Str(name)
        .I32(100)
        .Double(50)
        .Double(0)
        .Double(50)
        .Double(50)
        .I32(1)
        .I32(element)
        .I32(1)
        .Double(5.0)
        .Double(50)
        .DefaultCriterionPayload();
}

const TraceRecord& TraceAt(const COrvikDoc& document, std::size_t index) {
    return dynamic_cast<const TraceRecord&>(*document.Items().at(index));
}

class CollectionFile : public ::testing::Test {
  protected:
    Status OpenBytes(const std::vector<std::uint8_t>& bytes) {
        testing::WriteFile(path, bytes);
        return document.Open(path);
    }

    TemporaryFolder folder;
    std::string path = folder.File("c.tdr");
    COrvikDoc document;
};

TEST_F(CollectionFile, OpeningTellsTheWindowsTheItemsWereReplaced) {
    ASSERT_TRUE(document.SaveAs(path).Ok());
    COrvikDoc reopened;
    CountingView view;
    reopened.AddObserver(&view);
    ASSERT_TRUE(reopened.Open(path).Ok());
    EXPECT_EQ(view.updates, 1);
    EXPECT_EQ(view.lastChange.What, DocumentChange::Kind::Reloaded);
    EXPECT_FALSE(reopened.Open(folder.File("missing.tdr")).Ok());
    EXPECT_EQ(view.updates, 1) << "a refused file changes nothing to show";
    reopened.RemoveObserver(&view);
}

TEST_F(CollectionFile, EmptyCollectionIsTwelveBytes) {
    ASSERT_TRUE(document.SaveAs(path).Ok());
    EXPECT_EQ(testing::ReadFile(path), ByteBuilder().I32(4).I32(1).I32(0).Bytes());
    EXPECT_EQ(document.Title(), "c.tdr");
    EXPECT_FALSE(document.IsModified());
}

TEST_F(CollectionFile, VersionOneHasOnlyTraces) {
    ByteBuilder bytes = ByteBuilder().I32(1).I32(1);
    bytes = OldTrace(bytes, "first", 50).I32(3);
    bytes = OldTrace(bytes, "second", 60).I32(0);
    ASSERT_TRUE(OpenBytes(bytes.Bytes()).Ok());
    EXPECT_EQ(document.NextSampleNumber, 1);
    ASSERT_EQ(document.Items().size(), 2u);
    EXPECT_EQ(TraceAt(document, 0).Name, "first");
    EXPECT_EQ(TraceAt(document, 1).Name, "second");
    EXPECT_EQ(TraceAt(document, 1).Tag, 0);
    EXPECT_EQ(TraceAt(document, 1).Average, 60);
}

TEST_F(CollectionFile, VersionTwoAddsTheSampleCounter) {
    ByteBuilder bytes = ByteBuilder().I32(2).I32(17).I32(1);
    bytes = OldTrace(bytes, "t", 50).I32(0);
    ASSERT_TRUE(OpenBytes(bytes.Bytes()).Ok());
    EXPECT_EQ(document.NextSampleNumber, 17);
    EXPECT_EQ(document.Items().size(), 1u);
}

TEST_F(CollectionFile, VersionThreeHasTypesAndTagsButOldRecords) {
    ByteBuilder bytes = ByteBuilder().I32(3).I32(5);
    bytes.I32(1)
        .I32(2)
        .I32(0)
        .I32(3)
        .I32(1)
        .Str("Lot")
        .I32(1)
        .Str("P-")
        .Str("")
        .Str("")
        .Str("")
        .Str("")
        .I32(100)
        .I32(0);
    bytes.I32(1).I32(3).I32(0).I32(1).Str("1001");
    bytes = OldTrace(bytes.I32(1).I32(1).I32(2), "P-1001", 50).I32(0);
    ASSERT_TRUE(OpenBytes(bytes.Bytes()).Ok());
    ASSERT_EQ(document.Items().size(), 3u);
    EXPECT_EQ(document.Items()[0]->TypeCode, kScriptType);
    EXPECT_EQ(dynamic_cast<const CouponMarker&>(*document.Items()[1]).Serial, "1001");
    EXPECT_EQ(TraceAt(document, 2).Tag, 2);
    EXPECT_EQ(TraceAt(document, 2).ElementPosition, 0);
}

TEST_F(CollectionFile, VersionFourReadsRecordVersions) {
    ByteBuilder bytes = ByteBuilder().I32(4).I32(9);
    bytes = NewTrace(bytes.I32(1).I32(1).I32(2), "new", 3);
    // A record of version 1 inside a version 4 file has no element position.
    bytes.I32(1)
        .I32(1)
        .I32(0)
        .I32(1)
        .Str("v1")
        .I32(100)
        .Double(50)
        .Double(0)
        .Double(50)
        .Double(50)
        .I32(0)
        .I32(0)
        .DefaultCriterionPayload();
    bytes.I32(0);
    ASSERT_TRUE(OpenBytes(bytes.Bytes()).Ok());
    ASSERT_EQ(document.Items().size(), 2u);
    EXPECT_EQ(TraceAt(document, 0).ElementPosition, 3);
    EXPECT_EQ(TraceAt(document, 1).Name, "v1");
    EXPECT_EQ(TraceAt(document, 1).SampleCount(), 0);
}

// A small collection with every kind of item.
std::vector<std::uint8_t> SmallCollection() {
    ByteBuilder bytes = ByteBuilder().I32(4).I32(3);
    bytes.I32(1)
        .I32(2)
        .I32(0)
        .I32(3)
        .I32(1)
        .Str("Lot")
        .I32(0)
        .Str("P-")
        .Str("c")
        .Str("j")
        .Str("s")
        .Str("o")
        .I32(101)
        .I32(1)
        .I32(1)
        .I32(4)
        .Str("-A")
        .I32(0);
    bytes.I32(1).I32(3).I32(0).I32(1).Str("100");
    bytes = NewTrace(bytes.I32(1).I32(1).I32(2), "P-100-A", 1);
    bytes = NewTrace(bytes.I32(1).I32(1).I32(0), "Sample #: 2", 0);
    return bytes.I32(0).Bytes();
}

TEST_F(CollectionFile, RoundTripIsByteExact) {
    const auto original = SmallCollection();
    ASSERT_TRUE(OpenBytes(original).Ok());
    const std::string copy = folder.File("copy.tdr");
    ASSERT_TRUE(document.SaveAs(copy).Ok());
    EXPECT_EQ(testing::ReadFile(copy), original);
    EXPECT_EQ(document.Path(), copy);
}

TEST_F(CollectionFile, OlderFilesAreWrittenAsVersionFour) {
    ByteBuilder bytes = ByteBuilder().I32(1).I32(1);
    bytes = OldTrace(bytes, "t", 50).I32(0);
    ASSERT_TRUE(OpenBytes(bytes.Bytes()).Ok());
    const auto saved = document.ToBytes();
    ASSERT_GE(saved.size(), 24u);
    EXPECT_EQ(std::vector<std::uint8_t>(saved.begin(), saved.begin() + 20),
              ByteBuilder().I32(4).I32(1).I32(1).I32(1).I32(0).Bytes());
    EXPECT_EQ(std::vector<std::uint8_t>(saved.begin() + 20, saved.begin() + 24),
              ByteBuilder().I32(2).Bytes());
}

TEST_F(CollectionFile, EveryTruncationFailsAndKeepsTheOpenCollection) {
    const auto full = SmallCollection();
    ASSERT_TRUE(OpenBytes(full).Ok());
    const auto before = document.ToBytes();
    for (std::size_t size = 0; size < full.size(); ++size) {
        const auto result = OpenBytes(std::vector<std::uint8_t>(full.begin(), full.begin() + size));
        ASSERT_FALSE(result.Ok()) << size;
        EXPECT_STREQ(result.Error().Message.c_str(), kUnexpectedFileFormat);
    }
    EXPECT_EQ(document.ToBytes(), before);
    EXPECT_EQ(document.Path(), path);
}

TEST_F(CollectionFile, CorruptedBytesNeverCrash) {
    const auto full = SmallCollection();
    for (std::size_t offset = 0; offset < full.size(); ++offset) {
        for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x7F}}) {
            auto bytes = full;
            bytes[offset] = value;
            COrvikDoc fresh;
            Archive archive = Archive::ForLoading(bytes);
            try {
                fresh.Serialize(archive);
            } catch (const ArchiveError&) {
                EXPECT_TRUE(fresh.Items().empty());
            }
        }
    }
}

TEST_F(CollectionFile, UnknownItemTypeIsAnUnexpectedFormat) {
    for (std::int32_t type : {0, 4, -1}) {
        ByteBuilder bytes = ByteBuilder().I32(3).I32(1).I32(1).I32(type).I32(0);
        bytes = OldTrace(bytes, "t", 50).I32(0);
        const auto result = OpenBytes(bytes.Bytes());
        EXPECT_FALSE(result.Ok());
        EXPECT_STREQ(result.Error().Message.c_str(), kUnexpectedFileFormat);
    }
}

TEST_F(CollectionFile, MissingFileFailsToOpen) {
    const auto result = document.Open(folder.File("absent.tdr"));
    EXPECT_FALSE(result.Ok());
    EXPECT_STREQ(result.Error().Message.c_str(), kFailedToOpenDocument);
    EXPECT_TRUE(document.Path().empty());
}

TEST_F(CollectionFile, FailedSaveKeepsTheOldFile) {
    ASSERT_TRUE(document.SaveAs(path).Ok());
    const auto before = testing::ReadFile(path);
    document.SetModified();
    const auto result = document.SaveAs(folder.File("missing-folder/c.tdr"));
    EXPECT_FALSE(result.Ok());
    EXPECT_STREQ(result.Error().Message.c_str(), kFailedToSaveDocument);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(document.Path(), path);
    EXPECT_EQ(testing::ReadFile(path), before);
}

TEST_F(CollectionFile, RefusalsAndFailedSavesGoToTheLogWithTheirDetail) {
    testing::RecordingLogSink sink;
    DiagnosticLog log(sink, LogLevel::Debug);
    document.SetLog(log);
    ASSERT_TRUE(document.SaveAs(path).Ok());
    EXPECT_EQ(sink.Count(LogLevel::Info, "collection", {"Saved", path}), 1u);

    const std::string damaged = folder.File("damaged.tdr");
    testing::WriteFile(damaged, ByteBuilder().I32(3).I32(1).I32(1).I32(9).I32(0).Bytes());
    const Status refused = document.Open(damaged);
    ASSERT_FALSE(refused);
    EXPECT_EQ(sink.Count(LogLevel::Warning, "collection",
                         {damaged, kUnexpectedFileFormat, refused.Error().Detail}),
              1u);
    EXPECT_NE(refused.Error().Detail.find("unknown item type 9"), std::string::npos);

    const Status failed = document.SaveAs(folder.File("missing-folder/c.tdr"));
    ASSERT_FALSE(failed);
    // The operator is told that the save failed; the log says why.
    EXPECT_NE(failed.Error().Detail.find("missing-folder/c.tdr"), std::string::npos);
    EXPECT_EQ(sink.Count(LogLevel::Error, "collection", {failed.Error().Detail}), 1u);
    EXPECT_EQ(document.Path(), path);
}

TEST(CollectionItems, InsertBeforeAndRemove) {
    COrvikDoc document;
    auto& first = document.AppendItem(std::make_unique<TraceRecord>());
    auto& second = document.AppendItem(std::make_unique<TraceRecord>());
    auto& marker = document.InsertBefore(&second, std::make_unique<CouponMarker>("7"));
    auto& script = document.InsertBefore(&marker, std::make_unique<Script>());
    auto& last = document.InsertBefore(nullptr, std::make_unique<CouponMarker>("8"));
    ASSERT_EQ(document.Items().size(), 5u);
    EXPECT_EQ(document.IndexOf(&first), 0);
    EXPECT_EQ(document.IndexOf(&script), 1);
    EXPECT_EQ(document.IndexOf(&marker), 2);
    EXPECT_EQ(document.IndexOf(&second), 3);
    EXPECT_EQ(document.IndexOf(&last), 4);

    document.ActiveScript = static_cast<Script*>(&script);
    EXPECT_TRUE(document.RemoveItem(&script));
    EXPECT_EQ(document.ActiveScript, nullptr) << "a removed script cannot keep running";
    EXPECT_TRUE(document.RemoveItem(&second));
    EXPECT_FALSE(document.RemoveItem(&second));
    EXPECT_EQ(document.Items().size(), 3u);
}

TEST(CollectionDefaults, CurrentTraceAndCounter) {
    COrvikDoc document;
    EXPECT_EQ(document.NextSampleNumber, 1);
    EXPECT_EQ(document.TraceTemplate.Criteria.MaximumImpedance, 55.0);
    EXPECT_EQ(document.TraceTemplate.Criteria.MinimumImpedance, 45.0);
    EXPECT_EQ(document.TraceTemplate.Criteria.StartPosition, 4.0);
    EXPECT_EQ(document.TraceTemplate.Criteria.EndPosition, 7.0);
    EXPECT_EQ(document.ActiveScript, nullptr);
}

TEST(CollectionViews, SenderIsNotUpdated) {
    COrvikDoc document;
    CountingView tree;
    CountingView graph;
    document.AddObserver(&tree);
    document.AddObserver(&graph);
    document.AddObserver(&graph);
    document.UpdateAllViews();
    EXPECT_EQ(tree.updates, 1);
    EXPECT_EQ(graph.updates, 1);
    document.UpdateAllViews(&tree);
    EXPECT_EQ(tree.updates, 1);
    EXPECT_EQ(graph.updates, 2);
    EXPECT_EQ(graph.lastSender, &tree);
    document.RemoveObserver(&graph);
    document.UpdateAllViews();
    EXPECT_EQ(graph.updates, 2);
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// Large files are mapped and saved in pieces; both paths must give the same
// bytes as the in-memory encoding.
TEST(LargeCollection, MappedLoadAndStreamedSaveKeepEveryByte) {
    testing::TemporaryFolder folder;
    COrvikDoc document;
    for (int i = 0; i < 120; ++i) {
        auto trace = std::make_unique<TraceRecord>();
        std::vector<double> values(kProfileSampleCount);
        for (std::size_t k = 0; k < values.size(); ++k) {
            values[k] = 50.0 + static_cast<double>((k * 7 + i) % 13) * 0.1;
        }
        trace->FillFromAcquisition(nullptr, values, 0);
        trace->Name = "Sample #: " + std::to_string(i + 1);
        document.AppendItem(std::move(trace));
    }
    const std::string path = folder.File("large.tdr");
    ASSERT_TRUE(document.SaveAs(path).Ok());
    const auto expected = document.ToBytes();
    ASSERT_GT(expected.size(), 1u << 20);
    EXPECT_EQ(testing::ReadFile(path), expected);

    COrvikDoc loaded;
    ASSERT_TRUE(loaded.Open(path).Ok());
    EXPECT_EQ(loaded.ToBytes(), expected);
    // The file may change or go away once loaded; the records stay valid.
    std::filesystem::remove(path);
    const auto& last = dynamic_cast<const TraceRecord&>(*loaded.Items().back());
    EXPECT_EQ(last.Name, "Sample #: 120");
    EXPECT_EQ(last.Samples[749].Position, 749.0 / 75.0);

    TraceRecord copy;
    copy.CopyFrom(last);
    loaded.ClearItems();
    EXPECT_EQ(copy.SampleCount(), 750) << "a copy does not share the collection's memory";
}

}  // namespace
}  // namespace orvik
