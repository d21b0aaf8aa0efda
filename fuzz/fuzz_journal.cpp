// Feeds arbitrary bytes to the recovery journal's reader and rebuilds what it
// accepts into an untitled collection. Nothing may crash; a rebuilt
// collection must save and read back to the same bytes.
//
// An odd first byte takes the rest as (uint16 length, payload) pieces and
// frames each with its right CRC, so that the fuzzer reaches the entries
// behind the checksums; an even one gives the bytes to the reader as they are.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "base/archive.h"
#include "collection/orvik_doc.h"
#include "journal/journal_format.h"
#include "journal/journal_recovery.h"
#include "save_round_trip.h"

namespace {

std::vector<std::uint8_t> FramePieces(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> framed;
    std::size_t at = 0;
    while (at + 2 <= bytes.size()) {
        std::size_t length = bytes[at] | bytes[at + 1] << 8;
        at += 2;
        length = std::min(length, bytes.size() - at);
        const auto payload = bytes.subspan(at, length);
        at += length;
        const std::uint32_t crc = orvik::Crc32(payload);
        for (const std::uint32_t value : {static_cast<std::uint32_t>(length), crc}) {
            for (int i = 0; i < 4; ++i) {
                framed.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
            }
        }
        framed.insert(framed.end(), payload.begin(), payload.end());
    }
    return framed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    const std::vector<std::uint8_t> journal =
        (data[0] & 1) != 0 ? FramePieces(rest)
                           : std::vector<std::uint8_t>(rest.begin(), rest.end());
    orvik::JournalContents contents = orvik::ReadJournal(journal);
    if (!contents.Start) {
        return 0;
    }
    contents.Start->CollectionPath.clear();  // never a file named by the input
    orvik::COrvikDoc document;
    const auto rebuilt = orvik::RebuildFromJournal(contents, document);
    if (!rebuilt) {
        return 0;
    }
    AbortUnlessSaveRoundTrips(document);
    return 0;
}
