#include "criteria/gui/scripts_dialog.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "qt_environment.h"
#include "station_fakes.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

QStringList Entries(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts << list->item(row)->text();
    }
    return texts;
}

// A library with "SE 50" (id 0) and "Diff 100" (id 1), and the dialog over it.
class ScriptsWindow : public ::testing::Test {
  protected:
    ScriptsWindow() {
        library.AddCriterion().Name = "SE 50";
        library.AddCriterion().Name = "Diff 100";
        dialog = std::make_unique<ScriptsDialog>(library, prompts);
        dialog->show();
    }
    void Click(const char* button) { QTest::mouseClick(dialog->Button(button), Qt::LeftButton); }
    void Type(ScriptField field, const QString& text) {
        QLineEdit* edit = dialog->Field(field);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void Choose(const QString& criterion) {
        const int index = dialog->CriteriaBox()->findText(criterion);
        dialog->CriteriaBox()->setCurrentIndex(index);
        emit dialog->CriteriaBox()->activated(index);
    }

    testing::ScriptedPrompts prompts;
    CriteriaLibrary library;
    std::unique_ptr<ScriptsDialog> dialog;
};

TEST_F(ScriptsWindow, OpensWithItsGroupsAndNothingSelected) {
    EXPECT_EQ(dialog->windowTitle(), "Define and Run Scripts");
    for (const char* group :
         {"Script List", "Script Information", "Script Elements", "Sample Naming"}) {
        EXPECT_NE(dialog->Group(group), nullptr) << group;
    }
    QStringList labels;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const char* label : {"Description:", "Customer:", "Job #:", "Operator:", "Station ID",
                              "Criteria:", "S/N Postfix:", "S/N Prefix"}) {
        EXPECT_TRUE(labels.contains(label)) << label;
    }
    EXPECT_TRUE(dialog->Button("Run")->isDefault());
    EXPECT_EQ(dialog->AutoNumberButton()->text(), "Automaticaly assign a serial number");
    EXPECT_FALSE(dialog->PromptButton()->isChecked());
    EXPECT_FALSE(dialog->AutoNumberButton()->isChecked());
    EXPECT_EQ(dialog->CriteriaBox()->itemText(0), "Diff 100") << "sorted";
    EXPECT_EQ(dialog->CriteriaBox()->currentIndex(), -1);
}

TEST_F(ScriptsWindow, EditsReachTheLibraryAsTheOperatorTypes) {
    Click("Create");
    ASSERT_EQ(library.Scripts.size(), 1u);
    Script& script = *library.Scripts[0];
    EXPECT_EQ(Entries(dialog->ScriptList()), QStringList{"Untitled Script - 1"});
    EXPECT_EQ(dialog->Field(ScriptField::Description)->text(), "Untitled Script - 1");
    EXPECT_TRUE(dialog->PromptButton()->isChecked());

    Type(ScriptField::Description, "Lot");
    Type(ScriptField::Customer, "Acme");
    Type(ScriptField::Prefix, "LOT7-");
    QTest::mouseClick(dialog->AutoNumberButton(), Qt::LeftButton);
    EXPECT_EQ(script.Description, "Lot");
    EXPECT_EQ(Entries(dialog->ScriptList()), QStringList{"Lot"}) << "replaced in place";
    EXPECT_EQ(dialog->ScriptList()->currentRow(), 0);
    EXPECT_EQ(script.Customer, "Acme");
    EXPECT_EQ(script.Prefix, "LOT7-");
    EXPECT_EQ(script.PromptForSerial, 0);

    Click("Add");
    Click("Add");
    EXPECT_EQ(dialog->ElementList()->currentRow(), 1);
    Type(ScriptField::Postfix, "B");
    EXPECT_EQ(script.Elements.back().Postfix, "") << "no criterion yet";
    Choose("Diff 100");
    Type(ScriptField::Postfix, "B");
    EXPECT_EQ(script.Elements.back().CriterionId, 1);
    EXPECT_EQ(Entries(dialog->ElementList()),
              (QStringList{"Undefined Script Element", "B - Diff 100"}));

    dialog->ElementList()->setCurrentRow(0);
    EXPECT_EQ(dialog->CriteriaBox()->currentIndex(), -1);
    EXPECT_EQ(dialog->Field(ScriptField::Postfix)->text(), "");
    Click("Remove");
    EXPECT_EQ(Entries(dialog->ElementList()), QStringList{"B - Diff 100"});
    EXPECT_EQ(script.Elements.front().Position, 1);

    Click("Run");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->ChosenScript(), &script);
}

