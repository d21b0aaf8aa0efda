#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/collection_item.h"
#include "results/measurement.h"

namespace orvik::results {

// What a collection does not say about its traces: where and with what they
// were measured, by whom outside a scripted run, and the collection's file.
struct RecordingContext {
    std::optional<StationIdentity> Station;
    std::optional<InstrumentIdentity> Instrument;
    std::string Operator;        // for traces without a script that names one
    std::string CollectionFile;  // empty while untitled
};

using ItemSpan = std::span<const std::unique_ptr<CollectionItem>>;

// The measurement of the trace at `index` of a collection's items (which
// must be a trace), grouped as the test tree groups it: a trace recorded in
// a scripted run belongs to the script item and the coupon marker before it,
// the run started with the first trace after the script item, and its test
// is the script element at the trace's position.
Measurement MeasurementOf(ItemSpan items, std::size_t index, const RecordingContext& context);

// The measurements of every trace of the items, in their order.
std::vector<Measurement> MeasurementsOf(ItemSpan items, const RecordingContext& context);

}  // namespace orvik::results
