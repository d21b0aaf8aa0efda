#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "results/measurement.h"

namespace orvik::results {

// A measurement as the outbox keeps it while it waits: the archive encoding
// of the collections (int32, doubles, length-prefixed strings), starting with
// its own version so that a later Orvik can still send what an earlier one
// kept.
std::vector<std::uint8_t> EncodeMeasurement(const Measurement& measurement);
// None when the bytes are not a measurement this Orvik can read.
std::optional<Measurement> DecodeMeasurement(std::span<const std::uint8_t> bytes);

}  // namespace orvik::results
