// The folder graph that each folder's README allows is the one the code has:
// every include between folders is allowed, Qt stays in gui/ folders, and
// nothing depends on itself through a ring of folders.
#include <gtest/gtest.h>

#include <algorithm>

#include "folder_rules.h"

namespace orvik::architecture {
namespace {

const std::filesystem::path kSourceRoot = ORVIK_SOURCE_ROOT;

std::string Joined(const std::vector<Node>& nodes) {
    std::string text;
    for (const Node& node : nodes) {
        text += (text.empty() ? "" : " -> ") + node;
    }
    return text;
}

TEST(FolderDependencies, EveryFolderStatesItsDependencies) {
    const FolderRules rules = ReadFolderRules(kSourceRoot);
    EXPECT_TRUE(rules.Problems.empty()) << rules.Problems.front();
    EXPECT_TRUE(rules.Allowed.count("base"));
    EXPECT_TRUE(rules.Allowed.at("base").empty()) << "base/ must depend on nothing";
}

TEST(FolderDependencies, EveryIncludeIsAllowedByItsFolder) {
    const FolderRules rules = ReadFolderRules(kSourceRoot);
    int checked = 0;
    for (const IncludeEdge& edge : ReadIncludeEdges(kSourceRoot)) {
        if (edge.To == "Qt") {
            ADD_FAILURE() << edge.File << " includes Qt outside a gui/ folder";
            continue;
        }
        ++checked;
        if (edge.To == edge.From) {
            continue;
        }
        const auto allowed = rules.Allowed.find(edge.From);
        ASSERT_NE(allowed, rules.Allowed.end()) << edge.File;
        EXPECT_TRUE(allowed->second.count(edge.To))
            << edge.File << " includes " << edge.To << "/, which " << edge.From
            << "'s README does not allow";
    }
    EXPECT_GT(checked, 100);  // the walk found the project's sources
}

TEST(FolderDependencies, AllowedGraphHasNoCycle) {
    const FolderRules rules = ReadFolderRules(kSourceRoot);
    EXPECT_EQ(Joined(FindCycle(rules.Allowed)), "");
}

TEST(FolderDependencies, RulesCatchWhatTheyMust) {
    EXPECT_EQ(NodeOf("app/gui/program/main.cpp"), "app/gui");
    EXPECT_EQ(NodeOf("instrument/acquisition.h"), "instrument");
    const std::map<Node, std::set<Node>> ring{{"a", {"b"}}, {"b", {"c"}}, {"c", {"a"}}, {"d", {}}};
    EXPECT_EQ(Joined(FindCycle(ring)), "a -> b -> c -> a");
    EXPECT_EQ(Joined(FindCycle({{"a", {"b"}}, {"b", {}}, {"c", {"a", "b"}}})), "");
}

}  // namespace
}  // namespace orvik::architecture
