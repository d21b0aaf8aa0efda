#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "simulator/block_source.h"
#include "simulator/simulated_store.h"

namespace orvik::sim {

// What the simulated instrument left the factory with: its calibration and
// the response kernels of a cable characterisation, in the store layout the
// program reads. The values differ slightly from the program's built-in ones,
// as a real instrument's do.
struct FactoryCalibration {
    int endOfCableSingle = 3078;
    int endOfCableDifferential = 3284;
    double divisorSingle = 12341.0;
    double divisorDifferential = 23597.0;
    double constantSingle = 51.62;
    double constantDifferential = 107.7;
    std::string lastOperator = "Factory";
    std::string lastDate = "2024-03-18 10:42";
};

const FactoryCalibration& Factory();

// The factory kernel of a mode: the step derivative at the end of the cable,
// rising smoothly to its peak and decaying towards 2, as a characterisation
// takes it (at most 350 values).
std::vector<double> FactoryKernel(SimMode mode);

// Every page the factory writes, with its number.
std::vector<std::pair<std::uint8_t, SimulatedStore::Page>> FactoryStorePages();

}  // namespace orvik::sim
