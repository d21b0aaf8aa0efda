#include "base/file_store.h"

#include <gtest/gtest.h>

#include "test_files.h"

namespace orvik {
namespace {

using testing::TemporaryFolder;

std::size_t EntriesIn(const std::filesystem::path& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

TEST(AtomicSave, ReplacesOnlyOnCommit) {
    TemporaryFolder folder;
    const std::string path = folder.File("f.bin");
    testing::WriteFile(path, {1, 2, 3});
    {
        AtomicFileWriter writer(path);
        writer.Write(std::vector<std::uint8_t>{9, 9});
        EXPECT_EQ(testing::ReadFile(path), (std::vector<std::uint8_t>{1, 2, 3}));
        // Destroyed without Commit: an interrupted save.
    }
    EXPECT_EQ(testing::ReadFile(path), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(EntriesIn(folder.Path()), 1u);

    AtomicFileWriter writer(path);
    writer.Write(std::vector<std::uint8_t>{7});
    writer.Write(std::vector<std::uint8_t>{8});
    EXPECT_TRUE(writer.Commit().Ok());
    EXPECT_EQ(testing::ReadFile(path), (std::vector<std::uint8_t>{7, 8}));
    EXPECT_EQ(EntriesIn(folder.Path()), 1u);
}

TEST(AtomicSave, ReportsAFolderThatCannotHoldTheFile) {
    TemporaryFolder folder;
    AtomicFileWriter writer(folder.File("missing/f.bin"));
    writer.Write(std::vector<std::uint8_t>{1});
    const Status result = writer.Commit();
    EXPECT_FALSE(result.Ok());
    EXPECT_NE(result.Error().Message.find("missing/f.bin"), std::string::npos);
}

TEST(WholeFileRead, SmallMappedAndMissingFiles) {
    TemporaryFolder folder;
    const std::string small = folder.File("small");
    testing::WriteFile(small, {4, 5});
    auto bytes = ReadWholeFile(small);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes->Span().begin(), bytes->Span().end()),
              (std::vector<std::uint8_t>{4, 5}));

    std::vector<std::uint8_t> large(3u << 20);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<std::uint8_t>(i * 31);
    }
    const std::string big = folder.File("big");
    testing::WriteFile(big, large);
    auto mapped = ReadWholeFile(big);
    ASSERT_TRUE(mapped);
    FileBytes moved = std::move(*mapped);
    EXPECT_TRUE(std::equal(large.begin(), large.end(), moved.Span().begin(), moved.Span().end()));

    const auto absent = ReadWholeFile(folder.File("absent"));
    ASSERT_FALSE(absent);
    EXPECT_NE(absent.Error().Message.find("absent"), std::string::npos);
    const auto isFolder = ReadWholeFile(folder.Path().string());
    ASSERT_FALSE(isFolder);
    EXPECT_NE(isFolder.Error().Message.find("folder"), std::string::npos);

    testing::WriteFile(folder.File("empty"), {});
    auto empty = ReadWholeFile(folder.File("empty"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->size(), 0u);
}

}  // namespace
}  // namespace orvik
