// The journal reader's list against a plain vector, over random changes.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <vector>

#include "journal/list_shape.h"

namespace orvik {
namespace {

// One change: what it does, where (taken modulo what fits), and the entry it
// names.
struct Step {
    int kind;  // 0 insert, 1 erase, 2 replace
    std::size_t where;
    std::uint32_t entry;
};

bool SameSlot(const ListSlot& a, const ListSlot& b) {
    return a.Entry == b.Entry && a.Type == b.Type && a.ChangedBaseItem == b.ChangedBaseItem;
}

RC_GTEST_PROP(ListShape, FollowsAPlainListThroughAnyChanges, ()) {
    const auto baseItems = *rc::gen::inRange<std::size_t>(0, 200);
    const auto steps = *rc::gen::container<std::vector<Step>>(rc::gen::construct<Step>(
        rc::gen::inRange(0, 3), rc::gen::arbitrary<std::size_t>(), rc::gen::inRange(0U, 1000U)));
    ListShape shape(baseItems);
    std::vector<ListSlot> model(baseItems);
    for (const Step& step : steps) {
        const ListSlot slot{step.entry, static_cast<std::int8_t>(1 + step.entry % 3),
                            step.entry % 2 == 0};
        if (step.kind == 0 || model.empty()) {
            const std::size_t at = step.where % (model.size() + 1);
            shape.Insert(at, slot);
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), slot);
            continue;
        }
        const std::size_t at = step.where % model.size();
        RC_ASSERT(SameSlot(shape.At(at), model[at]));
        if (step.kind == 1) {
            RC_ASSERT(SameSlot(shape.Erase(at), model[at]));
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        } else {
            shape.Replace(at, slot);
            model[at] = slot;
        }
    }
    RC_ASSERT(shape.Size() == model.size());
    std::vector<ListSlot> walked;
    shape.ForEach(
        [&](const ListSlot& slot, std::size_t count) { walked.insert(walked.end(), count, slot); });
    RC_ASSERT(walked.size() == model.size());
    for (std::size_t i = 0; i < model.size(); ++i) {
        RC_ASSERT(SameSlot(walked[i], model[i]));
    }
}

}  // namespace
}  // namespace orvik
