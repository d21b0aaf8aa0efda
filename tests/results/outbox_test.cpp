// The outbox keeps what waits, in order, across program runs.
#include <gtest/gtest.h>

#include "results/results_outbox.h"
#include "results_test_data.h"
#include "test_files.h"

namespace orvik::testing {
namespace {

using results::ResultsOutbox;

std::vector<std::string> NamesOf(const std::vector<ResultsOutbox::Entry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.Item.Name);
    }
    return names;
}

TEST(ResultsOutbox, KeepsEachDatabasesMeasurementsInOrderAcrossRuns) {
    TemporaryFolder folder;
    const std::string path = folder.File("outbox/results-outbox.sqlite");  // folder made too
    {
        auto outbox = ResultsOutbox::Open(path);
        ASSERT_TRUE(outbox.Ok()) << outbox.Error().Message;
        ASSERT_TRUE((*outbox)
                        ->Put("A", std::vector{Made("J", "-SE", 1, "S", "a1"),
                                               Made("J", "-SE", 2, "S", "a2")})
                        .Ok());
        ASSERT_TRUE((*outbox)->Put("B", std::vector{Made("J", "-SE", 3, "S", "b1")}).Ok());
        ASSERT_TRUE((*outbox)->Put("A", std::vector{Made("J", "-SE", 4, "S", "a3")}).Ok());
        const auto oldest = (*outbox)->Oldest("A", 2);
        ASSERT_TRUE(oldest.Ok());
        EXPECT_EQ(NamesOf(*oldest), (std::vector<std::string>{"a1", "a2"}));
        const std::int64_t first[] = {oldest->front().Sequence};
        ASSERT_TRUE((*outbox)->Remove(first).Ok());
    }
    auto reopened = ResultsOutbox::Open(path);
    ASSERT_TRUE(reopened.Ok());
    ResultsOutbox& outbox = **reopened;
    EXPECT_EQ(*outbox.Count("A"), 2u);
    EXPECT_EQ(NamesOf(*outbox.Oldest("A", 10)), (std::vector<std::string>{"a2", "a3"}));
    ExpectSame(Made("J", "-SE", 2, "S", "a2"), outbox.Oldest("A", 1)->front().Item);

    // The station now sends to C: A's measurements go with it, B's stay.
    ASSERT_TRUE(outbox.Retarget("A", "C").Ok());
    EXPECT_EQ(*outbox.Count("A"), 0u);
    EXPECT_EQ(NamesOf(*outbox.Oldest("C", 10)), (std::vector<std::string>{"a2", "a3"}));
    EXPECT_EQ(*outbox.Count("B"), 1u);
}

TEST(ResultsOutbox, PassesOverWhatThisOrvikCannotReadAndKeepsIt) {
    TemporaryFolder folder;
    const std::string path = folder.File("outbox.sqlite");
    auto outbox = ResultsOutbox::Open(path);
    ASSERT_TRUE(outbox.Ok());
    ASSERT_TRUE((*outbox)->Put("A", std::vector{Made("J", "-SE", 1, "S", "a1")}).Ok());
    results::StoreProblem problem;
    auto raw = results::ConnectSqlite(path, problem);
    ASSERT_TRUE(raw.Ok());
    // As a later Orvik might have written it.
    ASSERT_TRUE((*raw)
                    ->ExecuteScript("INSERT INTO waiting (target, uuid, body) "
                                    "VALUES ('A', 'x', x'02000000ffff')")
                    .Ok());
    ASSERT_TRUE((*outbox)->Put("A", std::vector{Made("J", "-SE", 2, "S", "a2")}).Ok());
    EXPECT_EQ(NamesOf(*(*outbox)->Oldest("A", 2)), (std::vector<std::string>{"a1", "a2"}));
    EXPECT_EQ(*(*outbox)->Count("A"), 3u);
}

}  // namespace
}  // namespace orvik::testing
