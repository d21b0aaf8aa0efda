#include "simulator/gui/simulator_menu_widget.h"

#include <QAction>
#include <QActionGroup>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include "simulator/coupon_profile.h"
#include "simulator/simulated_driver_port.h"

namespace orvik::sim {
namespace {

constexpr int kTriggerHoldMs = 350;

struct Choice {
    const char* Text;
    CableAttachment (*Make)(MeasurementMode mode);
};

CableAttachment CouponOf(const char* profile) {
    return CableAttachment::Coupon(*CouponProfile::Parse(profile));
}

// The attachments offered for each cable; the coupons follow the cable's
// usual impedance.
const Choice kChoices[] = {
    {"Nothing (open)", [](MeasurementMode) { return CableAttachment::Nothing(); }},
    {"Short circuit", [](MeasurementMode) { return CableAttachment::ShortCircuit(); }},
    {"50 ohm load", [](MeasurementMode) { return CableAttachment::Load(50.0); }},
    {"Airline, 50 ohm, 10 inches",
     [](MeasurementMode) { return CableAttachment::Airline(50.0, 10.0); }},
    {"Airline, 100 ohm, 10 inches",
     [](MeasurementMode) { return CableAttachment::Airline(100.0, 10.0); }},
    // Calibration airlines of 4 inches, terminated: the single-ended pair
    // 50 and 75 ohms, the differential pair 100 and 85 ohms.
    {"Calibration airline, 50 / 100 ohm, 4 inches",
     [](MeasurementMode mode) {
         return CableAttachment::TerminatedAirline(IsDifferential(mode) ? 100.0 : 50.0, 4.0);
     }},
    {"Calibration airline, 75 / 85 ohm, 4 inches",
     [](MeasurementMode mode) {
         return CableAttachment::TerminatedAirline(IsDifferential(mode) ? 85.0 : 75.0, 4.0);
     }},
    {"Uniform coupon", [](MeasurementMode mode) { return DefaultAttachment(mode); }},
    {"Coupon with a high section (4-6 inches)",
     [](MeasurementMode mode) {
         return CouponOf(IsDifferential(mode) ? "100@0-4,120@4-6,100@6-10"
                                              : "50@0-4,60@4-6,50@6-10");
     }},
};

}  // namespace

std::unique_lock<std::recursive_mutex> SimulatorMenuWidget::Hold() {
    return lock_ ? std::unique_lock<std::recursive_mutex>(*lock_)
                 : std::unique_lock<std::recursive_mutex>();
}

SimulatorMenuWidget::SimulatorMenuWidget(QMenu& menu, SimulatedDriverPort& port,
                                         std::recursive_mutex* lock)
    : QObject(&menu), port_(port), lock_(lock) {
    cableMenus_[0] = menu.addMenu("&Single-ended cable");
    AddCableMenu(*cableMenus_[0], MeasurementMode::SingleEnded);
    cableMenus_[1] = menu.addMenu("&Differential cables");
    AddCableMenu(*cableMenus_[1], MeasurementMode::Differential);
    menu.addSeparator();
    QAction* run = menu.addAction("Press trigger input &1 (Run Test)");
    run->setStatusTip("Press the first input of the simulated trigger port");
    // The pedals can be rehearsed from the keyboard, without opening the menu.
    run->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    connect(run, &QAction::triggered, this, [this] { PressTrigger(1); });
    QAction* record = menu.addAction("Press trigger input &2 (Record Test)");
    record->setStatusTip("Press the second input of the simulated trigger port");
    record->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    connect(record, &QAction::triggered, this, [this] { PressTrigger(2); });
    menu.addSeparator();
    AddFaultItems(menu);
}

void SimulatorMenuWidget::AddFaultItems(QMenu& menu) {
    unplug_ = menu.addAction("&Unplug instrument");
    unplug_->setStatusTip("Pull the simulated instrument's USB cable out");
    connect(unplug_, &QAction::triggered, this, [this] {
        const auto hold = Hold();
        port_.Unplug();
        MarkFaults();
    });
    plugIn_ = menu.addAction("&Plug instrument in again");
    plugIn_->setStatusTip("Plug the simulated instrument in again; it comes back cold");
    connect(plugIn_, &QAction::triggered, this, [this] {
        const auto hold = Hold();
        port_.PlugIn();
        MarkFaults();
    });
    QAction* incomplete = menu.addAction("&Incomplete records");
    incomplete->setCheckable(true);
    incomplete->setStatusTip("Every sample block comes short until this is unchecked");
    connect(incomplete, &QAction::toggled, this, [this](bool on) {
        const auto hold = Hold();
        port_.ShortenReplies(
            SimulatedMv300::kSamplesIn,
            on ? std::optional<std::uint32_t>(kIncompleteBlockBytes) : std::nullopt);
    });
    QAction* timeOut = menu.addAction("Next request &times out");
    timeOut->setStatusTip("The instrument answers nothing to the next request of the program");
    connect(timeOut, &QAction::triggered, this, [this] {
        const auto hold = Hold();
        port_.TimeOutTransfer(port_.TransferCount() + 1);
    });
    // A plugged-in instrument cannot be plugged in again, nor an unplugged one unplugged.
    connect(&menu, &QMenu::aboutToShow, this, &SimulatorMenuWidget::MarkFaults);
    MarkFaults();
}

void SimulatorMenuWidget::MarkFaults() {
    const auto hold = Hold();
    const bool present = port_.InstrumentPresent() || port_.Renumerating();
    unplug_->setEnabled(present);
    plugIn_->setEnabled(!present);
}

void SimulatorMenuWidget::AddCableMenu(QMenu& menu, MeasurementMode mode) {
    auto* group = new QActionGroup(&menu);
    for (const Choice& choice : kChoices) {
        QAction* action = menu.addAction(choice.Text);
        action->setCheckable(true);
        action->setActionGroup(group);
        const auto make = choice.Make;
        connect(action, &QAction::triggered, this,
                [this, mode, make] { Attach(mode, make(mode)); });
    }
    QAction* custom = menu.addAction("Coupon profile...");
    custom->setCheckable(true);
    custom->setActionGroup(group);
    connect(custom, &QAction::triggered, this, [this, mode] { AskForProfile(mode); });
    MarkAttached(mode);
}

void SimulatorMenuWidget::Attach(MeasurementMode mode, const CableAttachment& attachment) {
    const auto hold = Hold();
    port_.Instrument().Attach(mode, attachment);
    MarkAttached(mode);
}

void SimulatorMenuWidget::MarkAttached(MeasurementMode mode) {
    QMenu* menu = cableMenus_[IsDifferential(mode) ? 1 : 0];
    const auto hold = Hold();
    const CableAttachment& attached = port_.Instrument().Attached(mode);
    const QList<QAction*> actions = menu->actions();
    bool matched = false;
    for (int i = 0; i < static_cast<int>(std::size(kChoices)); ++i) {
        const bool same = kChoices[i].Make(mode) == attached;
        actions[i]->setChecked(same);
        matched = matched || same;
    }
    actions.back()->setChecked(!matched);
    actions.back()->setText(
        matched
            ? "Coupon profile..."
            : QString("Coupon profile... (%1)").arg(QString::fromStdString(attached.Describe())));
}

void SimulatorMenuWidget::AskForProfile(MeasurementMode mode) {
    bool ok = false;
    const QString text = QInputDialog::getText(
        nullptr, "Coupon profile",
        "Impedance sections in inches, e.g. 50@0-4,60@4-6,50@6-10 (or 50 for a uniform coupon):",
        QLineEdit::Normal, IsDifferential(mode) ? "100" : "50", &ok);
    if (!ok) {
        MarkAttached(mode);
        return;
    }
    const auto profile = CouponProfile::Parse(text.toStdString());
    if (!profile) {
        QMessageBox::warning(nullptr, "Coupon profile",
                             QString::fromStdString(profile.Error().Message));
        MarkAttached(mode);
        return;
    }
    Attach(mode, CableAttachment::Coupon(*profile));
}

void SimulatorMenuWidget::PressTrigger(int input) {
    const auto hold = Hold();
    port_.PressInput(input);
    QTimer::singleShot(kTriggerHoldMs, this, [this, input] {
        const auto release = Hold();
        port_.ReleaseInput(input);
    });
}

}  // namespace orvik::sim
