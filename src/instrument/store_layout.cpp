#include "instrument/store_layout.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "instrument/transfer_header.h"

namespace orvik {

double PageDouble(const StorePage& page, int slot) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | page[static_cast<std::size_t>(slot * 8 + i)];
    }
    return std::bit_cast<double>(bits);
}

void SetPageDouble(StorePage& page, int slot, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) {
        page[static_cast<std::size_t>(slot * 8 + i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

float PageFloat(const StorePage& page, int slot) {
    return std::bit_cast<float>(ReadU32(page, static_cast<std::size_t>(slot) * 4));
}

void SetPageFloat(StorePage& page, int slot, float value) {
    WriteU32(page, static_cast<std::size_t>(slot) * 4, std::bit_cast<std::uint32_t>(value));
}

std::int32_t PageInt32(const StorePage& page, int slot) {
    return static_cast<std::int32_t>(ReadU32(page, static_cast<std::size_t>(slot) * 4));
}

void SetPageInt32(StorePage& page, int slot, std::int32_t value) {
    WriteU32(page, static_cast<std::size_t>(slot) * 4, static_cast<std::uint32_t>(value));
}

std::string PageText(const StorePage& page) {
    std::size_t length = 0;
    while (length < page.size() && page[length] != 0) {
        ++length;
    }
    return std::string(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(length));
}

StorePage TextPage(const std::string& text) {
    StorePage page{};
    std::memcpy(page.data(), text.data(), std::min(text.size(), page.size()));
    return page;
}

std::vector<StorePage> PackKernelPages(std::span<const double> values) {
    std::vector<StorePage> pages;
    StorePage page{};
    SetPageInt32(page, 0, kKernelMagic);
    SetPageFloat(page, 1, static_cast<float>(values.size()));
    int slot = 2;
    for (const double value : values) {
        SetPageFloat(page, slot, static_cast<float>(value));
        if (++slot == 7) {
            pages.push_back(page);
            page = StorePage{};
            slot = 0;
        }
    }
    if (slot != 0) {
        pages.push_back(page);
    }
    return pages;
}

StoredKernelRead ReadKernelPages(const PageReader& readPage, std::uint8_t firstPage) {
    StoredKernelRead read;
    StorePage buffer{};
    read.pagesRead.push_back(firstPage);
    read.allPagesRead = readPage(firstPage, buffer);
    if (PageInt32(buffer, 0) != kKernelMagic) {
        return read;
    }
    read.marked = true;
    read.storedCount = PageFloat(buffer, 1);
    // Truncating a float outside the int range is undefined, and a count the
    // store cannot hold would run the reads past the end of the store.
    if (!std::isfinite(read.storedCount) || read.storedCount < 1.0 ||
        read.storedCount >= kMaxKernelCount + 1.0) {
        return read;
    }
    const auto count = static_cast<std::size_t>(read.storedCount);
    read.values.reserve(count);
    int page = firstPage;
    int slot = 2;
    while (read.values.size() < count) {
        read.values.push_back(PageFloat(buffer, slot));
        if (++slot == 7) {
            if (++page > 0xFF) {
                read.allPagesRead = false;
                break;
            }
            read.pagesRead.push_back(static_cast<std::uint8_t>(page));
            read.allPagesRead =
                readPage(static_cast<std::uint8_t>(page), buffer) && read.allPagesRead;
            slot = 0;
        }
    }
    return read;
}

bool WriteKernelPages(InstrumentLink& link, std::uint8_t firstPage,
                      std::span<const double> values) {
    bool allWritten = true;
    int page = firstPage;
    for (const StorePage& content : PackKernelPages(values)) {
        if (page > 0xFF) {
            return false;
        }
        allWritten = link.WritePage(static_cast<std::uint8_t>(page++), content) && allWritten;
    }
    return allWritten;
}

}  // namespace orvik
