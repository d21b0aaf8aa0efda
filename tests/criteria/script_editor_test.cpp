#include "criteria/script_editor.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

using Strings = std::vector<std::string>;

// A library with criteria "SE 50" (id 0), "diff 100" (id 1) and "Coax 75" (id 2).
struct ThreeCriteria {
    ThreeCriteria() {
        for (const char* name : {"SE 50", "diff 100", "Coax 75"}) {
            library.AddCriterion().Name = name;
        }
    }
    CriteriaLibrary library;
};

class ScriptEditor : public ::testing::Test, protected ThreeCriteria {
  protected:
    int Choice(const std::string& name) const {
        const auto& choices = editor.CriterionChoices();
        for (std::size_t i = 0; i < choices.size(); ++i) {
            if (choices[i].Name == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    ScriptEditorModel editor{library};
};

TEST_F(ScriptEditor, OpensWithNothingSelectedAndTheCriteriaSorted) {
    library.AddScript();
    ScriptEditorModel opened(library);
    EXPECT_EQ(opened.ScriptEntries(), Strings{"Untitled Script - 1"});
    EXPECT_EQ(opened.SelectedScriptIndex(), -1);
    EXPECT_EQ(opened.PromptChoice(), std::nullopt);
    EXPECT_TRUE(opened.ElementEntries().empty());
    Strings names;
    for (const auto& choice : opened.CriterionChoices()) {
        names.push_back(choice.Name);
    }
    EXPECT_EQ(names, (Strings{"Coax 75", "diff 100", "SE 50"}));
}

TEST_F(ScriptEditor, CreateNumbersSelectsAndShowsTheScript) {
    editor.Create();
    editor.Create();
    EXPECT_EQ(editor.ScriptEntries(), (Strings{"Untitled Script - 1", "Untitled Script - 2"}));
    EXPECT_EQ(editor.SelectedScriptIndex(), 1);
    EXPECT_EQ(editor.Text(ScriptField::Description), "Untitled Script - 2");
    EXPECT_EQ(editor.PromptChoice(), true) << "a new script prompts for serials";
}

TEST_F(ScriptEditor, FieldsFollowTheTypingIntoTheSelectedScript) {
    editor.Create();
    editor.Type(ScriptField::Description, "Lot impedance");
    editor.Type(ScriptField::Customer, "Acme");
    editor.Type(ScriptField::JobNumber, "J-12");
    editor.Type(ScriptField::Operator, "Kim");
    editor.Type(ScriptField::StationId, "S3");
    editor.Type(ScriptField::Prefix, "LOT7-");
    editor.ChoosePrompt(false);
    const Script& script = *library.Scripts[0];
    EXPECT_EQ(editor.ScriptEntries(), Strings{"Lot impedance"});
    EXPECT_EQ(editor.SelectedScriptIndex(), 0) << "the entry stays selected";
    EXPECT_EQ(script.Customer, "Acme");
    EXPECT_EQ(script.JobNumber, "J-12");
    EXPECT_EQ(script.Operator, "Kim");
    EXPECT_EQ(script.StationId, "S3");
    EXPECT_EQ(script.Prefix, "LOT7-");
    EXPECT_EQ(script.PromptForSerial, 0);
    EXPECT_TRUE(script.AutoNumber());
}

// Without a selection the description and prefix empty and the buttons
// clear; the report fields keep their text but reach no script.
TEST_F(ScriptEditor, EmptySelectionKeepsReportFieldsAndChangesNoScript) {
    editor.Create();
    editor.Type(ScriptField::Customer, "Acme");
    editor.SelectScript(-1);
    EXPECT_EQ(editor.Text(ScriptField::Description), "");
    EXPECT_EQ(editor.Text(ScriptField::Customer), "Acme");
    EXPECT_EQ(editor.PromptChoice(), std::nullopt);
    editor.Type(ScriptField::Customer, "Other");
    editor.Type(ScriptField::Description, "Other");
    editor.ChoosePrompt(false);
    EXPECT_EQ(editor.PromptChoice(), std::nullopt);
    EXPECT_EQ(library.Scripts[0]->Customer, "Acme");
    EXPECT_EQ(library.Scripts[0]->Description, "Untitled Script - 1");
    EXPECT_EQ(library.Scripts[0]->PromptForSerial, 1);
}

TEST_F(ScriptEditor, PostfixWaitsForACriterionAndLabelsFollow) {
    editor.Create();
    editor.Add();
    editor.Add();
    EXPECT_EQ(editor.SelectedElementIndex(), 1);
    editor.Type(ScriptField::Postfix, "B");
    EXPECT_EQ(library.Scripts[0]->Elements.back().Postfix, "") << "no criterion yet";
    editor.ChooseCriterion(Choice("diff 100"));
    EXPECT_EQ(library.Scripts[0]->Elements.back().CriterionId, 1);
    EXPECT_EQ(editor.ElementEntries(), (Strings{"Undefined Script Element", " - diff 100"}));
    editor.Type(ScriptField::Postfix, "B");
    EXPECT_EQ(editor.ElementEntries(), (Strings{"Undefined Script Element", "B - diff 100"}));
    EXPECT_EQ(editor.SelectedElementIndex(), 1) << "the test stays selected";

    editor.SelectElement(0);
    EXPECT_EQ(editor.SelectedChoice(), -1);
    EXPECT_EQ(editor.Text(ScriptField::Postfix), "");
    editor.SelectElement(1);
    EXPECT_EQ(editor.SelectedChoice(), Choice("diff 100"));
    EXPECT_EQ(editor.Text(ScriptField::Postfix), "B");

    editor.SelectElement(-1);
    editor.ChooseCriterion(Choice("SE 50"));
    EXPECT_EQ(editor.SelectedChoice(), -1) << "no test, no choice";
}

TEST_F(ScriptEditor, DeletedCriterionShowsAsUndefined) {
    Script& script = library.AddScript();
    script.AddElement().CriterionId = 2;
    script.Elements.back().Postfix = "C";
    library.RemoveCriterion(library.FindById(2));
    ScriptEditorModel reopened(library);
    reopened.SelectScript(0);
    EXPECT_EQ(reopened.ElementEntries(), Strings{"C - Undefined Criteria"});
    reopened.SelectElement(0);
    EXPECT_EQ(reopened.SelectedChoice(), -1);
    reopened.Type(ScriptField::Postfix, "D");
    EXPECT_EQ(script.Elements.front().Postfix, "C");
}

TEST_F(ScriptEditor, RemoveRenumbersAndDeleteLeavesNothingSelected) {
    editor.Create();
    for (int i = 0; i < 3; ++i) {
        editor.Add();
    }
    editor.SelectElement(0);
    ASSERT_TRUE(editor.Remove().Ok());
    const Script& script = *library.Scripts[0];
    ASSERT_EQ(script.Elements.size(), 2u);
    EXPECT_EQ(script.Elements.front().Position, 1);
    EXPECT_EQ(script.Elements.back().Position, 2);
    EXPECT_EQ(editor.SelectedElementIndex(), -1);

    editor.Create();
    editor.SelectScript(0);
    ASSERT_TRUE(editor.Delete().Ok());
    EXPECT_EQ(editor.ScriptEntries(), Strings{"Untitled Script - 2"});
    EXPECT_EQ(editor.SelectedScriptIndex(), -1);
    EXPECT_TRUE(editor.ElementEntries().empty());
}

// A collection's run holds its script and the test it is at: neither may go.
TEST_F(ScriptEditor, RunningScriptIsNeitherDeletedNorShortened) {
    editor.Create();
    editor.Add();
    const Script* running = library.Scripts[0].get();
    editor.IsRunning = [&](const Script& script) { return &script == running; };
    editor.SelectElement(0);
    const Status removed = editor.Remove();
    ASSERT_FALSE(removed.Ok());
    EXPECT_NE(removed.Error().Message.find("\"Untitled Script - 1\" is running"),
              std::string::npos);
    EXPECT_EQ(running->Elements.size(), 1u);
    EXPECT_FALSE(editor.Delete().Ok());
    EXPECT_EQ(library.Scripts.size(), 1u);
    editor.Add();
    EXPECT_EQ(running->Elements.size(), 2u) << "a test may be added while it runs";

    running = nullptr;
    EXPECT_TRUE(editor.Delete().Ok());
    EXPECT_TRUE(library.Scripts.empty());
}

}  // namespace
}  // namespace orvik
