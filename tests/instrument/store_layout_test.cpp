// Store pages: numbers, texts and how response kernels are packed and read.
#include <cmath>
#include <cstring>
#include <map>

#include <gtest/gtest.h>

#include "instrument/store_layout.h"
#include "test_bytes.h"

namespace orvik {
namespace {

using testing::ByteBuilder;

ByteBuilder& Float(ByteBuilder& bytes, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bytes.I32(static_cast<std::int32_t>(bits));
}

StorePage ToPage(const ByteBuilder& bytes) {
    StorePage page{};
    EXPECT_EQ(bytes.Size(), page.size());
    std::copy_n(bytes.Bytes().begin(), std::min(bytes.Size(), page.size()), page.begin());
    return page;
}

std::vector<double> Values(int count) {
    std::vector<double> values;
    for (int i = 0; i < count; ++i) {
        values.push_back(1.5 + i);
    }
    return values;
}

// A store held in a map, read page by page the way the instrument answers.
class PageStore {
  public:
    void Put(std::uint8_t number, const StorePage& page) { pages_[number] = page; }
    void PutKernel(std::uint8_t first, const std::vector<StorePage>& pages) {
        for (const StorePage& page : pages) {
            pages_[first++] = page;
        }
    }
    void Fail(std::uint8_t number) { failing_.push_back(number); }
    PageReader Reader() {
        return [this](std::uint8_t number, StorePage& buffer) {
            if (std::find(failing_.begin(), failing_.end(), number) != failing_.end()) {
                return false;
            }
            const auto found = pages_.find(number);
            buffer = found == pages_.end() ? StorePage{} : found->second;
            return true;
        };
    }

