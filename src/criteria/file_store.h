#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvik {

struct FileResult {
    bool ok = true;
    std::string error;  // the system's description of what failed, empty on success

    static FileResult Success() { return {}; }
    static FileResult Failure(std::string message) { return {false, std::move(message)}; }
};

// Reads a whole file into memory in one pass. Empty optional when the file
// cannot be opened or read; `error` then says why.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       std::string* error = nullptr);

// Writes `bytes` to a temporary file beside `path`, flushes it to the disk and
// renames it over `path`, so that a failure at any step leaves the old file
// as it was.
FileResult SaveFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

bool FileExists(const std::string& path);

}  // namespace orvik
