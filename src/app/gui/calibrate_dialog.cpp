#include "app/gui/calibrate_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <utility>

#include "base/c_numbers.h"
#include "base/gui/latin1_field.h"
#include "base/gui/prompt_dialogs.h"
#include "base/operator_prompts.h"
#include "chart/gui/xgraph_widget.h"

namespace orvik {
namespace {

constexpr ChartColour kCalibrationTraceColour = 0xC87828;
constexpr const char* kNotANumberText = "Please enter a number.";

// A Qt colour as the chart keeps colours: 0x00BBGGRR.
ChartColour ChartColourOf(const QColor& colour) {
    return static_cast<ChartColour>(colour.red()) |
           (static_cast<ChartColour>(colour.green()) << 8) |
           (static_cast<ChartColour>(colour.blue()) << 16);
}

// A number field's text as the dialog writes it back: every digit the value
// has, so that taking the field again gives the same number (a rounded Known
// impedance would make a second point beside the first).
QString NumberText(double value) {
    return ToQt(ShortestC(value));
}

}  // namespace

CalibrateDialog::CalibrateDialog(CalibrationSession& session, const TraceRecord* current,
                                 OperatorPrompts& prompts, InstrumentRunner run, QWidget* parent)
    : QDialog(parent), session_(session), prompts_(prompts), run_(std::move(run)) {
    setObjectName("calibrateDialog");
    setWindowTitle("Calibration");
    const CalibrationSet& calibration = session_.Station().Calibration();
    BuildControls(ToQt(calibration.LastOperator()), ToQt(calibration.LastDate()));
    session_.SelectMode(MeasurementMode::SingleEnded);
    singleEnded_->setChecked(true);
    resetButton_->setVisible(session_.CharacterizeMode());

    // The active collection's current trace first.
    std::vector<CurvePoint> points;
    if (current != nullptr) {
        for (const TraceSample& sample : current->Samples) {
            points.push_back({sample.Position, sample.Impedance});
        }
    }
    const double xMaximum = points.empty() ? 10.0 : points.back().X;
    ShowPoints(std::move(points), xMaximum, session_.ModeYMaximum());
    RefreshControls();
}

void CalibrateDialog::OfferSimulatorMenu(QMenu& menu) {
    simulatorButton_->setMenu(&menu);
    simulatorButton_->show();
}

void CalibrateDialog::BuildControls(const QString& lastOperator, const QString& lastDate) {
    auto* mode = new QGroupBox(this);
    singleEnded_ = new QRadioButton("Single Ended", mode);
    singleEnded_->setObjectName("singleEnded");
    differential_ = new QRadioButton("Differential", mode);
    differential_->setObjectName("differential");
    auto* modeLayout = new QVBoxLayout(mode);
    modeLayout->addWidget(singleEnded_);
    modeLayout->addWidget(differential_);
    connect(singleEnded_, &QRadioButton::clicked, this, &CalibrateDialog::OnSingleEnded);
    connect(differential_, &QRadioButton::clicked, this, &CalibrateDialog::OnDifferential);

    auto* currentBox = new QGroupBox("Current Calibration:", this);
    auto* currentLayout = new QVBoxLayout(currentBox);
    auto* operatorLine = new QLabel(lastOperator, currentBox);
    auto* dateLine = new QLabel(lastDate.trimmed(), currentBox);
    operatorLine->setObjectName("lastOperator");
    dateLine->setObjectName("lastDate");
    currentLayout->addWidget(operatorLine);
    currentLayout->addWidget(dateLine);

    constantText_ = new QLabel(this);
    constantText_->setObjectName("calibrationConstant");
    operatorEdit_ = new QLineEdit(this);
    KeepToLatin1(*operatorEdit_);
    operatorEdit_->setObjectName("operator");
    operatorEdit_->setMaxLength(static_cast<int>(kLastCalibrationTextLength));
    lengthEdit_ = new QLineEdit(this);
    lengthEdit_->setObjectName("airlineLength");
    knownEdit_ = new QLineEdit(this);
    knownEdit_->setObjectName("knownImpedance");
    measuredText_ = new QLabel(this);
    measuredText_->setObjectName("measuredImpedance");

    auto* fields = new QGridLayout;
    int row = 0;
    fields->addWidget(new QLabel("Calibration Constant", this), row, 0);
    fields->addWidget(constantText_, row++, 1);
    fields->addWidget(new QLabel("Operator", this), row, 0);
    fields->addWidget(operatorEdit_, row++, 1);
    fields->addWidget(new QLabel("Length of Airline (in)", this), row, 0);
    fields->addWidget(lengthEdit_, row++, 1);
    fields->addWidget(new QLabel("Known Impedance (ohms):", this), row, 0);
    fields->addWidget(knownEdit_, row++, 1);
    fields->addWidget(new QLabel("Measured Impedance:", this), row, 0);
    fields->addWidget(measuredText_, row++, 1);

    auto* buttons = new QVBoxLayout;
    auto addButton = [&](const char* text, const char* name, void (CalibrateDialog::*slot)()) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, slot);
        buttons->addWidget(button);
        return button;
    };
    addButton("Verify", "verify", &CalibrateDialog::OnVerify);
    addButton("Calibrate", "calibrate", &CalibrateDialog::OnCalibrate);
    addButton("Save", "save", &CalibrateDialog::accept);
    addButton("Cancel", "cancel", &CalibrateDialog::reject);
    addButton("eoc", "eoc", &CalibrateDialog::OnEoc);
    resetButton_ = addButton("Reset", "reset", &CalibrateDialog::OnReset);
    buttons->addStretch();
    simulatorButton_ = new QPushButton("Si&mulator", this);
    simulatorButton_->setObjectName("simulator");
    simulatorButton_->setAutoDefault(false);
    simulatorButton_->setToolTip("Attach an airline or leave the cable open, as at the bench");
    simulatorButton_->hide();
    buttons->addWidget(simulatorButton_);

    auto* traceBox = new QGroupBox("Trace", this);
    auto* traceLayout = new QVBoxLayout(traceBox);
    traceLayout->setContentsMargins(3, 11, 3, 3);
    chart_ = new XGraphWidget(traceBox);
    chart_->setObjectName("calibrationChart");
    chart_->setMinimumSize(420, 260);
    traceLayout->addWidget(chart_);

    auto* left = new QVBoxLayout;
    left->addWidget(mode);
    left->addWidget(currentBox);
    left->addLayout(fields);
    left->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(traceBox, 1);
    top->addLayout(buttons);
    setLayout(top);
}

