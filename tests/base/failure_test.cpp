#include "base/failure.h"

#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

namespace orvik {
namespace {

Result<std::unique_ptr<int>> Make(bool succeed) {
    if (!succeed) {
        return Failure{"Failed to open document.", "Cannot open x: No such file or directory"};
    }
    return std::make_unique<int>(7);
}

TEST(Result, HoldsEitherAValueOrAFailure) {
    auto made = Make(true);
    ASSERT_TRUE(made);
    EXPECT_EQ(**made, 7);
    // A move-only value can be taken out.
    std::unique_ptr<int> taken = std::move(made).Value();
    EXPECT_EQ(*taken, 7);

    const auto failed = Make(false);
    ASSERT_FALSE(failed.Ok());
    EXPECT_EQ(failed.Error().Message, "Failed to open document.");
    EXPECT_EQ(failed.Error().Detail, "Cannot open x: No such file or directory");
    // Asking the wrong side is a programming error that never reads garbage.
    EXPECT_THROW(failed.Value(), std::bad_variant_access);
    EXPECT_THROW(made.Error(), std::bad_variant_access);
}

TEST(Status, SucceedsByDefaultAndCarriesAFailure) {
    const Status done;
    EXPECT_TRUE(done.Ok());
    EXPECT_THROW(done.Error(), std::bad_optional_access);
    const Status refused = Failure{"Unexpected file format.", "unknown item type 4"};
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().Message, "Unexpected file format.");
}

}  // namespace
}  // namespace orvik
