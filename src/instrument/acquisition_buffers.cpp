#include "instrument/acquisition_buffers.h"

#include <algorithm>

namespace orvik {

AcquisitionBuffers::AcquisitionBuffers()
    : Raw(kAcquisitionLength, 0.0),
      Derivative(kAcquisitionLength, 0.0),
      DerivativeCopy(kAcquisitionLength, 0.0),
      Level(kAcquisitionLength, 0.0),
      Impedance(kAcquisitionLength, 0.0),
      Scratch(kAcquisitionLength + 1, 0.0) {}

void AcquisitionBuffers::ClearForAcquisition() {
    std::fill(Raw.begin(), Raw.end(), 0.0);
    std::fill(Derivative.begin(), Derivative.end(), 0.0);
    std::fill(Level.begin(), Level.end(), 0.0);
    std::fill(Impedance.begin(), Impedance.end(), 0.0);
}

}  // namespace orvik