  private:
    std::map<std::uint8_t, StorePage> pages_;
    std::vector<std::uint8_t> failing_;
};

TEST(StorePages, NumbersSitLittleEndianInTheirSlots) {
    StorePage page{};
    SetPageDouble(page, 0, 11111.0);
    SetPageDouble(page, 1, 3075.0);
    SetPageDouble(page, 3, -0.5);
    EXPECT_EQ(page, ToPage(ByteBuilder().Double(11111.0).Double(3075.0).Double(0).Double(-0.5)));
    EXPECT_EQ(PageDouble(page, 1), 3075.0);

    StorePage floats{};
    SetPageInt32(floats, 0, 12345);
    SetPageFloat(floats, 1, 222.0f);
    SetPageFloat(floats, 7, 1.25f);
    ByteBuilder expected;
    expected.I32(12345);
    Float(expected, 222.0f);
    for (int i = 0; i < 5; ++i) {
        expected.I32(0);
    }
    Float(expected, 1.25f);
    EXPECT_EQ(floats, ToPage(expected));
    EXPECT_EQ(PageInt32(floats, 0), 12345);
    EXPECT_EQ(PageFloat(floats, 7), 1.25f);
}

TEST(StorePages, TextIsNulPaddedAndUsesAllThirtyTwoBytesWithoutTerminator) {
    EXPECT_EQ(TextPage("Ann"),
              ToPage(ByteBuilder().Chars("Ann").Append(std::vector<std::uint8_t>(29, 0))));
    const std::string full(32, 'x');
    EXPECT_EQ(PageText(TextPage(full)), full);
    EXPECT_EQ(PageText(TextPage(full + "overflow")), full);
    EXPECT_EQ(PageText(TextPage("")), "");
    StorePage early = TextPage("Bob");
    early[10] = 'z';  // bytes after the first NUL do not belong to the text
    EXPECT_EQ(PageText(early), "Bob");
}

TEST(KernelPacking, FiveValuesFitTheFirstPage) {
    const auto pages = PackKernelPages(Values(5));
    ASSERT_EQ(pages.size(), 1u);
    ByteBuilder expected;
    expected.I32(12345);
    Float(expected, 5.0f);
    for (int i = 0; i < 5; ++i) {
        Float(expected, 1.5f + static_cast<float>(i));
    }
    expected.I32(0);  // slot 7
    EXPECT_EQ(pages[0], ToPage(expected));
}

TEST(KernelPacking, SixValuesNeedASecondPageAndTwelveFillIt) {
    const auto six = PackKernelPages(Values(6));
    ASSERT_EQ(six.size(), 2u);
    ByteBuilder second;
    Float(second, 6.5f);
    for (int i = 0; i < 7; ++i) {
        second.I32(0);
    }
    EXPECT_EQ(six[1], ToPage(second));

    const auto twelve = PackKernelPages(Values(12));
    ASSERT_EQ(twelve.size(), 2u);
    ByteBuilder full;
    for (int i = 5; i < 12; ++i) {
        Float(full, 1.5f + static_cast<float>(i));
    }
    full.I32(0);
    EXPECT_EQ(twelve[1], ToPage(full));
}

TEST(KernelPacking, FiftyValuesTakeEightPagesTheLastHoldingThree) {
    const auto pages = PackKernelPages(Values(50));
    ASSERT_EQ(pages.size(), 8u);               // pages 8 to 15
    EXPECT_EQ(PageFloat(pages[7], 0), 48.5f);  // values 48 to 50
    EXPECT_EQ(PageFloat(pages[7], 2), 50.5f);
    EXPECT_EQ(PageFloat(pages[7], 3), 0.0f);
    for (const StorePage& page : pages) {
        EXPECT_EQ(PageInt32(page, 7), 0);
    }
}

struct ReadCase {
    int count;
    std::vector<std::uint8_t> pages;
};

class KernelReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(KernelReading, ReadsTheNextPageAsSoonAsSlotSixIsTaken) {
    PageStore store;
    store.PutKernel(8, PackKernelPages(Values(GetParam().count)));
    const StoredKernelRead read = ReadKernelPages(store.Reader(), 8);
    EXPECT_TRUE(read.marked);
    EXPECT_TRUE(read.allPagesRead);
    EXPECT_EQ(read.pagesRead, GetParam().pages);
    ASSERT_EQ(read.values.size(), static_cast<std::size_t>(GetParam().count));
    for (int i = 0; i < GetParam().count; ++i) {
        EXPECT_EQ(read.values[static_cast<std::size_t>(i)], 1.5 + i);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, KernelReading,
                         ::testing::Values(ReadCase{5, {8, 9}}, ReadCase{6, {8, 9}},
                                           ReadCase{12, {8, 9, 10}},
                                           ReadCase{50, {8, 9, 10, 11, 12, 13, 14, 15}}),
                         [](const auto& info) {
                             return "Count" + std::to_string(info.param.count);
                         });

TEST(KernelReadingLimits, CountsOutsideTheStoreAreNotFollowed) {
    for (const float count : {0.0f, -3.0f, 351.0f, 1e9f, std::nanf(""), INFINITY}) {
        PageStore store;
        StorePage first{};
        SetPageInt32(first, 0, 12345);
        SetPageFloat(first, 1, count);
        store.Put(60, first);
        const StoredKernelRead read = ReadKernelPages(store.Reader(), 60);
        EXPECT_TRUE(read.marked) << count;
        EXPECT_TRUE(read.values.empty()) << count;
        EXPECT_EQ(read.pagesRead, std::vector<std::uint8_t>{60}) << count;
    }
}

TEST(KernelReadingLimits, FractionalCountIsTruncated) {
    PageStore store;
    auto pages = PackKernelPages(Values(50));
    SetPageFloat(pages[0], 1, 50.9f);
    store.PutKernel(8, pages);
    EXPECT_EQ(ReadKernelPages(store.Reader(), 8).values.size(), 50u);
}

TEST(KernelReadingLimits, NoMagicMeansNoKernelAndAFailedFirstReadIsNeverOne) {
    PageStore store;
    auto pages = PackKernelPages(Values(60));
    SetPageInt32(pages[0], 0, 12346);
    store.PutKernel(8, pages);
    const StoredKernelRead read = ReadKernelPages(store.Reader(), 8);
    EXPECT_FALSE(read.marked);
    EXPECT_EQ(read.pagesRead.size(), 1u);

    PageStore failing;
    failing.PutKernel(8, PackKernelPages(Values(60)));
    failing.Fail(8);
    const StoredKernelRead failed = ReadKernelPages(failing.Reader(), 8);
    EXPECT_FALSE(failed.marked);
    EXPECT_FALSE(failed.allPagesRead);
}

TEST(KernelReadingLimits, LaterPageFailureIsReported) {
    PageStore store;
    store.PutKernel(8, PackKernelPages(Values(60)));
    store.Fail(10);
    const StoredKernelRead read = ReadKernelPages(store.Reader(), 8);
    EXPECT_TRUE(read.marked);
    EXPECT_FALSE(read.allPagesRead);
    EXPECT_EQ(read.values.size(), 60u);
}

TEST(KernelReadingLimits, KernelNearTheLastPageStopsAtTheEndOfTheStore) {
    PageStore store;
    store.PutKernel(250, PackKernelPages(Values(100)));
    const StoredKernelRead read = ReadKernelPages(store.Reader(), 250);
    EXPECT_FALSE(read.allPagesRead);
    EXPECT_EQ(read.pagesRead.back(), 255);
}

}  // namespace
}  // namespace orvik
