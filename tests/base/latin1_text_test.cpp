#include "base/latin1_text.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

namespace orvik {
namespace {

// Characters outside Latin-1 as a UTF-8 terminal sends them.
struct Foreign {
    const char* utf8;
    const char* named;
};
const Foreign kForeign[] = {
    {"\xCE\xA9", "\"\xCE\xA9\" (U+03A9)"},                   // Greek capital omega
    {"\xE2\x82\xAC", "\"\xE2\x82\xAC\" (U+20AC)"},           // euro sign
    {"\xC4\x80", "\"\xC4\x80\" (U+0100)"},                   // the first one past Latin-1
    {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\" (U+1F600)"},  // four bytes
};

TEST(Latin1Text, KnownTextsBothWays) {
    EXPECT_EQ(Latin1ToUtf8("M\xFCller"), "M\xC3\xBCller");
    EXPECT_EQ(Latin1ToUtf8("Zo\xEB \xFF\xA0"), "Zo\xC3\xAB \xC3\xBF\xC2\xA0");
    EXPECT_EQ(*Utf8ToLatin1("M\xC3\xBCller"), "M\xFCller");
    EXPECT_EQ(*Utf8ToLatin1(""), "");

    const Result<std::string> omega = Utf8ToLatin1("Batch A \xCE\xA9mega");
    ASSERT_FALSE(omega.Ok());
    EXPECT_EQ(omega.Error().Message,
              "the character \"\xCE\xA9\" (U+03A9) cannot be stored: the files hold Latin-1 "
              "characters only");
    EXPECT_EQ(omega.Error().Detail, "at byte 8 of the text");
}

TEST(Latin1Text, BytesThatAreNoUtf8AreRefusedByValue) {
    const struct {
        const char* text;
        std::size_t length;
        const char* byte;
        std::size_t offset;
    } cases[] = {
        {"M\xFCller", 7, "0xFC", 1},         // Latin-1 typed into a UTF-8 command line
        {"a\x80", 2, "0x80", 1},             // a continuation byte alone
        {"\xC0\x80", 2, "0xC0", 0},          // overlong NUL
        {"\xE0\x80\xAF", 3, "0xE0", 0},      // overlong slash
        {"\xED\xA0\x80", 3, "0xED", 0},      // a surrogate
        {"ab\xE2\x82", 4, "0xE2", 2},        // cut short
        {"\xF4\x90\x80\x80", 4, "0xF4", 0},  // past U+10FFFF
        {"\xF8\x88\x80\x80\x80", 5, "0xF8", 0},
    };
    for (const auto& c : cases) {
        const std::string_view text(c.text, c.length);
        const auto found = FindUnstorable(text);
        ASSERT_TRUE(found) << c.byte;
        EXPECT_TRUE(found->NotUtf8) << c.byte;
        EXPECT_EQ(found->Offset, c.offset) << c.byte;
        EXPECT_EQ(UnstorableTextMessage(*found),
                  std::string("the byte ") + c.byte + " is not UTF-8 text");
        EXPECT_FALSE(Utf8ToLatin1(text).Ok());
    }
}

RC_GTEST_PROP(Latin1Text, EveryLatin1TextSurvivesTheTripThroughUtf8, (const std::string& bytes)) {
    const std::string utf8 = Latin1ToUtf8(bytes);
    RC_ASSERT(!FindUnstorable(utf8));
    const Result<std::string> back = Utf8ToLatin1(utf8);
    RC_ASSERT(back.Ok());
    RC_ASSERT(*back == bytes);
}

RC_GTEST_PROP(Latin1Text, TheFirstForeignCharacterIsNamedWhereverItStands,
              (const std::string& before, const std::string& after)) {
    const std::size_t count = std::size(kForeign);
    const Foreign& first = kForeign[*rc::gen::inRange<std::size_t>(0, count)];
    const Foreign& second = kForeign[*rc::gen::inRange<std::size_t>(0, count)];
    const std::string prefix = Latin1ToUtf8(before);
    const std::string text = prefix + first.utf8 + Latin1ToUtf8(after) + second.utf8;
    const auto found = FindUnstorable(text);
    RC_ASSERT(found.has_value());
    RC_ASSERT(!found->NotUtf8);
    RC_ASSERT(found->Offset == prefix.size());
    const Result<std::string> converted = Utf8ToLatin1(text);
    RC_ASSERT(!converted.Ok());
    RC_ASSERT(converted.Error().Message.find(first.named) != std::string::npos);
}

}  // namespace
}  // namespace orvik
