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
    static constexpr std::size_t kFileSize = kPageCount * kPageSize;
    using Page = std::array<std::uint8_t, kPageSize>;

    // A memory store with the factory contents.
    SimulatedStore();
    // A store kept in `path`. A missing file is created there with the factory
    // contents; an existing one is used when it holds a whole store (exactly
    // its pages) and is written back at once, so that a folder that cannot
    // take it shows now rather than at the first calibration. Any other file
    // is never touched: the store then lives in memory and Problem() says why.
    explicit SimulatedStore(std::string path);

    const Page& Read(std::uint8_t page) const { return pages_[page]; }
    void Write(std::uint8_t page, const Page& content);
    // Scrambles a page as a failing memory cell would.
    void Corrupt(std::uint8_t page);
    // Back to the factory contents.
    void ResetToFactory();

    // The file the store lives in; empty when it lives in memory.
    const std::optional<std::string>& Path() const { return path_; }
    // False when the file could not be written; the store then lives on in memory.
    bool LastSaveSucceeded() const { return lastSaveOk_; }
    // Why the named file is not (or no longer) holding the store: it is not a
    // store, or it could not be read or written. Empty while all is well.
    const std::string& Problem() const { return problem_; }

  private:
    void Save();
    bool LoadFile(const std::string& path);

    std::optional<std::string> path_;
    std::array<Page, kPageCount> pages_{};
    bool lastSaveOk_ = true;
    std::string problem_;
};

}  // namespace orvik::sim
