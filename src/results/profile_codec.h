#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "collection/trace_record.h"
#include "results/measurement.h"

namespace orvik::results {

// A trace's samples as the database keeps them: positions as first and step
// when every position lies within a billionth of an inch of first + i * step,
// else each position as a float.
StoredProfile ProfileOf(std::span<const TraceSample> samples);

// The samples back: positions first + i * step (or as listed), impedances
// as the floats hold them.
std::vector<TraceSample> SamplesOf(const StoredProfile& profile);

// The compact binary form, little-endian: a kind byte (1 evenly spaced, 2
// listed), the sample count (uint32), then for kind 1 the first position and
// the step (float64) and the impedances (float32 each), for kind 2 the
// positions and then the impedances (float32 each). 3,021 bytes for an
// acquired profile of 750 samples.
std::vector<std::uint8_t> EncodeProfile(const StoredProfile& profile);
// None when the bytes are not such a profile (cut short, unknown kind, a
// count that the bytes cannot hold).
std::optional<StoredProfile> DecodeProfile(std::span<const std::uint8_t> bytes);

}  // namespace orvik::results
