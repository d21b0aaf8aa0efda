#include "criteria/criterion_selector.h"

#include <gtest/gtest.h>

#include "criteria/criteria_library.h"

namespace orvik {
namespace {

TEST(CriteriaSelector, ListsFileOrderAfterLoadingAndKeepsTwinsApart) {
    CriteriaLibrary library;
    for (const char* name : {"C", "Same", "Same"}) {
        library.AddCriterion().Name = name;  // list order as after loading A..C reversed
    }
    CriteriaSelectorModel selector;
    int changes = 0;
    selector.Changed = [&] { ++changes; };
    selector.FillInFileOrder(library);
    ASSERT_EQ(selector.Entries().size(), 3u);
    EXPECT_EQ(selector.Entries()[0].Item, library.Criteria[2].get());
    EXPECT_EQ(selector.Entries()[2].Name, "C");
    EXPECT_EQ(selector.SelectedCriterion(), nullptr) << "nothing is selected after start-up";
    EXPECT_EQ(changes, 1);

    selector.FillInListOrder(library);
    EXPECT_EQ(selector.Entries()[0].Name, "C");
    EXPECT_NE(selector.Entries()[1].Item, selector.Entries()[2].Item);
}

TEST(CriteriaSelector, SelectsTheFirstMatchingIdOrNothing) {
    CriteriaLibrary library;
    library.AddCriterion();
    library.AddCriterion();
    CriteriaSelectorModel selector;
    selector.FillInListOrder(library);
    selector.SelectIndex(0);
    EXPECT_TRUE(selector.SelectCriterionById(1));
    EXPECT_EQ(selector.SelectedIndex(), 1);
    EXPECT_FALSE(selector.SelectCriterionById(7));
    EXPECT_EQ(selector.SelectedIndex(), 1) << "no match keeps the selection";
    selector.SelectIndex(5);
    EXPECT_EQ(selector.SelectedCriterion(), nullptr);
}

}  // namespace
}  // namespace orvik
