#pragma once

#include <vector>

#include "instrument/acquisition_buffers.h"

namespace orvik {

// Where the instrument's cable ends and what its response looks like there,
// read from an acquisition made with nothing attached and the raw derivative
// (so that the derivative copy holds the unsmoothed 10-sample difference).
struct CableMeasurement {
    bool Found = false;
    // First index from 2000 on where the raw record reaches 60 % of raw[5000]
    // (6000 when it never does).
    int Crossing = 0;
    int EndOfCable = 0;
    std::vector<double> Kernel;  // derivative copy from the end of cable on, 50 to 350 values
};

struct CableSearch {
    static constexpr int kSearchStart = 2000;
    static constexpr int kLevelReference = 5000;
    static constexpr double kCrossingFraction = 0.6;
    static constexpr int kSearchLimit = 6000;
    static constexpr int kFailureLimit = 5000;
    static constexpr double kEdgeFootThreshold = 10.0;
    static constexpr int kKernelMinimum = 50;
    static constexpr int kKernelMaximum = 350;
    static constexpr double kKernelTailThreshold = 2.0;
};

// Finds the open end's reflection: the first crossing of 60 % of the far
// level, the foot of its rising edge, and the kernel from there until the
// derivative falls to 2.0 (at least 50, at most 350 values). Not found when
// the crossing lies beyond sample 5000, or when the kernel could not divide
// a record (a value among its first 50 that is not a positive number, as an
// all-zero record gives).
CableMeasurement MeasureCable(const AcquisitionBuffers& buffers);

}  // namespace orvik
