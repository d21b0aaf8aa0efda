#pragma once

#include <memory>
#include <string>

#include "collection/orvik_doc.h"
#include "script/script.h"

namespace orvik::bench {

// One scripted run of `coupons` coupons, each tested on every one of `tests`
// elements; a few traces fail.
inline std::unique_ptr<COrvikDoc> MakeRun(int coupons, int tests) {
    auto document = std::make_unique<COrvikDoc>();
    auto script = std::make_unique<Script>();
    script->Customer = "Bench";
    for (int n = 0; n < tests; ++n) {
        ScriptElement& element = script->AddElement();
        element.CriterionId = n % 4;
        element.Postfix = "-T" + std::to_string(n + 1);
    }
    document->AppendItem(std::move(script));
    for (int k = 0; k < coupons; ++k) {
        document->AppendItem(std::make_unique<CouponMarker>("SN" + std::to_string(1000 + k)));
        for (int n = 1; n <= tests; ++n) {
            auto trace = std::make_unique<TraceRecord>();
            trace->Tag = kTagScriptedRun;
            trace->ElementPosition = n;
            trace->Criteria.Id = (n - 1) % 4;
            trace->Average = 45.0 + (k * tests + n) % 1000 / 100.0;
            trace->Passed = (k + n) % 97 != 0;
            document->AppendItem(std::move(trace));
        }
    }
    return document;
}

}  // namespace orvik::bench
