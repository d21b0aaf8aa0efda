#include "base/c_numbers.h"

#include <gtest/gtest.h>

#include "comma_locale.h"

namespace orvik {
namespace {

// Texts around the size of the formatting buffer come back whole, their
// number with a decimal point even on a desktop of decimal commas.
TEST(FormatC, TextsOfEveryLengthAroundTheBufferComeBackWhole) {
    testing::CommaLocale desktop;
    for (const std::size_t length : {4, 254, 255, 256, 257, 1000}) {
        SCOPED_TRACE(length);
        const std::string filler(length - 4, 'x');
        EXPECT_EQ(FormatC("%s%.2f", filler.c_str(), 2.5), filler + "2.50");
    }
}

}  // namespace
}  // namespace orvik
