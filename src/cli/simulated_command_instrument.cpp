#include "cli/simulated_command_instrument.h"

#include "simulator/coupon_profile.h"
#include "simulator/simulated_instrument.h"

namespace orvik::cli {

std::unique_ptr<sim::SimulatedDriverPort> SimulatedCommandInstrument(
    Clock& clock, const std::optional<std::string>& simStore,
    const std::optional<std::string>& coupon) {
    sim::SimulatedInstrumentSetup setup;
    setup.Options.instrument.storePath = simStore.value_or("");
    if (coupon) {
        setup.Coupon = *sim::CouponProfile::Parse(*coupon);  // checked when parsed
    }
    auto port = sim::AssembleSimulatedInstrument(clock, setup);
    if (!port) {
        throw CommandFailure(port.Error().Message);
    }
    return std::move(*port);
}

MeasurementMode ParseModeOption(const std::string& text) {
    if (text == "single") {
        return MeasurementMode::SingleEnded;
    }
    if (text == "differential") {
        return MeasurementMode::Differential;
    }
    throw UsageError("--mode must be single or differential");
}

std::string StationCommandLine(const std::string& command, Station station) {
    return "orvik-cli " + command + (station == Station::Characterisation ? " Characterize" : "");
}

void TakeSimulatedCoupon(std::optional<std::string>& coupon,
                         const std::optional<std::string>& simulated) {
    if (!simulated) {
        return;
    }
    if (coupon) {
        throw UsageError("--simulate=PROFILE and --coupon both name a coupon: give one of them");
    }
    coupon = simulated;
}

}  // namespace orvik::cli
