#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/failure.h"

namespace orvik {

// What a file held when it was read or written, so that later it can be told
// whether the file on disk still holds those bytes: their number and CRC-32.
struct FileIdentity {
    std::uint64_t Size = 0;
    std::uint32_t Crc = 0;

    bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentifyBytes(std::span<const std::uint8_t> bytes);

// The identity of what `path` holds now; a failure ("Cannot open PATH: ...")
// when it cannot be read.
Result<FileIdentity> IdentifyFile(const std::string& path);

}  // namespace orvik
