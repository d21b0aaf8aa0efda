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

std::string CommandLine(const std::string& command, const Arguments& arguments) {
    std::string line = "orvik-cli " + command;
    for (const std::string& argument : arguments) {
        line += ' ' + argument;
    }
    return line;
}

}  // namespace orvik::cli
