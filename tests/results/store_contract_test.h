#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "results/results_store.h"

namespace orvik::testing {

// A back end for the contract: a fresh, empty database on each call.
struct StoreBackend {
    std::string Name;
    std::function<results::ResultsLocation()> Make;
};

inline std::ostream& operator<<(std::ostream& out, const StoreBackend& backend) {
    return out << backend.Name;
}

class StoreContract : public ::testing::TestWithParam<StoreBackend> {};

}  // namespace orvik::testing
