#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvik {

class Criterion;
class CriteriaLibrary;

// The toolbar's drop-down list of criteria: the criterion every test is
// judged against. Entries carry their criterion, so two criteria with the
// same name stay apart. The window's combo box shows this model.
class CriteriaSelectorModel {
  public:
    struct Entry {
        std::string Name;
        const Criterion* Item;  // none for an entry typed in by hand
    };

    // Entries in the order the library file lists them (the reverse of the
    // list after loading, which puts every criterion read at the front).
    void FillInFileOrder(const CriteriaLibrary& library);
    // Entries in the library's list order, as after the criteria manager.
    void FillInListOrder(const CriteriaLibrary& library);
    void Clear();

    const std::vector<Entry>& Entries() const { return entries_; }
    int SelectedIndex() const { return selected_; }
    // The operator's choice; -1 selects nothing.
    void SelectIndex(int index);
    const Criterion* SelectedCriterion() const;
    // Selects the first entry whose criterion has `id`. Without a match the
    // selection stays as it was and the result is false.
    bool SelectCriterionById(std::int32_t id);

    // The library is about to destroy `criterion`: its entries go, and when
    // it was the one selected nothing is selected any more.
    void Forget(const Criterion& criterion);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Called after every change, so that the window can redraw the list.
    std::function<void()> Changed;

  private:
    void Notify();

    std::vector<Entry> entries_;
    int selected_ = -1;
    bool enabled_ = true;
};

}  // namespace orvik
