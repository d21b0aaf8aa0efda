#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "criteria/criteria_library.h"

namespace orvik {

class CriteriaSelectorModel;
class OperatorPrompts;

inline constexpr const char* kCriteriaManagerTitle = "Criteria Manager";

// The order of sorted lists of criteria names: alphabetical, without regard
// to letter case.
bool NameSortsBefore(const std::string& a, const std::string& b);

// The Criteria Manager's list over the library's criteria. The library is
// edited in place: what the operator creates, edits or deletes is in the
// library at once, whichever way the manager is left.
class CriteriaManagerModel {
  public:
    struct Entry {
        std::string Name;
        Criterion* Item;
    };

    // Adds every criterion in list order; the list keeps its entries in
    // alphabetical order as they are added.
    explicit CriteriaManagerModel(CriteriaLibrary& library);

    const std::vector<Entry>& Entries() const { return entries_; }
    int SelectedIndex() const { return selected_; }
    void SelectIndex(int index);
    Criterion* SelectedCriterion() const;

    // Create, once the editor has saved `edited` (begun from a default
    // criterion): appends a copy with a fresh id and lists it. Returns the
    // entry's index.
    int AddCreated(const Criterion& edited);
    // Edit, once the editor has saved `edited` (begun from a copy of the
    // selected criterion): copies the values back, keeping the id, and
    // replaces the entry's text where it is. False with no selection.
    bool ApplyEdit(const Criterion& edited);
    // Delete: removes the selected criterion at once. False with no selection.
    bool DeleteSelected();

    // The id to select in the toolbar on Close: the selected criterion's,
    // else the library's first, else none.
    std::optional<std::int32_t> CloseId() const;

  private:
    int Insert(Entry entry);

    CriteriaLibrary& library_;
    std::vector<Entry> entries_;
    int selected_ = -1;
};

// Saves the library where the program keeps it. A library loaded from a
// damaged file is written over only when the operator agrees to a question
// naming the file. A failed save is reported to the operator with the file
// and the system's reason; the library in memory stays as it is.
Status SaveLibrary(CriteriaLibrary& library, OperatorPrompts& prompts,
                   const std::string& path = kCriteriaFileName);

// What follows a closed Criteria Manager: the selector lists the library's
// criteria in list order, the criterion with `id` (else the first entry) is
// selected, `selectionChanged` lets the current trace follow it, and the
// library is saved.
Status AfterCriteriaManagerClosed(CriteriaLibrary& library, CriteriaSelectorModel& selector,
                                  std::optional<std::int32_t> id,
                                  const std::function<void()>& selectionChanged,
                                  OperatorPrompts& prompts,
                                  const std::string& path = kCriteriaFileName);

}  // namespace orvik
