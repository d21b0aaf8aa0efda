#pragma once

#include <span>
#include <string>

#include "base/failure.h"
#include "results/collection_measurements.h"
#include "results/results_store.h"

namespace orvik::results {

struct ImportCounts {
    std::size_t Imported = 0;
    std::size_t AlreadyPresent = 0;
};

// Stores the traces of the collection files in the store, file by file;
// a trace stored before (by the station that recorded it, or by an earlier
// import) is counted, not stored again. A file that cannot be read stops the
// import with its message; what earlier files stored stays, so that running
// it again once the file is fixed completes it.
Result<ImportCounts> ImportCollections(std::span<const std::string> paths, ResultsStore& store,
                                       const RecordingContext& context = {});

}  // namespace orvik::results
