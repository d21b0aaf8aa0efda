#pragma once

#include <string>
#include <vector>

#include "instrument/calibration_set.h"
#include "instrument/device_startup.h"
#include "instrument/response_kernel.h"

namespace orvik {

// Puts what start-up read from the instrument's store into force: every
// calibration value and text the store held (the others keep their values),
// and each mode's stored kernel, or none when the store held none, so that
// the built-in kernel applies. A stored kernel the processing cannot divide
// by is refused and the built-in kernel applies. Returns the refusals, in
// words for the operator.
std::vector<std::string> ApplyStoredCalibration(const StoredCalibration& stored,
                                                CalibrationSet& calibration,
                                                ResponseKernels& kernels);

}  // namespace orvik