void CalibrateDialog::StyleChart() {
    // Display only, in the dialog's own colours.
    chart_->setEnabled(false);
    chart_->ShowLegend = false;
    const ChartColour face = ChartColourOf(palette().color(QPalette::Button));
    chart_->BackColour = chart_->GraphColour = chart_->PlotColour = face;
    CXGraphDataSerie& curve = chart_->CurveAt(0);
    curve.Label = "Trace";
    curve.Colour = kCalibrationTraceColour;
    for (CXGraphAxis* axis : {&chart_->XAxisAt(0), &chart_->YAxisAt(0)}) {
        axis->ShowCurveMarkers = false;
    }
    chart_->YAxisAt(0).Title = "Ohms";
    chart_->XAxisAt(0).Title = "Inches";
}

void CalibrateDialog::ShowPoints(std::vector<CurvePoint> points, double xMaximum, double yMaximum) {
    if (points.empty()) {
        // Nothing measured yet: the axes alone, along a zero line.
        points = {{0.0, 0.0}, {xMaximum, 0.0}};
    }
    points_ = std::move(points);
    chart_->SetCurveData(points_.data(), static_cast<std::int32_t>(points_.size()), 0, 0, 0, false);
    StyleChart();
    chart_->XAxisAt(0).SetDataRange(0.0, xMaximum);
    chart_->YAxisAt(0).SetDataRange(0.0, yMaximum);
    chart_->Invalidate();
}

