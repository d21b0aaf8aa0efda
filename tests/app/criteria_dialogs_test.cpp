#include "criteria/gui/criteria_dialogs.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "qt_environment.h"
#include "station_fakes.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

void Type(QLineEdit* field, const QString& text) {
    field->clear();
    QTest::keyClicks(field, text);
}

TEST(CriterionEditorWindow, ShowsLabelsAndValuesAndSavesWithLimits) {
    testing::ScriptedPrompts prompts;
    Criterion criterion;
    criterion.Id = 7;
    CriterionEditorDialog editor(criterion, prompts);
    EXPECT_EQ(editor.windowTitle(), "Criteria Editor");
    QStringList labels;
    for (QLabel* label : editor.findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const char* label : {"Criteria Name:", "Target Impedance (Ohms):", "Allowable Erorr (%)",
                              "+/-", "Starting Position:", "Ending Position:"}) {
        EXPECT_TRUE(labels.contains(label)) << label;
    }
    EXPECT_EQ(editor.Field(CriterionField::Name)->text(), "Unnamed Criteria");
    EXPECT_EQ(editor.Field(CriterionField::TargetImpedance)->text(), "50");
    EXPECT_TRUE(editor.SaveButton()->isDefault());
    EXPECT_EQ(editor.CancelButton()->text(), "Cancel");

    Type(editor.Field(CriterionField::Name), "Coax 75");
    Type(editor.Field(CriterionField::TargetImpedance), "75");
    Type(editor.Field(CriterionField::StartPosition), "0");
    Type(editor.Field(CriterionField::EndPosition), "10");
    editor.DoubleEndedBox()->setChecked(true);
    QTest::mouseClick(editor.SaveButton(), Qt::LeftButton);
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(editor.Value().Id, 7);
    EXPECT_EQ(editor.Value().Name, "Coax 75");
    EXPECT_DOUBLE_EQ(editor.Value().MinimumImpedance, 67.5);
    EXPECT_DOUBLE_EQ(editor.Value().MaximumImpedance, 82.5);
    EXPECT_EQ(editor.Value().DoubleEnded, 1);
}

