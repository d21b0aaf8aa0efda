#include "criteria/gui/criteria_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/gui/latin1_field.h"
#include "base/gui/prompt_dialogs.h"
#include "base/operator_prompts.h"
#include "criteria/gui/selected_row.h"

namespace orvik {
namespace {

constexpr std::array<CriterionField, 5> kFieldOrder = {
    CriterionField::Name, CriterionField::TargetImpedance, CriterionField::AllowableError,
    CriterionField::StartPosition, CriterionField::EndPosition};

constexpr std::array<const char*, 5> kFieldLabels = {
    "Criteria Name:", "Target Impedance (Ohms):", "Allowable Erorr (%)",
    "Starting Position:", "Ending Position:"};

}  // namespace

std::string CriterionEditorDialog::FieldCaption(CriterionField field) {
    for (std::size_t i = 0; i < kFieldOrder.size(); ++i) {
        if (kFieldOrder[i] == field) {
            std::string label = kFieldLabels[i];
            if (!label.empty() && label.back() == ':') {
                label.pop_back();
            }
            return label;
        }
    }
    return {};
}

CriterionEditorDialog::CriterionEditorDialog(const Criterion& criterion, OperatorPrompts& prompts,
                                             QWidget* parent, LengthUnit unit)
    : QDialog(parent), criterion_(criterion), prompts_(prompts), unit_(unit) {
    setWindowTitle(kCriterionEditorTitle);
    const CriterionFields shown = FieldsOf(criterion, unit);
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < kFieldOrder.size(); ++i) {
        const int row = static_cast<int>(i);
        fields_[i] = new QLineEdit(ToQt(shown.Text(kFieldOrder[i])), this);
        KeepToLatin1(*fields_[i]);
        // Room for a long name, or a number in the longest form it is shown in.
        fields_[i]->setMinimumWidth(fields_[i]->fontMetrics().horizontalAdvance(
            QString(kFieldOrder[i] == CriterionField::Name ? 32 : 18, '0')));
        QString label = kFieldLabels[i];
        if (unit == LengthUnit::Millimetres && (kFieldOrder[i] == CriterionField::StartPosition ||
                                                kFieldOrder[i] == CriterionField::EndPosition)) {
            label.insert(label.size() - 1, " (mm)");
        }
        grid->addWidget(new QLabel(label, this), row, 0);
        if (kFieldOrder[i] == CriterionField::AllowableError) {
            grid->addWidget(new QLabel("+/-", this), row, 1);
        }
        grid->addWidget(fields_[i], row, 2);
    }
    doubleEnded_ = new QCheckBox("Double Ended", this);
    doubleEnded_->setChecked(shown.DoubleEnded);
    grid->addWidget(doubleEnded_, static_cast<int>(kFieldOrder.size()), 2);
    const int helperRow = static_cast<int>(kFieldOrder.size()) + 1;
    grid->addWidget(
        new QLabel(unit == LengthUnit::Millimetres ? "Coupon Length (mm):" : "Coupon Length:",
                   this),
        helperRow, 0);
    couponLength_ = new QLineEdit(this);
    couponLength_->setObjectName("couponLength");
    window_ = new QPushButton("Window 30-70 %", this);
    window_->setObjectName("couponWindow");
    window_->setAutoDefault(false);
    window_->setToolTip(
        "IPC-TM-650 2.5.5.7: the positions from 30 % to 70 % of the coupon's length");
    connect(window_, &QPushButton::clicked, this,
            &CriterionEditorDialog::FillWindowFromCouponLength);
    auto* helper = new QHBoxLayout;
    helper->addWidget(couponLength_);
    helper->addWidget(window_);
    grid->addLayout(helper, helperRow, 2);

    save_ = new QPushButton("Save", this);
    cancel_ = new QPushButton("Cancel", this);
    save_->setDefault(true);
    connect(save_, &QPushButton::clicked, this, &CriterionEditorDialog::Save);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    // The name is what the operator changes first ("Unnamed Criteria" for a
    // new one): typing replaces it.
    fields_[0]->setFocus();
    fields_[0]->selectAll();
}

QLineEdit* CriterionEditorDialog::Field(CriterionField field) const {
    for (std::size_t i = 0; i < kFieldOrder.size(); ++i) {
        if (kFieldOrder[i] == field) {
            return fields_[i];
        }
    }
    return fields_[0];
}

