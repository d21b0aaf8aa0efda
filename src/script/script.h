#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "base/collection_item.h"

namespace orvik {

// One test of a script: which criterion judges it and what ends the trace name.
class ScriptElement {
  public:
    std::int32_t CriterionId = -1;  // -1: none chosen yet
    std::int32_t Position = 0;      // 1-based place in its script; never stored
    std::string Postfix;

    // Label in the script dialog, against the library's criteria (any list
    // of pointers to criteria, so that scripts need not know the criterion).
    template <class CriterionList>
    std::string Label(const CriterionList& criteria) const {
        if (CriterionId == -1) {
            return "Undefined Script Element";
        }
        for (const auto& criterion : criteria) {
            if (criterion->Id == CriterionId) {
                return Postfix + " - " + criterion->Name;
            }
        }
        return Postfix + " - Undefined Criteria";
    }

    void Serialize(Archive& archive);

    bool operator==(const ScriptElement&) const = default;
};

// A series of tests run on every coupon of a batch. Lives in the criteria
// library; a snapshot of it is also an item of a collection (type 2).
class Script : public CollectionItem {
  public:
    Script() : CollectionItem(kScriptType) {}
    // Deep copy of everything but the tag (a snapshot starts untagged).
    Script(const Script& other);
    Script& operator=(const Script& other);

    void Serialize(Archive& archive) override;

    // Appends a default element and renumbers; returns the new element.
    ScriptElement& AddElement();
    // Unlinks the element (if it belongs to this script) and renumbers.
    bool RemoveElement(const ScriptElement* element);
    void RenumberElements();

    // Next automatic serial number as text, advancing the counter.
    std::string TakeAutoSerial();

    bool AutoNumber() const { return PromptForSerial == 0; }

    static constexpr std::int32_t kScriptVersion = 3;

    std::int32_t ScriptNumber = -1;
    std::string Description;
    std::string CurrentSerial;  // the coupon under test; runtime only, never stored
    // A list, so that the running element can be held by pointer while the
    // others are edited.
    std::list<ScriptElement> Elements;
    std::int32_t PromptForSerial = 1;
    std::string Prefix;
    std::string Customer;
    std::string Operator;
    std::string JobNumber;
    std::string StationId;
    std::int32_t SerialCounter = 100;
};

// Marks the start of a coupon's traces in a collection (type 3).
class CouponMarker : public CollectionItem {
  public:
    CouponMarker() : CollectionItem(kCouponMarkerType) {}
    explicit CouponMarker(std::string serial)
        : CollectionItem(kCouponMarkerType), Serial(std::move(serial)) {}

    void Serialize(Archive& archive) override;

    std::string Serial;
};

// Creates a script with the next script number and its default description,
// appended at the end of `scripts`.
Script& CreateScript(std::vector<std::unique_ptr<Script>>& scripts);

}  // namespace orvik
