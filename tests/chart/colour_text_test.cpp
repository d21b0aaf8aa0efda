#include "chart/colour_text.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

TEST(ColourCodes, EncodeComponentsPlusOneExceptFull) {
    EXPECT_EQ(ColourText("PASS", 0x00FF00), std::string("\x01\x01\xFF\x01PASS", 8));
    EXPECT_EQ(ColourText("", 0x3700FF), std::string("\x01\xFF\x01\x38", 4));
    EXPECT_EQ(ColourText("x", 0xFEFEFE), std::string("\x01\xFF\xFF\xFFx", 5));
}

TEST(ColourCodes, PlainTextDropsEveryCode) {
    const std::string text = "A" + ColourText("SD - ", 0xb40519) + "name" + ColourText("", 0);
    EXPECT_EQ(PlainText(text), "ASD - name");
    EXPECT_EQ(PlainText(std::string("ab\x01\x02", 4)), "ab") << "a cut code at the end";
}

TEST(ColourCodes, DecodeSubtractsOne) {
    EXPECT_EQ(DecodeColourCode("\x01\x01\x01"), 0u);
    EXPECT_EQ(DecodeColourCode("\xFF\x01\x38"), 0x3700FEu) << "a stored 255 gives 254";
    EXPECT_EQ(DecodeColourCode(std::string("\x00\x11", 2)), 0x1000u);
}

}  // namespace
}  // namespace orvik
