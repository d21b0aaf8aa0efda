#pragma once

// Permission checks seen as an ordinary user sees them. The suite often runs
// as root, whom no folder or file mode stops; while an Unprivileged lives the
// process acts as "nobody" (effective ids only, so that it can come back).
#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace orvik::testing {

class Unprivileged {
  public:
    static constexpr uid_t kNobody = 65534;

    Unprivileged() : wasRoot_(::geteuid() == 0) {
        if (wasRoot_) {
            EXPECT_EQ(::setegid(kNobody), 0);
            EXPECT_EQ(::seteuid(kNobody), 0);
        }
    }
    ~Unprivileged() {
        if (wasRoot_) {
            EXPECT_EQ(::seteuid(0), 0);
            EXPECT_EQ(::setegid(0), 0);
        }
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

  private:
    bool wasRoot_;
};

}  // namespace orvik::testing
