#include "simulator/simulated_store.h"

#include <algorithm>

#include "base/file_store.h"
#include "simulator/factory_calibration.h"

namespace orvik::sim {

SimulatedStore::SimulatedStore() {
    ResetToFactory();
}

SimulatedStore::SimulatedStore(std::string path) : path_(std::move(path)) {
    const auto bytes = ReadWholeFile(*path_);
    if (bytes && bytes->size() == kPageCount * kPageSize) {
        for (std::size_t page = 0; page < kPageCount; ++page) {
            std::copy_n(bytes->begin() + static_cast<std::ptrdiff_t>(page * kPageSize), kPageSize,
                        pages_[page].begin());
        }
        return;
    }
    ResetToFactory();
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
    bytes.reserve(kPageCount * kPageSize);
    for (const Page& page : pages_) {
        bytes.insert(bytes.end(), page.begin(), page.end());
    }
    lastSaveOk_ = SaveFileAtomically(*path_, bytes).Ok();
}

}  // namespace orvik::sim
