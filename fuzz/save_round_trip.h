// What every fuzz target that ends with a collection asks of it: saved, read
// back and saved again, it gives the same bytes. A difference is a finding,
// so it aborts for the fuzzer to keep the input.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/archive.h"
#include "collection/orvik_doc.h"

inline void AbortUnlessSaveRoundTrips(orvik::COrvikDoc& document) {
    const std::vector<std::uint8_t> saved = document.ToBytes();
    orvik::COrvikDoc reread;
    orvik::Archive archive = orvik::Archive::ForLoading(saved);
    reread.Serialize(archive);
    if (reread.ToBytes() != saved) {
        std::abort();
    }
}
