#include "simulator/physics_factory.h"

#include <cmath>
#include <memory>

#include "instrument/acquisition_buffers.h"
#include "instrument/cable_measurement.h"
#include "instrument/calibration_set.h"
#include "instrument/process_record.h"
#include "instrument/response_kernel.h"
#include "simulator/waveform_physics.h"

namespace orvik::sim {
namespace {

PhysicsFactory Characterize(MeasurementMode mode) {
    WaveformPhysics physics;
    physics.Attach(mode, CableAttachment::Nothing());
    const std::vector<double>& clean = physics.NoiseFreeRecord(mode);
    auto buffers = std::make_unique<AcquisitionBuffers>();
    for (std::size_t t = 0; t < clean.size(); ++t) {
        buffers->Raw[t] = std::round(clean[t]);
    }
    CalibrationSet calibration;
    calibration.SetEndOfCable(mode, CableSearch::kSearchStart);
    ConvertRecord(*buffers, calibration, ResponseKernel(mode), mode, kProcessedSampleCount,
                  Derivative::Raw);
    const CableMeasurement cable = MeasureCable(*buffers);

    const CablePhysics& truth = WaveformPhysics::Physics(mode);
    PhysicsFactory factory;
    factory.EndOfCable = cable.EndOfCable;
    factory.Divisor = truth.StepHeight;
    factory.CalibrationConstant = truth.CableImpedance;
    for (double value : cable.Kernel) {
        factory.Kernel.push_back(static_cast<float>(value));
    }
    return factory;
}

}  // namespace

const PhysicsFactory& PhysicsFactoryValues(MeasurementMode mode) {
    static const PhysicsFactory singleEnded = Characterize(MeasurementMode::SingleEnded);
    static const PhysicsFactory differential = Characterize(MeasurementMode::Differential);
    return IsDifferential(mode) ? differential : singleEnded;
}

}  // namespace orvik::sim
