#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace orvik {
class TraceRecord;
}

namespace orvik::results {

// SHA-1 of `bytes` (used only to name measurements, never for security).
std::array<std::uint8_t, 20> Sha1(std::span<const std::uint8_t> bytes);

// The name-based (version 5) UUID of `name` in Orvik's measurement
// namespace, as 36 lower-case characters.
std::string NameBasedUuid(std::span<const std::uint8_t> name);

// The UUID of a recorded trace: the name-based UUID of the trace exactly as a
// collection file stores it (its name, time, statistics, verdict, test
// position, samples and criterion). It is made when the trace is recorded and
// is the same wherever the trace turns up again (the recovery journal, the
// saved collection, an import), so that no path stores it twice.
std::string MeasurementUuid(const TraceRecord& trace);

}  // namespace orvik::results
