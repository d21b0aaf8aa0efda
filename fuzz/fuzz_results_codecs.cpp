// Feeds arbitrary bytes to the readers of what the results database and its
// outbox hold: a waiting measurement (the outbox is a file on the station)
// and a stored profile (a shared server may hold anything). A refused input
// is simply refused; an accepted one must encode and read back the same.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "results/measurement_codec.h"
#include "results/profile_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (const auto profile = orvik::results::DecodeProfile(bytes)) {
        if (orvik::results::EncodeProfile(*profile) !=
            std::vector<std::uint8_t>(bytes.begin(), bytes.end())) {
            std::abort();  // one profile, one encoding
        }
    }
    if (const auto measurement = orvik::results::DecodeMeasurement(bytes)) {
        const std::vector<std::uint8_t> again = orvik::results::EncodeMeasurement(*measurement);
        const auto reread = orvik::results::DecodeMeasurement(again);
        if (!reread || orvik::results::EncodeMeasurement(*reread) != again) {
            std::abort();  // what was read is written and read back the same
        }
    }
    return 0;
}
