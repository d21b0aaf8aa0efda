#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvik::sim {

// The instrument's non-volatile store: 256 pages of 32 bytes. Kept in a file
// when one is named, so that calibration and kernels survive a restart as in
// the instrument, else in memory. A fresh store is factory-calibrated.
class SimulatedStore {
  public:
    static constexpr std::size_t kPageCount = 256;
    static constexpr std::size_t kPageSize = 32;
    using Page = std::array<std::uint8_t, kPageSize>;

    // A memory store with the factory contents.
    SimulatedStore();
    // A store kept in `path`: read when the file holds a whole store, else
    // created there with the factory contents.
    explicit SimulatedStore(std::string path);

    const Page& Read(std::uint8_t page) const { return pages_[page]; }
    void Write(std::uint8_t page, const Page& content);
    // Scrambles a page as a failing memory cell would.
    void Corrupt(std::uint8_t page);
    // Back to the factory contents.
    void ResetToFactory();

    const std::optional<std::string>& Path() const { return path_; }
    // False when the file could not be written; the store then lives on in memory.
    bool LastSaveSucceeded() const { return lastSaveOk_; }

  private:
    void Save();

    std::optional<std::string> path_;
    std::array<Page, kPageCount> pages_{};
    bool lastSaveOk_ = true;
};

}  // namespace orvik::sim
