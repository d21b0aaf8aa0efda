#include "simulator/coupon_profile.h"

#include <gtest/gtest.h>

namespace orvik::sim {
namespace {

TEST(CouponProfile, ABareNumberIsAUniformTenInchTrace) {
    const auto profile = CouponProfile::Parse("50");
    ASSERT_TRUE(profile);
    ASSERT_EQ(profile->Segments().size(), 1u);
    EXPECT_EQ(profile->Segments()[0], (CouponProfile::Segment{50.0, 0.0, 10.0}));
    EXPECT_EQ(profile->Length(), 10.0);
    EXPECT_EQ(profile->ImpedanceAt(9.99), 50.0);
    EXPECT_EQ(*CouponProfile::Parse(" 42.5 "), CouponProfile::Uniform(42.5));
}

TEST(CouponProfile, SegmentsFollowEachOtherFromZero) {
    const auto profile = CouponProfile::Parse("50@0-4, 60@4-6 ,50@6-10");
    ASSERT_TRUE(profile) << profile.Error().Message;
    ASSERT_EQ(profile->Segments().size(), 3u);
    EXPECT_EQ(profile->Segments()[1], (CouponProfile::Segment{60.0, 4.0, 6.0}));
    EXPECT_EQ(profile->Length(), 10.0);
    EXPECT_EQ(profile->ImpedanceAt(0.0), 50.0);
    EXPECT_EQ(profile->ImpedanceAt(3.999), 50.0);
    EXPECT_EQ(profile->ImpedanceAt(4.0), 60.0);
    EXPECT_EQ(profile->ImpedanceAt(5.5), 60.0);
    EXPECT_EQ(profile->ImpedanceAt(6.0), 50.0);
    EXPECT_EQ(profile->Text(), "50@0-4,60@4-6,50@6-10");
    EXPECT_EQ(*CouponProfile::Parse(profile->Text()), *profile);
    EXPECT_TRUE(CouponProfile::Parse("75@0-2.5"));
}

TEST(CouponProfile, RefusesWhatIsNotAProfile) {
    const char* bad[] = {"",
                         "fifty",
                         "0",
                         "-50",
                         "1e7",
                         "50@1-4",
                         "50@0-4,60@5-6",
                         "50@0-4,60@3-6",
                         "50@0-4,",
                         "50@4-0",
                         "50@0-0",
                         "50@0-61",
                         "50@0",
                         "@0-4",
                         "50@0-4x",
                         "nan",
                         "inf",
                         "50@0-4;60@4-6",
                         "50 @ 0 - 4 , , 60@4-6"};
    for (const char* text : bad) {
        const auto parsed = CouponProfile::Parse(text);
        ASSERT_FALSE(parsed) << "\"" << text << "\"";
        EXPECT_FALSE(parsed.Error().Message.empty()) << "\"" << text << "\" needs a reason";
    }
}

TEST(SimulateOption, IsReadAloneOrWithAProfileAndNothingElse) {
    const struct {
        const char* argument;
        bool isOption;
        bool usable;
        const char* profile;  // the text of the profile, if any
    } cases[] = {
        {"--simulate", true, true, nullptr},
        {"--simulate=50", true, true, "50"},
        {"--simulate=50@0-4,60@4-6,50@6-10", true, true, "50@0-4,60@4-6,50@6-10"},
        {"--simulate=banana", true, false, nullptr},
        {"--simulate=", true, false, nullptr},
        {"--simulated", false, false, nullptr},
        {"--simulate-it", false, false, nullptr},
        {"--sim-store", false, false, nullptr},
        {"simulate", false, false, nullptr},
    };
    for (const auto& c : cases) {
        const auto read = ReadSimulateOption(c.argument);
        ASSERT_EQ(read.has_value(), c.isOption) << c.argument;
        if (!read) {
            continue;
        }
        ASSERT_EQ(read->Ok(), c.usable) << c.argument;
        if (!c.usable) {
            EXPECT_EQ((*read).Error().Message.rfind(std::string("The coupon profile ") +
                                                        (c.argument + 11) + " cannot be used: ",
                                                    0),
                      0u)
                << (*read).Error().Message;
            continue;
        }
        EXPECT_EQ((*read)->ProfileText.has_value(), c.profile != nullptr) << c.argument;
        EXPECT_EQ((*read)->Coupon.has_value(), c.profile != nullptr) << c.argument;
        if (c.profile) {
            EXPECT_EQ(*(*read)->ProfileText, c.profile);
            EXPECT_EQ(*(*read)->Coupon, *CouponProfile::Parse(c.profile));
        }
    }
}

}  // namespace
}  // namespace orvik::sim