void CalibrateDialog::ShowMeasurement() {
    const std::optional<AirlineTrace>& trace = session_.LastTrace();
    if (!trace) {
        return;
    }
    std::vector<CurvePoint> points;
    points.reserve(trace->Impedance.size());
    for (std::size_t i = 0; i < trace->Impedance.size(); ++i) {
        points.push_back({static_cast<double>(i) / kSamplesPerInch, trace->Impedance[i]});
    }
    ShowPoints(std::move(points), trace->Length, trace->YMaximum);
}

bool CalibrateDialog::TakeControls() {
    const auto number = [this](QLineEdit* edit, double& field) {
        const std::string text = FromQt(edit->text().trimmed());
        char* end = nullptr;
        const double value = ParseC(text.c_str(), &end);
        if (text.empty() || *end != '\0') {
            prompts_.Message(kNotANumberText, "", PromptIcon::Warning);
            edit->setFocus();
            edit->selectAll();
            return false;
        }
        field = value;
        return true;
    };
    if (!number(lengthEdit_, length_) || !number(knownEdit_, known_)) {
        return false;
    }
    operatorName_ = operatorEdit_->text();
    return true;
}

void CalibrateDialog::RefreshControls() {
    singleEnded_->setChecked(!IsDifferential(session_.Mode()));
    differential_->setChecked(IsDifferential(session_.Mode()));
    constantText_->setText(ToQt(session_.CalibrationConstantText()));
    operatorEdit_->setText(operatorName_);
    lengthEdit_->setText(NumberText(length_));
    knownEdit_->setText(NumberText(known_));
    measuredText_->setText(measured_);
}

void CalibrateDialog::Run(const std::function<void()>& work, const std::function<void()>& show) {
    running_ = true;
    setEnabled(false);
    run_(work);
    setEnabled(true);
    running_ = false;
    show();
    // A close asked for while the operation ran takes effect now that its
    // result is in force, so that Cancel puts back what it changed.
    if (const std::optional<int> close = std::exchange(closeWhenDone_, std::nullopt)) {
        if (*close == QDialog::Accepted) {
            accept();
        } else {
            reject();
        }
    }
}

void CalibrateDialog::SelectMode(MeasurementMode mode) {
    session_.SelectMode(mode);
    if (chart_->YAxisCount() > 0) {
        chart_->YAxisAt(0).SetDataRange(0.0, session_.ModeYMaximum());
        chart_->Invalidate();
    }
    RefreshControls();
}

void CalibrateDialog::OnSingleEnded() {
    SelectMode(MeasurementMode::SingleEnded);
}

void CalibrateDialog::OnDifferential() {
    SelectMode(MeasurementMode::Differential);
}

void CalibrateDialog::OnVerify() {
    if (!TakeControls()) {
        return;
    }
    std::optional<Result<double>> measured;
    Run([&] { measured.emplace(session_.Verify(length_)); },
        [&] {
            ShowMeasurement();
            if (measured && *measured) {
                measured_ = ToQt(FormatC("%.2f Ohms", **measured));
            }
            RefreshControls();
        });
}

void CalibrateDialog::OnCalibrate() {
    if (!TakeControls()) {
        return;
    }
    std::optional<Result<std::optional<CalibrateReport>>> report;
    Run([&] { report.emplace(session_.Calibrate(length_, known_)); },
        [&] {
            ShowMeasurement();
            if (report && *report && **report) {
                measured_ = ToQt(FormatC("%.2f Ohms", (**report)->Measured));
            }
            RefreshControls();
        });
}

void CalibrateDialog::OnEoc() {
    Run([&] { session_.CharacterizeCable(); }, [&] { RefreshControls(); });
}

void CalibrateDialog::OnReset() {
    // The display keeps what it shows until the next refresh.
    (void)session_.Reset();
}

void CalibrateDialog::accept() {
    if (running_) {
        closeWhenDone_ = QDialog::Accepted;
        return;
    }
    if (!TakeControls()) {
        return;
    }
    QDialog::accept();
}

void CalibrateDialog::reject() {
    if (running_) {
        // Escape, the close box or the window manager while the instrument
        // works: the values are put back once the operation has ended.
        closeWhenDone_ = QDialog::Rejected;
        return;
    }
    session_.Cancel();
    QDialog::reject();
}

}  // namespace orvik
