// Feeds arbitrary bytes to the criteria.dat reader. A refused stream must
// raise an ArchiveError; an accepted one must save and read back stably.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/archive.h"
#include "criteria/criteria_library.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvik::CriteriaLibrary library;
    try {
        orvik::Archive archive = orvik::Archive::ForLoading(std::span(data, size));
        library.Serialize(archive);
    } catch (const orvik::ArchiveError&) {
        return 0;
    }
    library.MakeIdsUnique();
    for (const auto& criterion : library.Criteria) {
        if (library.FindById(criterion->Id) != criterion.get()) {
            std::abort();  // ids must be unique after loading
        }
    }
    orvik::Archive stored = orvik::Archive::ForStoring();
    library.Serialize(stored);
    // Reading reverses the criteria; two cycles give back the same bytes.
    const std::vector<std::uint8_t> first = stored.Bytes();
    std::vector<std::uint8_t> current = first;
    for (int cycle = 0; cycle < 2; ++cycle) {
        orvik::CriteriaLibrary reread;
        orvik::Archive in = orvik::Archive::ForLoading(current);
        reread.Serialize(in);
        orvik::Archive out = orvik::Archive::ForStoring();
        reread.Serialize(out);
        current = out.TakeBytes();
    }
    if (current != first) {
        std::abort();
    }
    return 0;
}
