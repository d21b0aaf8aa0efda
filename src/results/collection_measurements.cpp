#include "results/collection_measurements.h"

#include "collection/trace_record.h"
#include "results/measurement_identity.h"
#include "results/profile_codec.h"
#include "results/text_encoding.h"
#include "script/script.h"

namespace orvik::results {
namespace {

// The script item and coupon marker a trace of a scripted run is filed under.
struct Grouping {
    const Script* RunScript = nullptr;
    const CouponMarker* Coupon = nullptr;
    std::int64_t Started = 0;
};

const TraceRecord* TraceAt(ItemSpan items, std::size_t index) {
    return dynamic_cast<const TraceRecord*>(items[index].get());
}

// The run starts with the first trace after its script item.
std::int64_t RunStart(ItemSpan items, std::size_t scriptIndex, std::int64_t otherwise) {
    for (std::size_t i = scriptIndex + 1; i < items.size(); ++i) {
        if (const TraceRecord* trace = TraceAt(items, i)) {
            return trace->Time;
        }
    }
    return otherwise;
}

// Walks back from the trace to its coupon marker and script item; a trace
// recorded outside a script ends the search, as it ends a group in the tree.
Grouping GroupOf(ItemSpan items, std::size_t index) {
    Grouping grouping;
    const TraceRecord* trace = TraceAt(items, index);
    if (trace == nullptr || trace->Tag != kTagScriptedRun) {
        return grouping;
    }
    for (std::size_t i = index; i-- > 0;) {
        const CollectionItem* item = items[i].get();
        if (const auto* script = dynamic_cast<const Script*>(item)) {
            grouping.RunScript = script;
            grouping.Started = RunStart(items, i, trace->Time);
            return grouping;
        }
        if (const auto* marker = dynamic_cast<const CouponMarker*>(item)) {
            grouping.Coupon = grouping.Coupon ? grouping.Coupon : marker;
        } else if (const auto* earlier = dynamic_cast<const TraceRecord*>(item);
                   earlier != nullptr && earlier->Tag != kTagScriptedRun) {
            break;
        }
    }
    return {};
}

std::optional<std::string> Postfix(const Script& script, std::int32_t position) {
    for (const ScriptElement& element : script.Elements) {
        if (element.Position == position) {
            return FromLatin1(element.Postfix);
        }
    }
    return std::nullopt;
}

Measurement Build(const TraceRecord& trace, std::size_t index, const Grouping& grouping,
                  const RecordingContext& context) {
    Measurement m;
    m.Uuid = MeasurementUuid(trace);
    m.Station = context.Station;
    m.Instrument = context.Instrument;
    m.Operator = context.Operator;
    if (const Script* script = grouping.RunScript) {
        m.Run = ScriptRunInfo{FromLatin1(script->Description), FromLatin1(script->Customer),
                              FromLatin1(script->JobNumber),   FromLatin1(script->StationId),
                              FromLatin1(script->Operator),    grouping.Started};
        if (!script->Operator.empty()) {
            m.Operator = m.Run->Operator;
        }
        m.Coupon = grouping.Coupon ? FromLatin1(grouping.Coupon->Serial) : std::string();
        m.Test = Postfix(*script, trace.ElementPosition);
    }
    m.ElementPosition = trace.ElementPosition;
    m.Name = FromLatin1(trace.Name);
    m.Time = trace.Time;
    m.Mode = trace.Criteria.Mode();
    m.Average = trace.Average;
    m.Deviation = trace.Deviation;
    m.Minimum = trace.Minimum;
    m.Maximum = trace.Maximum;
    m.Passed = trace.Passed;
    m.Judged = trace.Criteria;
    m.Judged.Id = 0;
    m.Judged.Name = FromLatin1(trace.Criteria.Name);
    m.CollectionFile = context.CollectionFile;
    m.CollectionItem = static_cast<std::int32_t>(index);
    m.Profile = ProfileOf(trace.Samples);
    return m;
}

}  // namespace

Measurement MeasurementOf(ItemSpan items, std::size_t index, const RecordingContext& context) {
    return Build(*TraceAt(items, index), index, GroupOf(items, index), context);
}

std::vector<Measurement> MeasurementsOf(ItemSpan items, const RecordingContext& context) {
    std::vector<Measurement> measurements;
    Grouping grouping;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const CollectionItem* item = items[i].get();
        if (const auto* script = dynamic_cast<const Script*>(item)) {
            grouping = {script, nullptr, 0};
            grouping.Started = RunStart(items, i, 0);
        } else if (const auto* marker = dynamic_cast<const CouponMarker*>(item)) {
            grouping.Coupon = marker;
        } else if (const auto* trace = dynamic_cast<const TraceRecord*>(item)) {
            if (trace->Tag != kTagScriptedRun) {
                grouping = {};
            }
            measurements.push_back(Build(*trace, i, grouping, context));
        }
    }
    return measurements;
}

}  // namespace orvik::results
