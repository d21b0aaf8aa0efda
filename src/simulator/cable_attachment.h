#pragma once

#include <string>

#include "base/measurement_mode.h"
#include "simulator/coupon_profile.h"

namespace orvik::sim {

// What is attached to the end of one of the simulated instrument's cables:
// nothing (the cable ends open), a short, a load resistor, an airline of known
// impedance and length, or a coupon trace given as an impedance profile.
struct CableAttachment {
    enum class Kind { Open, Short, Load, Airline, Coupon };

    Kind What = Kind::Open;
    double Impedance = 0.0;  // ohms: the load, or the airline's line impedance
    double Length = 0.0;     // inches: the airline's length
    CouponProfile Profile;   // the coupon (its far end is open)
    // The airline's far end: open, or a load of the airline's own impedance,
    // from which nothing comes back.
    bool Terminated = false;

    static CableAttachment Nothing() { return {}; }
    static CableAttachment ShortCircuit() { return {Kind::Short, 0.0, 0.0, {}, false}; }
    static CableAttachment Load(double ohms) { return {Kind::Load, ohms, 0.0, {}, false}; }
    // An airline whose far end is open.
    static CableAttachment Airline(double ohms, double inches) {
        return {Kind::Airline, ohms, inches, {}, false};
    }
    // A calibration airline: its far end is terminated in its own impedance,
    // so that the whole line reads its impedance up to the far end, as the
    // calibration's window expects.
    static CableAttachment TerminatedAirline(double ohms, double inches) {
        return {Kind::Airline, ohms, inches, {}, true};
    }
    static CableAttachment Coupon(CouponProfile profile) {
        return {Kind::Coupon, 0.0, 0.0, std::move(profile), false};
    }

    // A short description, e.g. "open", "load 75 ohms", "coupon 50@0-10".
    std::string Describe() const;
    bool operator==(const CableAttachment&) const = default;
};

// What the simulated instrument carries until told otherwise, the same in the
// program and the command-line tool: a uniform 10-inch coupon of the cable's
// usual impedance, 50 ohms on the single-ended cable and 100 ohms on the
// differential cables.
CableAttachment DefaultAttachment(MeasurementMode mode);

}  // namespace orvik::sim
