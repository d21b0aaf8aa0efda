#pragma once

#include <vector>

#include "base/measurement_mode.h"

namespace orvik::sim {

// What the simulated MV300's store holds when it leaves the factory: its true
// divisor and cable impedance, and the end of cable and response kernel that a
// cable characterisation of its noise-free open record finds (the kernel in
// the store's 32-bit float precision).
struct PhysicsFactory {
    int EndOfCable = 0;
    double Divisor = 0.0;
    double CalibrationConstant = 0.0;
    std::vector<double> Kernel;
};

const PhysicsFactory& PhysicsFactoryValues(MeasurementMode mode);

}  // namespace orvik::sim
