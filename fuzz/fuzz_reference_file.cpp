// Feeds arbitrary bytes to the reader of the reference curves' side file. A
// refused file must say why; an accepted one must hold only usable
// references, give masks that are numbers, and read back as itself.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "criteria/criterion_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const orvik::Result<orvik::ReferenceSet> decoded =
        orvik::DecodeReferences(std::span(data, size));
    if (!decoded) {
        if (decoded.Error().Message.empty() || decoded.Error().Detail.empty()) {
            std::abort();
        }
        return 0;
    }
    for (const orvik::CriterionReference& reference : decoded->All()) {
        if (!orvik::ReferenceProblem(reference).empty()) {
            std::abort();
        }
        const double first = reference.Points.front().Position;
        const double last = reference.Points.back().Position;
        for (const double position : {first, first / 2 + last / 2, last}) {
            const auto mask = orvik::MaskAt(reference, position);
            if (!mask || std::isnan(mask->Low) || std::isnan(mask->High) ||
                mask->Low > mask->High) {
                std::abort();
            }
        }
    }
    const orvik::Result<orvik::ReferenceSet> again =
        orvik::DecodeReferences(orvik::EncodeReferences(*decoded));
    if (!again || !(*again == *decoded)) {
        std::abort();
    }
    return 0;
}
