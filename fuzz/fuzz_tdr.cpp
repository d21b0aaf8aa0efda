// Feeds arbitrary bytes to the .tdr reader. A stream it refuses must raise an
// ArchiveError and nothing else; one it accepts must save and read back to
// the same bytes.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/archive.h"
#include "collection/orvik_doc.h"
#include "save_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvik::COrvikDoc document;
    try {
        orvik::Archive archive = orvik::Archive::ForLoading(std::span(data, size));
        document.Serialize(archive);
    } catch (const orvik::ArchiveError&) {
        return 0;
    }
    AbortUnlessSaveRoundTrips(document);
    return 0;
}