CriterionFields CriterionEditorDialog::Fields() const {
    CriterionFields fields;
    for (CriterionField field : kFieldOrder) {
        fields.Text(field) = FromQt(Field(field)->text());
    }
    fields.DoubleEnded = doubleEnded_->isChecked();
    return fields;
}

void CriterionEditorDialog::Save() {
    const CriterionFields fields = Fields();
    if (const auto wrong = FirstNonNumericField(fields)) {
        // The caption names the field; the field is selected for retyping.
        prompts_.Message(kNotANumberMessage, FieldCaption(*wrong), PromptIcon::Warning);
        Field(*wrong)->setFocus();
        Field(*wrong)->selectAll();
        return;
    }
    Criterion edited = criterion_;
    const Status applied = ApplyCriterionFields(fields, edited, unit_);
    if (!applied) {
        prompts_.Message(applied.Error().Message, kCriteriaValidationCaption, PromptIcon::Warning);
        return;
    }
    criterion_ = edited;
    accept();
}

void CriterionEditorDialog::FillWindowFromCouponLength() {
    const std::optional<double> length = ParseEditorNumber(FromQt(couponLength_->text()));
    const std::optional<TestWindow> window = length ? WindowForCouponLength(*length) : std::nullopt;
    if (!window) {
        prompts_.Message("Please enter the coupon's length, a number above zero.", "Coupon Length",
                         PromptIcon::Warning);
        couponLength_->setFocus();
        couponLength_->selectAll();
        return;
    }
    Field(CriterionField::StartPosition)->setText(ToQt(FormatEditorNumber(window->Start)));
    Field(CriterionField::EndPosition)->setText(ToQt(FormatEditorNumber(window->End)));
}

CriteriaManagerDialog::CriteriaManagerDialog(CriteriaLibrary& library, OperatorPrompts& prompts,
                                             QWidget* parent)
    : QDialog(parent), model_(library), prompts_(prompts) {
    setWindowTitle(kCriteriaManagerTitle);
    RunEditor = [](CriterionEditorDialog& editor) { return editor.exec() == QDialog::Accepted; };
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        model_.SelectIndex(SelectedRow(list_));
        UpdateButtons();
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { Edit(); });
    auto* buttons = new QVBoxLayout;
    const std::pair<const char*, void (CriteriaManagerDialog::*)()> commands[] = {
        {"Create", &CriteriaManagerDialog::Create},
        {"Edit", &CriteriaManagerDialog::Edit},
        {"Delete", &CriteriaManagerDialog::Delete},
        {"Close", nullptr}};
    for (const auto& [text, command] : commands) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(text);
        if (command != nullptr) {
            connect(button, &QPushButton::clicked, this, command);
        } else {
            button->setDefault(true);
            connect(button, &QPushButton::clicked, this, &QDialog::accept);
        }
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    Refill();
}

QPushButton* CriteriaManagerDialog::Button(const char* text) const {
    return findChild<QPushButton*>(text);
}

void CriteriaManagerDialog::Refill() {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (const auto& entry : model_.Entries()) {
        list_->addItem(ToQt(entry.Name));
    }
    list_->setCurrentRow(model_.SelectedIndex());
    if (model_.SelectedIndex() < 0) {
        list_->clearSelection();
    }
    UpdateButtons();
}

void CriteriaManagerDialog::UpdateButtons() {
    const bool selected = model_.SelectedCriterion() != nullptr;
    Button("Edit")->setEnabled(selected);
    Button("Delete")->setEnabled(selected);
}

void CriteriaManagerDialog::Create() {
    CriterionEditorDialog editor(Criterion(), prompts_, this, unit_);
    if (RunEditor(editor)) {
        model_.AddCreated(editor.Value());
        Refill();
    }
}

void CriteriaManagerDialog::Edit() {
    const Criterion* selected = model_.SelectedCriterion();
    if (selected == nullptr) {
        return;
    }
    CriterionEditorDialog editor(*selected, prompts_, this, unit_);
    if (RunEditor(editor)) {
        model_.ApplyEdit(editor.Value());
        Refill();
    }
}

void CriteriaManagerDialog::Delete() {
    if (model_.DeleteSelected()) {
        Refill();
    }
}

}  // namespace orvik
