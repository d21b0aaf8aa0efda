#pragma once

#include <memory>
#include <optional>

#include "base/clock.h"
#include "base/failure.h"
#include "simulator/coupon_profile.h"
#include "simulator/simulated_driver_port.h"

namespace orvik::sim {

// What the programs choose about the simulated MV300: its options (the store
// file among them) and a coupon on both cables instead of the defaults.
struct SimulatedInstrumentSetup {
    SimulatorOptions Options;
    std::optional<CouponProfile> Coupon;
};

// The simulated MV300 as every program, tool, benchmark and window test puts
// it behind the driver port: the default coupons on its cables (a 50 ohm
// single-ended and a 100 ohm differential one) unless a coupon is given for
// both. A store file that was refused (not a store, or not writable) is a
// failure: the caller asked for that file and must not go on without it.
Result<std::unique_ptr<SimulatedDriverPort>> AssembleSimulatedInstrument(
    Clock& clock, const SimulatedInstrumentSetup& setup = {});

// The same with its store in memory and the default coupons: nothing to refuse.
std::unique_ptr<SimulatedDriverPort> DefaultSimulatedInstrument(Clock& clock);

}  // namespace orvik::sim
