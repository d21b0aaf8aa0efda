#include "script/script.h"

#include <algorithm>
#include <limits>

#include "base/archive.h"

namespace orvik {

void ScriptElement::Serialize(Archive& archive) {
    std::int32_t version = 1;  // ignored on reading
    archive.Int32(version);
    archive.Int32(CriterionId);
    archive.String(Postfix);
}

Script::Script(const Script& other) : CollectionItem(other.TypeCode) {
    *this = other;
}

Script& Script::operator=(const Script& other) {
    if (this == &other) {
        return *this;
    }
    TypeCode = other.TypeCode;
    ScriptNumber = other.ScriptNumber;
    Description = other.Description;
    CurrentSerial = other.CurrentSerial;
    Elements = other.Elements;
    PromptForSerial = other.PromptForSerial;
    Prefix = other.Prefix;
    Customer = other.Customer;
    Operator = other.Operator;
    JobNumber = other.JobNumber;
    StationId = other.StationId;
    SerialCounter = other.SerialCounter;
    return *this;
}

void Script::Serialize(Archive& archive) {
    std::int32_t version = kScriptVersion;
    archive.Int32(version);
    archive.Int32(ScriptNumber);
    archive.String(Description);
    archive.Int32(PromptForSerial);
    archive.String(Prefix);
    if (version > 1) {
        // Stored in this order, which is not the order of the dialog.
        archive.String(Customer);
        archive.String(JobNumber);
        archive.String(StationId);
        archive.String(Operator);
    }
    if (version > 2) {
        archive.Int32(SerialCounter);
    }
    if (archive.IsLoading()) {
        Elements.clear();
    }
    SerializeList(
        archive, Elements,
        [&] {
            Elements.emplace_back().Serialize(archive);
            Elements.back().Position = static_cast<std::int32_t>(Elements.size());
        },
        [&](ScriptElement& element) { element.Serialize(archive); });
}

ScriptElement& Script::AddElement() {
    ScriptElement& element = Elements.emplace_back();
    RenumberElements();
    return element;
}

bool Script::RemoveElement(const ScriptElement* element) {
    const auto found = std::find_if(Elements.begin(), Elements.end(),
                                    [&](const ScriptElement& e) { return &e == element; });
    if (found == Elements.end()) {
        return false;
    }
    Elements.erase(found);
    RenumberElements();
    return true;
}

void Script::RenumberElements() {
    std::int32_t position = 0;
    for (ScriptElement& element : Elements) {
        element.Position = ++position;
    }
}

std::string Script::TakeAutoSerial() {
    const std::int32_t serial = SerialCounter;
    // The counter wraps like the stored 32-bit value rather than overflowing.
    SerialCounter = static_cast<std::int32_t>(std::int64_t{serial} + 1);
    return std::to_string(serial);
}

void CouponMarker::Serialize(Archive& archive) {
    std::int32_t version = 1;  // ignored on reading
    archive.Int32(version);
    archive.String(Serial);
}

namespace {

// The number a new script gets: one above the largest. A library whose
// largest number is the last an int32 holds (a hand-made or damaged file)
// gets the smallest number not in use instead, so that numbers stay at 1 or
// above and never repeat.
std::int32_t NextScriptNumber(const std::vector<std::unique_ptr<Script>>& scripts) {
    std::int32_t largest = 0;
    for (const auto& script : scripts) {
        largest = std::max(largest, script->ScriptNumber);
    }
    if (largest < std::numeric_limits<std::int32_t>::max()) {
        return largest + 1;
    }
    std::vector<std::int32_t> used;
    for (const auto& script : scripts) {
        used.push_back(script->ScriptNumber);
    }
    std::sort(used.begin(), used.end());
    std::int32_t free = 1;
    for (const std::int32_t number : used) {
        if (number == free) {
            ++free;
        } else if (number > free) {
            break;
        }
    }
    return free;
}

}  // namespace

Script& CreateScript(std::vector<std::unique_ptr<Script>>& scripts) {
    const std::int32_t number = NextScriptNumber(scripts);
    auto script = std::make_unique<Script>();
    script->ScriptNumber = number;
    script->Description = "Untitled Script - " + std::to_string(number);
    scripts.push_back(std::move(script));
    return *scripts.back();
}

}  // namespace orvik
