#pragma once

// The program's instrument station on a simulated MV300 with its factory
// store, and helpers to measure through it as Run Test does.
#include <string>

#include "collection/trace_record.h"
#include "criteria/criterion.h"
#include "instrument/instrument_station.h"
#include "link_test_support.h"
#include "simulator/physics_waveform_source.h"

namespace orvik::testing {

struct SimulatedInstrument {
    explicit SimulatedInstrument(sim::SimulatorOptions options = WarmInstrument())
        : station(std::move(options)), instrument(station.port, station.clock, station.prompts) {
        instrument.SetDumpPath("");
    }

    sim::SimulatedMv300& Mv300() { return station.sim.Instrument(); }
    sim::PhysicsWaveformSource& Physics() {
        return dynamic_cast<sim::PhysicsWaveformSource&>(Mv300().Source());
    }
    void AttachCoupon(MeasurementMode mode, const std::string& profile) {
        Mv300().Attach(mode, sim::CableAttachment::Coupon(*sim::CouponProfile::Parse(profile)));
    }
    // Run Test: one acquisition in the criterion's mode, judged by it.
    TraceRecord RunTest(const Criterion& criterion) {
        TraceRecord record;
        const MeasuredProfile profile = instrument.MeasureProfile(criterion.Mode());
        record.FillFromAcquisition(&criterion, profile.Impedance, 0);
        return record;
    }

    SimulatedStation station;
    InstrumentStation instrument;
};

// The transfers of one acquisition, counted on a twin instrument: the last
// of them reads the eighth and last block of samples.
inline int AcquisitionTransfers() {
    SimulatedInstrument twin;
    const int before = twin.station.sim.TransferCount();
    twin.instrument.Acquire(MeasurementMode::SingleEnded, Derivative::Raw);
    return twin.station.sim.TransferCount() - before;
}

// A criterion of `target` ohms +-10 % judged from 4 to 7 inches.
inline Criterion WindowCriterion(MeasurementMode mode, double target) {
    Criterion criterion;
    criterion.Name = std::string("Test ") + ModeName(mode);
    criterion.TargetImpedance = target;
    criterion.DoubleEnded = IsDifferential(mode) ? 1 : 0;
    criterion.StartPosition = 4.0;
    criterion.EndPosition = 7.0;
    criterion.RecomputeLimits();
    return criterion;
}

}  // namespace orvik::testing
