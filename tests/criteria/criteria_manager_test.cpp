#include "criteria/criteria_manager.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "base/operator_prompts.h"
#include "criteria/criterion_selector.h"
#include "test_files.h"

namespace orvik {
namespace {

class AnsweringPrompts : public OperatorPrompts {
  public:
    void Message(const std::string& text, const std::string& caption, PromptIcon) override {
        messages.push_back(text + "|" + caption);
    }
    bool AskYesNo(const std::string& text, const std::string&) override {
        questions.push_back(text);
        return answerYes;
    }
    std::optional<std::string> AskTraceName(const std::string&) override { return {}; }
    std::optional<std::string> AskCouponSerial() override { return {}; }

    bool answerYes = false;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
};

Criterion Named(const std::string& name) {
    Criterion criterion;
    criterion.Name = name;
    return criterion;
}

std::vector<std::string> Names(const CriteriaManagerModel& manager) {
    std::vector<std::string> names;
    for (const auto& entry : manager.Entries()) {
        names.push_back(entry.Name);
    }
    return names;
}

using Strings = std::vector<std::string>;

TEST(CriteriaManager, ListsAlphabeticallyAndCreatesWithFreshIds) {
    CriteriaLibrary library;
    CriteriaManagerModel manager(library);
    EXPECT_EQ(manager.CloseId(), std::nullopt);

    manager.AddCreated(Named("microstrip"));
    manager.AddCreated(Named("Coax"));
    EXPECT_EQ(manager.AddCreated(Named("Stripline")), 2);
    EXPECT_EQ(Names(manager), (Strings{"Coax", "microstrip", "Stripline"}));
    // the library keeps the order of creation; the first id is 0
    ASSERT_EQ(library.Criteria.size(), 3u);
    EXPECT_EQ(library.Criteria[0]->Name, "microstrip");
    EXPECT_EQ(library.Criteria[0]->Id, 0);
    EXPECT_EQ(library.Criteria[1]->Id, 1);
    EXPECT_EQ(library.Criteria[2]->Id, 2);

    library.Criteria[1]->Id = 9;
    manager.AddCreated(Named("Differential"));
    EXPECT_EQ(library.Criteria.back()->Id, 10);

    CriteriaManagerModel reopened(library);
    EXPECT_EQ(Names(reopened), (Strings{"Coax", "Differential", "microstrip", "Stripline"}));
}

TEST(CriteriaManager, EditKeepsIdAndPlace) {
    CriteriaLibrary library;
    library.AddCriterion(Named("Alpha"));
    library.AddCriterion(Named("Beta"));
    CriteriaManagerModel manager(library);
    EXPECT_FALSE(manager.ApplyEdit(Named("ignored")));

    manager.SelectIndex(0);
    Criterion edited = *manager.SelectedCriterion();
    edited.Name = "Zulu";
    edited.TargetImpedance = 75;
    edited.Id = 42;
    ASSERT_TRUE(manager.ApplyEdit(edited));
    EXPECT_EQ(Names(manager), (Strings{"Zulu", "Beta"}));
    EXPECT_EQ(library.Criteria[0]->Id, 0);
    EXPECT_EQ(library.Criteria[0]->TargetImpedance, 75);
    EXPECT_EQ(manager.CloseId(), 0);
    EXPECT_EQ(Names(CriteriaManagerModel(library)), (Strings{"Beta", "Zulu"}));
}

TEST(CriteriaManager, DeleteRemovesAtOnceAndCloseFallsBackToFirst) {
    CriteriaLibrary library;
    library.AddCriterion(Named("Beta"));
    library.AddCriterion(Named("Alpha"));
    CriteriaManagerModel manager(library);
    EXPECT_FALSE(manager.DeleteSelected());

    manager.SelectIndex(1);  // Beta, id 0
    EXPECT_EQ(manager.CloseId(), 0);
    ASSERT_TRUE(manager.DeleteSelected());
    EXPECT_EQ(Names(manager), (Strings{"Alpha"}));
    ASSERT_EQ(library.Criteria.size(), 1u);
    EXPECT_EQ(manager.SelectedIndex(), -1);
    EXPECT_EQ(manager.CloseId(), 1);

    manager.SelectIndex(0);
    ASSERT_TRUE(manager.DeleteSelected());
    EXPECT_TRUE(library.Criteria.empty());
    EXPECT_EQ(manager.CloseId(), std::nullopt);
}

// A criterion created while another is selected lists above it, at its row or
// below it; the selection stays on the criterion the operator chose, so that
// Edit, Delete and Close act on that one.
TEST(CriteriaManager, SelectionStaysOnItsCriterionWhenOneIsCreated) {
    struct Case {
        const char* created;
        int createdAt;
        int selectedAfter;
    };
    for (const Case& c :
         {Case{"Alpha", 0, 2}, Case{"Charlie", 1, 2}, Case{"delta", 2, 1}, Case{"Echo", 2, 1}}) {
        SCOPED_TRACE(c.created);
        CriteriaLibrary library;
        library.AddCriterion(Named("Bravo"));
        library.AddCriterion(Named("Delta"));
        CriteriaManagerModel manager(library);
        manager.SelectIndex(1);
        EXPECT_EQ(manager.AddCreated(Named(c.created)), c.createdAt);
        EXPECT_EQ(manager.SelectedIndex(), c.selectedAfter);
        ASSERT_NE(manager.SelectedCriterion(), nullptr);
        EXPECT_EQ(manager.SelectedCriterion()->Name, "Delta");
        EXPECT_EQ(manager.CloseId(), 1);
    }
}

class AfterManagerClose : public ::testing::Test {
  protected:
    testing::TemporaryFolder folder;
    std::string path = folder.File("criteria.dat");
    CriteriaLibrary library;
    CriteriaSelectorModel selector;
    AnsweringPrompts prompts;
    int selectionChanges = 0;
    std::function<void()> changed = [this] { ++selectionChanges; };
};

TEST_F(AfterManagerClose, RefillsSelectsByIdAndSaves) {
    library.AddCriterion(Named("B"));
    library.AddCriterion(Named("A"));
    selector.FillInListOrder(library);
    CriteriaManagerModel manager(library);
    manager.SelectIndex(1);
    manager.DeleteSelected();  // B
    manager.AddCreated(Named("C"));

    ASSERT_TRUE(AfterCriteriaManagerClosed(library, selector, 2, changed, prompts, path));
    ASSERT_EQ(selector.Entries().size(), 2u);
    EXPECT_EQ(selector.Entries()[0].Name, "A");
    EXPECT_EQ(selector.SelectedCriterion()->Id, 2);
    EXPECT_EQ(selectionChanges, 1);

    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(path));
    EXPECT_EQ(saved.Criteria.size(), 2u);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(AfterManagerClose, UnknownIdSelectsFirstAndEmptyLibrarySelectsNothing) {
    library.AddCriterion(Named("A"));
    library.AddCriterion(Named("B"));
    ASSERT_TRUE(AfterCriteriaManagerClosed(library, selector, 77, changed, prompts, path));
    EXPECT_EQ(selector.SelectedIndex(), 0);

    library.Criteria.clear();
    ASSERT_TRUE(
        AfterCriteriaManagerClosed(library, selector, std::nullopt, changed, prompts, path));
    EXPECT_TRUE(selector.Entries().empty());
    EXPECT_EQ(selector.SelectedIndex(), -1);
    EXPECT_EQ(selectionChanges, 2);
}

TEST_F(AfterManagerClose, DamagedLibraryIsReplacedOnlyWithConsent) {
    const std::vector<std::uint8_t> damaged{3, 0, 0};
    testing::WriteFile(path, damaged);
    ASSERT_FALSE(library.Load(path));
    library.AddCriterion(Named("A"));

    EXPECT_FALSE(SaveLibrary(library, prompts, path));
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_NE(prompts.questions[0].find(path), std::string::npos);
    EXPECT_EQ(testing::ReadFile(path), damaged);
    EXPECT_EQ(library.Criteria.size(), 1u);

    prompts.answerYes = true;
    ASSERT_TRUE(SaveLibrary(library, prompts, path));
    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(path));
    EXPECT_EQ(saved.Criteria.size(), 1u);
}

TEST_F(AfterManagerClose, FailedSaveIsReportedAndLibraryKept) {
    std::string unwritable = folder.File("missing-folder/criteria.dat");
    library.AddCriterion(Named("A"));
    Status saved = AfterCriteriaManagerClosed(library, selector, 0, changed, prompts, unwritable);
    ASSERT_FALSE(saved);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].find(unwritable), std::string::npos);
    EXPECT_NE(prompts.messages[0].find("No such file"), std::string::npos);
    EXPECT_EQ(library.Criteria.size(), 1u);
    EXPECT_EQ(selector.SelectedCriterion(), library.Criteria[0].get());
}

}  // namespace
}  // namespace orvik
