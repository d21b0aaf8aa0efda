#pragma once

#include <cstddef>
#include <memory_resource>
#include <vector>

namespace orvik {

// Memory for the samples of a loaded collection. Loading 10,000 traces asks
// for 120 MB in 12 KB pieces; from the general heap every fresh 4 KB page
// costs a page fault, which dominates the whole load. The arena takes large
// blocks that the system may back with huge pages and hands them out in
// order. Nothing is returned before the arena itself goes away, so it belongs
// to the collection whose records use it and must outlive them.
class SampleArena : public std::pmr::memory_resource {
  public:
    SampleArena() = default;
    ~SampleArena() override;
    SampleArena(const SampleArena&) = delete;
    SampleArena& operator=(const SampleArena&) = delete;

    std::size_t BytesReserved() const { return reserved_; }

  private:
    struct Block {
        void* base;
        std::size_t size;
    };

    void* do_allocate(std::size_t bytes, std::size_t alignment) override;
    void do_deallocate(void*, std::size_t, std::size_t) override {}
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }
    void AddBlock(std::size_t atLeast);

    std::vector<Block> blocks_;
    std::byte* next_ = nullptr;
    std::size_t left_ = 0;
    std::size_t reserved_ = 0;
};

}  // namespace orvik
