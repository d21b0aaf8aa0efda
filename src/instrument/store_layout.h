#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "instrument/instrument_link.h"

namespace orvik {

// Where the instrument keeps its calibration and response kernels.
namespace store_page {
inline constexpr std::uint8_t kEndOfCable = 1;  // magic, single-ended, differential index
inline constexpr std::uint8_t kDivisors = 2;    // divisors, single-ended constant
inline constexpr std::uint8_t kDifferentialConstant = 3;
inline constexpr std::uint8_t kLastOperator = 4;
inline constexpr std::uint8_t kLastDate = 5;
inline constexpr std::uint8_t kSingleEndedKernel = 8;
inline constexpr std::uint8_t kDifferentialKernel = 60;
}  // namespace store_page

// Page 1 starts with this when the instrument has been calibrated.
inline constexpr double kCalibratedStoreMagic = 11111.0;
// The first page of a stored kernel starts with this.
inline constexpr std::int32_t kKernelMagic = 12345;
// A usable kernel has this many values: the processing reads its first 50.
inline constexpr int kMinKernelCount = 50;
inline constexpr int kMaxKernelCount = 350;
// Values of the first kernel page, and of every following page.
inline constexpr int kKernelValuesOnFirstPage = 5;
inline constexpr int kKernelValuesPerPage = 7;

// Numbers in a page: doubles in slots 0-3 (8 bytes each); floats and int32s
// in slots 0-7 (4 bytes each). Little-endian IEEE 754.
double PageDouble(const StorePage& page, int slot);
void SetPageDouble(StorePage& page, int slot, double value);
float PageFloat(const StorePage& page, int slot);
void SetPageFloat(StorePage& page, int slot, float value);
std::int32_t PageInt32(const StorePage& page, int slot);
void SetPageInt32(StorePage& page, int slot, std::int32_t value);

// Text pages hold up to 32 characters, NUL-padded, without a terminator when
// all 32 are used.
std::string PageText(const StorePage& page);
StorePage TextPage(const std::string& text);

// The pages a kernel is stored in, first page first: the magic, the count as
// a float and the first five values; then seven values a page. Slot 7 is 0.
std::vector<StorePage> PackKernelPages(std::span<const double> values);

// A kernel as read from the store.
struct StoredKernelRead {
    bool marked = false;         // the first page carried the kernel magic
    double storedCount = 0.0;    // the count as stored (a float)
    std::vector<double> values;  // empty when the count was not readable
    bool allPagesRead = true;    // every page read succeeded
    std::vector<std::uint8_t> pagesRead;
};

// Reads a kernel page by page as the instrument stores it: the next page is
// read as soon as slot 6 of the current one has been taken. Counts from 1 to
// kMaxKernelCount are read; any other count reads nothing further. `readPage`
// fills the buffer and says whether the read succeeded; the buffer starts out
// zeroed so that a failed first read can never pass for a stored kernel.
using PageReader = std::function<bool(std::uint8_t page, StorePage& buffer)>;
StoredKernelRead ReadKernelPages(const PageReader& readPage, std::uint8_t firstPage);

// Writes a kernel into the store page by page through the link.
bool WriteKernelPages(InstrumentLink& link, std::uint8_t firstPage, std::span<const double> values);

}  // namespace orvik
