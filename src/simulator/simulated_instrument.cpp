#include "simulator/simulated_instrument.h"

#include "simulator/cable_attachment.h"

namespace orvik::sim {

Result<std::unique_ptr<SimulatedDriverPort>> AssembleSimulatedInstrument(
    Clock& clock, const SimulatedInstrumentSetup& setup) {
    auto port = std::make_unique<SimulatedDriverPort>(clock, setup.Options);
    const std::string& problem = port->Instrument().Store().Problem();
    if (!problem.empty()) {
        return Failure{"--sim-store: " + problem, setup.Options.instrument.storePath};
    }
    for (MeasurementMode mode : {MeasurementMode::SingleEnded, MeasurementMode::Differential}) {
        port->Instrument().Attach(
            mode, setup.Coupon ? CableAttachment::Coupon(*setup.Coupon) : DefaultAttachment(mode));
    }
    return port;
}

std::unique_ptr<SimulatedDriverPort> DefaultSimulatedInstrument(Clock& clock) {
    return AssembleSimulatedInstrument(clock).Value();
}

}  // namespace orvik::sim
