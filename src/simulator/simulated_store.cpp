#include "simulator/simulated_store.h"

#include <algorithm>
#include <filesystem>

#include "base/file_store.h"
#include "simulator/factory_calibration.h"

namespace orvik::sim {

SimulatedStore::SimulatedStore() {
    ResetToFactory();
}

SimulatedStore::SimulatedStore(std::string path) {
    ResetToFactory();
    std::error_code error;
    const auto status = std::filesystem::status(path, error);  // through links
    // A folder is refused when it cannot be read, below.
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status)) {
        // A FIFO would wait for a writer before it could be read, a device
        // would never hold the pages.
        problem_ = path +
                   " is not a simulated MV300 store: it is not a regular file; it was left "
                   "untouched";
        return;
    }
    if (FileExists(path) && !LoadFile(path)) {
        return;  // not a store: the file stays as it is
    }
    path_ = std::move(path);
    Save();
}

bool SimulatedStore::LoadFile(const std::string& path) {
    const Result<FileBytes> bytes = ReadWholeFile(path);
    if (!bytes) {
        problem_ = "the simulated MV300 store cannot be read: " + bytes.Error().Message;
        return false;
    }
    if (bytes->size() != kFileSize) {
        problem_ = path + " is not a simulated MV300 store: it holds " +
                   std::to_string(bytes->size()) + " bytes, a store " + std::to_string(kFileSize) +
                   "; it was left untouched";
        return false;
    }
    for (std::size_t page = 0; page < kPageCount; ++page) {
        std::copy_n(bytes->begin() + static_cast<std::ptrdiff_t>(page * kPageSize), kPageSize,
                    pages_[page].begin());
    }
    return true;
}

void SimulatedStore::Write(std::uint8_t page, const Page& content) {
    pages_[page] = content;
    Save();
}

void SimulatedStore::Corrupt(std::uint8_t page) {
    for (std::size_t i = 0; i < kPageSize; ++i) {
        pages_[page][i] = static_cast<std::uint8_t>(pages_[page][i] ^ (0xA5 + 37 * i));
    }
    Save();
}

void SimulatedStore::ResetToFactory() {
    for (Page& page : pages_) {
        page.fill(0xFF);  // an erased memory cell reads as all ones
    }
    for (const auto& [number, content] : FactoryStorePages()) {
        pages_[number] = content;
    }
    Save();
}

void SimulatedStore::Save() {
    if (!path_) {
        return;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kFileSize);
    for (const Page& page : pages_) {
        bytes.insert(bytes.end(), page.begin(), page.end());
    }
    const Status saved = SaveFileAtomically(*path_, bytes);
    lastSaveOk_ = saved.Ok();
    if (!saved) {
        problem_ = "the simulated MV300 store cannot be kept: " + saved.Error().Message;
    }
}

}  // namespace orvik::sim