TEST(CriterionEditorWindow, FaultsKeepTheDialogOpenWithTheTypedValues) {
    testing::ScriptedPrompts prompts;
    CriterionEditorDialog editor(Criterion(), prompts);
    editor.show();
    Type(editor.Field(CriterionField::AllowableError), "ten");
    QTest::mouseClick(editor.SaveButton(), Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please enter a number.");
    EXPECT_EQ(editor.focusWidget(), editor.Field(CriterionField::AllowableError));
    EXPECT_NE(editor.result(), QDialog::Accepted);

    Type(editor.Field(CriterionField::AllowableError), "0");
    QTest::mouseClick(editor.SaveButton(), Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, "Minimum Impedance must be less than Maximum Impedance");
    EXPECT_EQ(prompts.messages[1].caption, "Criteria Validation");
    EXPECT_EQ(editor.Field(CriterionField::AllowableError)->text(), "0");
    EXPECT_EQ(editor.Value(), Criterion());
    EXPECT_NE(editor.result(), QDialog::Accepted);
}

class CriteriaManagerWindow : public ::testing::Test {
  protected:
    CriteriaManagerWindow() {
        library.AddCriterion().Name = "Stripline";
        library.AddCriterion().Name = "Coax";
        dialog = std::make_unique<CriteriaManagerDialog>(library, prompts);
    }
    QStringList Shown() const {
        QStringList names;
        for (int i = 0; i < manager().List()->count(); ++i) {
            names << manager().List()->item(i)->text();
        }
        return names;
    }

    testing::ScriptedPrompts prompts;
    CriteriaLibrary library;
    std::unique_ptr<CriteriaManagerDialog> dialog;
    CriteriaManagerDialog& manager() const { return *dialog; }
};

TEST_F(CriteriaManagerWindow, CreatesEditsAndDeletesInTheLibrary) {
    EXPECT_EQ(manager().windowTitle(), "Criteria Manager");
    EXPECT_TRUE(manager().Button("Close")->isDefault());
    EXPECT_EQ(Shown(), (QStringList{"Coax", "Stripline"}));

    manager().RunEditor = [](CriterionEditorDialog& editor) {
        EXPECT_EQ(editor.Field(CriterionField::Name)->text(), "Unnamed Criteria");
        editor.Field(CriterionField::Name)->setText("Microstrip");
        editor.Save();
        return editor.result() == QDialog::Accepted;
    };
    QTest::mouseClick(manager().Button("Create"), Qt::LeftButton);
    EXPECT_EQ(Shown(), (QStringList{"Coax", "Microstrip", "Stripline"}));
    ASSERT_EQ(library.Criteria.size(), 3u);
    EXPECT_EQ(library.Criteria[2]->Id, 2);

    manager().List()->setCurrentRow(0);  // Coax
    manager().RunEditor = [](CriterionEditorDialog& editor) {
        editor.Field(CriterionField::Name)->setText("Twinax");
        editor.Save();
        return true;
    };
    QTest::mouseClick(manager().Button("Edit"), Qt::LeftButton);
    EXPECT_EQ(Shown(), (QStringList{"Twinax", "Microstrip", "Stripline"}));
    EXPECT_EQ(library.Criteria[1]->Name, "Twinax");
    EXPECT_EQ(library.Criteria[1]->Id, 1);
    EXPECT_EQ(manager().CloseId(), 1);

    manager().List()->setCurrentRow(2);  // Stripline, id 0
    QTest::mouseClick(manager().Button("Delete"), Qt::LeftButton);
    EXPECT_EQ(Shown(), (QStringList{"Twinax", "Microstrip"}));
    EXPECT_EQ(library.FindById(0), nullptr);
    EXPECT_TRUE(prompts.questions.empty()) << "Delete asks nothing";
}

// A list that gets the focus (as the manager's does when it opens on a
// desktop) makes its first row current without selecting it: Edit and Delete
// then act on nothing, and Close names the library's first criterion.
TEST_F(CriteriaManagerWindow, CurrentRowWithoutSelectionIsNoChoice) {
    QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(manager().List(), &focus);
    ASSERT_EQ(manager().List()->currentRow(), 0);
    ASSERT_TRUE(manager().List()->selectedItems().isEmpty());
    manager().RunEditor = [](CriterionEditorDialog&) {
        ADD_FAILURE() << "Edit opened the editor without a selection";
        return false;
    };
    QTest::mouseClick(manager().Button("Edit"), Qt::LeftButton);
    QTest::mouseClick(manager().Button("Delete"), Qt::LeftButton);
    EXPECT_EQ(Shown(), (QStringList{"Coax", "Stripline"}));
    EXPECT_EQ(library.Criteria.size(), 2u);
    EXPECT_EQ(manager().CloseId(), library.Criteria.front()->Id);
}

TEST_F(CriteriaManagerWindow, CancelledEditorChangesNothing) {
    manager().RunEditor = [](CriterionEditorDialog& editor) {
        editor.Field(CriterionField::Name)->setText("Changed");
        return false;
    };
    QTest::mouseClick(manager().Button("Create"), Qt::LeftButton);
    manager().List()->setCurrentRow(0);
    QTest::mouseClick(manager().Button("Edit"), Qt::LeftButton);
    EXPECT_EQ(Shown(), (QStringList{"Coax", "Stripline"}));
    EXPECT_EQ(library.Criteria.size(), 2u);
    EXPECT_EQ(library.Criteria[1]->Name, "Coax");
}

// A field that holds no number is named in the message's caption and
// selected, so that typing replaces it; the message's text stays as it is.
TEST(CriterionEditorWindow, NotANumberNamesAndSelectsTheField) {
    const std::pair<CriterionField, const char*> cases[] = {
        {CriterionField::TargetImpedance, "Target Impedance (Ohms)"},
        {CriterionField::AllowableError, "Allowable Erorr (%)"},
        {CriterionField::StartPosition, "Starting Position"},
        {CriterionField::EndPosition, "Ending Position"},
    };
    for (const auto& [field, caption] : cases) {
        testing::ScriptedPrompts prompts;
        CriterionEditorDialog editor(Criterion(), prompts);
        editor.show();
        Type(editor.Field(field), "4,5x");
        QTest::mouseClick(editor.SaveButton(), Qt::LeftButton);
        ASSERT_EQ(prompts.messages.size(), 1u) << caption;
        EXPECT_EQ(prompts.messages[0].text, "Please enter a number.");
        EXPECT_EQ(prompts.messages[0].caption, caption);
        EXPECT_EQ(editor.focusWidget(), editor.Field(field)) << caption;
        EXPECT_EQ(editor.Field(field)->selectedText(), "4,5x") << caption;
    }
}

// Typing at once replaces the proposed name, and each field shows the
// longest value it is given without scrolling.
TEST(CriterionEditorWindow, OpensReadyToRenameWithRoomForItsValues) {
    testing::ScriptedPrompts prompts;
    CriterionEditorDialog editor(Criterion(), prompts);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    QTest::keyClicks(editor.focusWidget(), "Coax 75");
    EXPECT_EQ(editor.Field(CriterionField::Name)->text(), "Coax 75");

    const std::pair<CriterionField, QString> longest[] = {
        {CriterionField::Name, "Differential stripline 100 ohm"},
        {CriterionField::TargetImpedance, "-0.123456789012345"},
        {CriterionField::EndPosition, "1.23456789012345e-05"},
    };
    for (const auto& [field, text] : longest) {
        QLineEdit* edit = editor.Field(field);
        EXPECT_GE(edit->contentsRect().width(), edit->fontMetrics().horizontalAdvance(text))
            << text.toStdString();
    }
}

// Edit and Delete are offered only with a criterion selected; a double click
// on a criterion edits it.
TEST_F(CriteriaManagerWindow, EditAndDeleteNeedASelectionAndDoubleClickEdits) {
    manager().show();
    EXPECT_FALSE(manager().Button("Edit")->isEnabled());
    EXPECT_FALSE(manager().Button("Delete")->isEnabled());
    EXPECT_TRUE(manager().Button("Create")->isEnabled());
    manager().List()->setCurrentRow(1);
    EXPECT_TRUE(manager().Button("Edit")->isEnabled());
    EXPECT_TRUE(manager().Button("Delete")->isEnabled());
    QTest::mouseClick(manager().Button("Delete"), Qt::LeftButton);
    EXPECT_FALSE(manager().Button("Edit")->isEnabled()) << "the selected one went";
    EXPECT_FALSE(manager().Button("Delete")->isEnabled());

    QString edited;
    manager().RunEditor = [&edited](CriterionEditorDialog& editor) {
        edited = editor.Field(CriterionField::Name)->text();
        return false;
    };
    QListWidget* list = manager().List();
    const QRect row = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(edited, "Coax");
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// In millimetres the positions read and are typed in mm, the coupon window
// helper fills 30 % to 70 % of the coupon, and the criterion keeps inches,
// exactly: 76.2 and 177.8 mm are 3 and 7 inches to the last bit.
TEST(CriterionEditorWindow, MillimetresAndTheCouponWindow) {
    testing::ScriptedPrompts prompts;
    CriterionEditorDialog editor(Criterion(), prompts, nullptr, LengthUnit::Millimetres);
    QStringList labels;
    for (QLabel* label : editor.findChildren<QLabel*>()) {
        labels << label->text();
    }
    EXPECT_TRUE(labels.contains("Starting Position (mm):"));
    EXPECT_TRUE(labels.contains("Ending Position (mm):"));
    EXPECT_EQ(editor.Field(CriterionField::StartPosition)->text(), "101.6");
    EXPECT_EQ(editor.Field(CriterionField::EndPosition)->text(), "177.8");

    Type(editor.CouponLengthField(), "-3");
    QTest::mouseClick(editor.WindowButton(), Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Coupon Length");
    EXPECT_EQ(editor.Field(CriterionField::StartPosition)->text(), "101.6") << "left alone";

    Type(editor.CouponLengthField(), "254");
    QTest::mouseClick(editor.WindowButton(), Qt::LeftButton);
    EXPECT_EQ(editor.Field(CriterionField::StartPosition)->text(), "76.2");
    EXPECT_EQ(editor.Field(CriterionField::EndPosition)->text(), "177.8");
    EXPECT_NE(editor.result(), QDialog::Accepted) << "the helper does not save";
    QTest::mouseClick(editor.SaveButton(), Qt::LeftButton);
    ASSERT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(editor.Value().StartPosition, 3.0);
    EXPECT_EQ(editor.Value().EndPosition, 7.0);
}

}  // namespace
}  // namespace orvik
