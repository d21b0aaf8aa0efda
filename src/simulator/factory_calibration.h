#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "simulator/simulated_store.h"

namespace orvik::sim {

// Who calibrated the simulated instrument at the factory, and when.
inline constexpr const char* kFactoryOperator = "Factory";
inline constexpr const char* kFactoryDate = "2024-03-18 10:42";

// Every page the factory writes, with its number: the calibration of both
// modes and the two response kernels as PhysicsFactoryValues finds them, in
// the store layout the program reads.
std::vector<std::pair<std::uint8_t, SimulatedStore::Page>> FactoryStorePages();

}  // namespace orvik::sim
