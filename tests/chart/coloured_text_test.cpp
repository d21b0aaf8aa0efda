#include <string>

#include <gtest/gtest.h>

#include "chart/coloured_text.h"

namespace orvik {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) {
        bytes.push_back(static_cast<char>(v));
    }
    return bytes;
}

TEST(ColourText, PrefixesTheCodeWithEachComponentStoredPlusOne) {
    EXPECT_EQ(ColourText("PASS", 0x00FF00), Bytes({0x01, 0x01, 0xFF, 0x01}) + "PASS");
    // RGB 240,240,40 and 255,0,55: a full component stays 255.
    EXPECT_EQ(ColourText("DD - ", RgbColour(240, 240, 40)), Bytes({0x01, 241, 241, 41}) + "DD - ");
    EXPECT_EQ(ColourText("FAIL", 0x3700FF), Bytes({0x01, 0xFF, 0x01, 0x38}) + "FAIL");
    EXPECT_EQ(ColourText("", kBlack), Bytes({0x01, 0x01, 0x01, 0x01}));
    // No code byte is ever 0.
    for (ChartColour colour : {0x000000u, 0xFFFFFFu, 0xFE00FFu, 0x010203u}) {
        const std::string coded = ColourText("x", colour);
        EXPECT_EQ(coded.find('\0'), std::string::npos);
    }
}

TEST(PlainText, RemovesEveryCode) {
    EXPECT_EQ(PlainText(ColourText("PASS", 0x00FF00)), "PASS");
    const std::string line =
        ColourText("SD - ", 0xB40519) + "Sample #: 1,  50.12   " + ColourText("FAIL", 0x3700FF);
    EXPECT_EQ(PlainText(line), "SD - Sample #: 1,  50.12   FAIL");
    EXPECT_EQ(PlainText("no codes"), "no codes");
    EXPECT_EQ(PlainText(""), "");
    // A code cut short by the end of the text goes too.
    EXPECT_EQ(PlainText("Coupon" + Bytes({0x01, 0x05})), "Coupon");
    EXPECT_EQ(PlainText(Bytes({0x01})), "");
}

TEST(SplitColouredText, GivesEachRunItsColour) {
    const std::string line =
        "A" + ColourText("PASS", 0x00FF00) + ColourText("", 0x123456) + ColourText("!", 0x0000FF);
    const auto pieces = SplitColouredText(line);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], (ColouredPiece{"A", std::nullopt}));
    // A stored 255 gives 254.
    EXPECT_EQ(pieces[1], (ColouredPiece{"PASS", RgbColour(0, 254, 0)}));
    EXPECT_EQ(pieces[2], (ColouredPiece{"!", RgbColour(254, 0, 0)}));
}

TEST(SplitColouredText, CodeByteRules) {
    // A stored 1 is component 0; a stored 0 (never written) is read as 0.
    // The pieces view the text they were split from, so each text is kept
    // for as long as its pieces are read.
    const std::string zeroCode = Bytes({0x01, 0x01, 0x02, 0x00}) + "x";
    auto pieces = SplitColouredText(zeroCode);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].Colour, std::optional<ChartColour>(RgbColour(0, 1, 0)));
    // A text ending with a code has nothing after it.
    const std::string endsWithCode = "Script" + ColourText("", 0x00FF00);
    pieces = SplitColouredText(endsWithCode);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].Text, "Script");
    // A code cut short is not read past the end.
    const std::string cutShort = "ab" + Bytes({0x01, 0x30, 0x30});
    pieces = SplitColouredText(cutShort);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].Text, "ab");
    EXPECT_EQ(DecodeColourComponent(0xFF), 254);
    EXPECT_EQ(DecodeColourComponent(0x01), 0);
}

TEST(ReadableOn, LiftsOnlyColoursThatDoNotReadOnTheBackground) {
    EXPECT_NEAR(ContrastRatio(kBlack, kWhite), 21.0, 1e-9);
    EXPECT_NEAR(ContrastRatio(0x123456, 0x123456), 1.0, 1e-12);
    EXPECT_DOUBLE_EQ(ContrastRatio(kBlack, 0x404040), ContrastRatio(0x404040, kBlack));

    const ChartColour fill = 0x404040;  // the test tree's selection bar
    EXPECT_EQ(ReadableOn(0x0fbe00, fill), 0x0fbe00u) << "PASS green reads already";
    EXPECT_EQ(ReadableOn(0x28f0f0, fill), 0x28f0f0u) << "so does the DD yellow";
    for (const ChartColour dark : {kBlack, ChartColour{0xb40519}, ChartColour{0x3700ff}}) {
        ASSERT_LT(ContrastRatio(dark, fill), kReadableContrast);
        const ChartColour lifted = ReadableOn(dark, fill);
        EXPECT_GE(ContrastRatio(lifted, fill), kComfortableContrast) << std::hex << dark;
        EXPECT_LT(ContrastRatio(lifted, fill), kComfortableContrast + 0.2) << "no further";
    }
    const ChartColour blue = ReadableOn(0xb40519, fill);
    EXPECT_GT(BlueOf(blue), RedOf(blue)) << "the SD blue stays blue";
    const ChartColour red = ReadableOn(0x3700ff, fill);
    EXPECT_GT(RedOf(red), GreenOf(red)) << "FAIL stays red";

    // On a light background dark text is kept and light text darkened.
    EXPECT_EQ(ReadableOn(kBlack, 0xaab4b4), kBlack);
    EXPECT_GE(ContrastRatio(ReadableOn(0xf0f0f0, 0xaab4b4), 0xaab4b4), kComfortableContrast);
}

}  // namespace
}  // namespace orvik