TEST_F(ScriptsWindow, CloseAndRunWithoutSelectionChooseNothing) {
    Click("Create");
    Click("Close");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(dialog->ChosenScript(), nullptr);

    ScriptsDialog again(library, prompts);
    again.show();
    EXPECT_EQ(Entries(again.ScriptList()), QStringList{"Untitled Script - 1"});
    EXPECT_EQ(again.ScriptList()->currentRow(), -1);
    QTest::mouseClick(again.Button("Run"), Qt::LeftButton);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(again.ChosenScript(), nullptr);
}

// On a desktop the script list gets the focus as the dialog opens, which
// makes its first row current without selecting it (and the element list
// likewise): the fields stay empty, and Run (the default button, pressed by
// Enter), Delete and Remove act on nothing.
TEST_F(ScriptsWindow, FocusWithoutSelectionChoosesNothing) {
    for (const char* description : {"Lot 7", "Lot 8"}) {
        Script& script = library.AddScript();
        script.Description = description;
        script.AddElement().CriterionId = 0;
    }
    ScriptsDialog opened(library, prompts);
    opened.show();
    QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(opened.ScriptList(), &focus);
    ASSERT_EQ(opened.ScriptList()->currentRow(), 0);
    EXPECT_EQ(opened.Field(ScriptField::Description)->text(), "");
    EXPECT_FALSE(opened.PromptButton()->isChecked());
    QTest::mouseClick(opened.Button("Delete"), Qt::LeftButton);
    EXPECT_EQ(library.Scripts.size(), 2u);

    opened.ScriptList()->setCurrentRow(1);  // the operator picks "Lot 8"
    EXPECT_EQ(opened.Field(ScriptField::Description)->text(), "Lot 8");
    QApplication::sendEvent(opened.ElementList(), &focus);
    ASSERT_EQ(opened.ElementList()->currentRow(), 0);
    QTest::mouseClick(opened.Button("Remove"), Qt::LeftButton);
    EXPECT_EQ(library.Scripts[1]->Elements.size(), 1u);

    opened.ScriptList()->clearSelection();
    QTest::mouseClick(opened.Button("Run"), Qt::LeftButton);
    EXPECT_EQ(opened.result(), QDialog::Accepted);
    EXPECT_EQ(opened.ChosenScript(), nullptr);
}

TEST_F(ScriptsWindow, ScriptRunningElsewhereIsNotDeleted) {
    Click("Create");
    Click("Add");
    dialog->SetRunningCheck([](const Script&) { return true; });
    Click("Remove");
    Click("Delete");
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].caption, "Define and Run Scripts");
    EXPECT_NE(prompts.messages[1].text.find("Stop the run before deleting it."), std::string::npos);
    ASSERT_EQ(library.Scripts.size(), 1u);
    EXPECT_EQ(library.Scripts[0]->Elements.size(), 1u);
    EXPECT_EQ(Entries(dialog->ScriptList()), QStringList{"Untitled Script - 1"});

    dialog->SetRunningCheck({});
    Click("Delete");
    EXPECT_TRUE(library.Scripts.empty());
    EXPECT_EQ(dialog->ScriptList()->count(), 0);
    EXPECT_EQ(dialog->Field(ScriptField::Description)->text(), "");
}

}  // namespace
}  // namespace orvik
