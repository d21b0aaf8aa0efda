#include "collection/sample_arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>

namespace orvik {
namespace {

constexpr std::size_t kHugePage = 2 << 20;
constexpr std::size_t kBlockSize = 32 << 20;

}  // namespace

SampleArena::~SampleArena() {
    for (const Block& block : blocks_) {
        ::munmap(block.base, block.size);
    }
}

void SampleArena::AddBlock(std::size_t atLeast) {
    const std::size_t size =
        (std::max(atLeast, kBlockSize) + kHugePage - 1) / kHugePage * kHugePage;
    // One huge page extra so that the usable part can start on a huge-page
    // boundary, where the system can back it with huge pages.
    void* base = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        throw std::bad_alloc();
    }
    blocks_.push_back({base, size + kHugePage});
    auto address = reinterpret_cast<std::uintptr_t>(base);
    address = (address + kHugePage - 1) / kHugePage * kHugePage;
    next_ = reinterpret_cast<std::byte*>(address);
    left_ = size;
    ::madvise(next_, size, MADV_HUGEPAGE);
    reserved_ += size;
}

void* SampleArena::do_allocate(std::size_t bytes, std::size_t alignment) {
    auto address = reinterpret_cast<std::uintptr_t>(next_);
    std::size_t padding = (alignment - address % alignment) % alignment;
    if (next_ == nullptr || padding + bytes > left_) {
        AddBlock(bytes + alignment);
        address = reinterpret_cast<std::uintptr_t>(next_);
        padding = (alignment - address % alignment) % alignment;
    }
    std::byte* result = next_ + padding;
    next_ = result + bytes;
    left_ -= padding + bytes;
    return result;
}

}  // namespace orvik
