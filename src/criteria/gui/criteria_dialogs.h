#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "criteria/criteria_manager.h"
#include "criteria/criterion_editor.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace orvik {

class OperatorPrompts;

// "Criteria Editor": one criterion's fields. Save checks them and keeps the
// dialog open on the first fault, with the values as typed.
class CriterionEditorDialog : public QDialog {
    Q_OBJECT
  public:
    // Positions are shown and typed in `unit`; the criterion keeps inches.
    CriterionEditorDialog(const Criterion& criterion, OperatorPrompts& prompts,
                          QWidget* parent = nullptr, LengthUnit unit = LengthUnit::Inches);

    // The edited criterion: after Save, the values and limits; the id as given.
    const Criterion& Value() const { return criterion_; }

    QLineEdit* Field(CriterionField field) const;
    QCheckBox* DoubleEndedBox() const { return doubleEnded_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* CancelButton() const { return cancel_; }

    void Save();
    // The window from 30 % to 70 % of the coupon length typed beside the
    // button (IPC-TM-650 2.5.5.7), into the position fields.
    void FillWindowFromCouponLength();
    QLineEdit* CouponLengthField() const { return couponLength_; }
    QPushButton* WindowButton() const { return window_; }

    // The field's label as a caption, e.g. "Target Impedance (Ohms)".
    static std::string FieldCaption(CriterionField field);

  private:
    CriterionFields Fields() const;

    Criterion criterion_;
    OperatorPrompts& prompts_;
    std::array<QLineEdit*, 5> fields_{};
    QCheckBox* doubleEnded_;
    QLineEdit* couponLength_;
    QPushButton* window_;
    LengthUnit unit_;
    QPushButton* save_;
    QPushButton* cancel_;
};

// "Criteria Manager": the library's criteria by name, edited in place.
class CriteriaManagerDialog : public QDialog {
    Q_OBJECT
  public:
    CriteriaManagerDialog(CriteriaLibrary& library, OperatorPrompts& prompts,
                          QWidget* parent = nullptr);

    // Shows the editor and tells whether it was saved; the window runs it
    // modally, a test answers it directly.
    std::function<bool(CriterionEditorDialog&)> RunEditor;
    // The unit the editor shows positions in.
    void SetLengthUnit(LengthUnit unit) { unit_ = unit; }

    // The criterion to select in the toolbar afterwards.
    std::optional<std::int32_t> CloseId() const { return model_.CloseId(); }

    QListWidget* List() const { return list_; }
    QPushButton* Button(const char* text) const;

    void Create();
    void Edit();
    void Delete();

  private:
    void Refill();
    // Edit and Delete act on the selected criterion: without one they are off.
    void UpdateButtons();

    CriteriaManagerModel model_;
    OperatorPrompts& prompts_;
    LengthUnit unit_ = LengthUnit::Inches;
    QListWidget* list_;
};

}  // namespace orvik
