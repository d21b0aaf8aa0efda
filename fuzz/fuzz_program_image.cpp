// Feeds arbitrary text to the controller program's Intel HEX reader and to
// the FPGA image's hex-pair reader. Neither may read outside the text or
// write outside the images, and reading the same text twice gives the same
// image.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "instrument/program_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> text(data, size);
    const orvik::ProgramImage image = orvik::ParseProgramImage(text);
    const orvik::ProgramImage again = orvik::ParseProgramImage(text);
    if (image.code != again.code || image.high != again.high ||
        image.dataRecords != again.dataRecords) {
        std::abort();
    }
    // Every data record needs at least a ':' and its eight header characters.
    if (static_cast<std::size_t>(image.dataRecords) * 9 > size) {
        std::abort();
    }
    if (orvik::HexPairsToBytes(text).size() != size / 2) {
        std::abort();
    }
    return 0;
}
