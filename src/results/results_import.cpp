#include "results/results_import.h"

#include <filesystem>

#include "collection/orvik_doc.h"

namespace orvik::results {
namespace {

// Measurements sent in one transaction while importing.
constexpr std::size_t kImportBatch = 500;

}  // namespace

Result<ImportCounts> ImportCollections(std::span<const std::string> paths, ResultsStore& store,
                                       const RecordingContext& context) {
    ImportCounts counts;
    for (const std::string& path : paths) {
        COrvikDoc document;
        if (const Status opened = document.Open(path); !opened) {
            return Failure{path + ": " + opened.Error().Message, opened.Error().Detail};
        }
        RecordingContext file = context;
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        file.CollectionFile = error ? path : absolute.lexically_normal().string();
        const std::vector<Measurement> measurements = MeasurementsOf(document.Items(), file);
        for (std::size_t first = 0; first < measurements.size(); first += kImportBatch) {
            const std::size_t count = std::min(kImportBatch, measurements.size() - first);
            const Result<StoreCounts> stored =
                store.Store(std::span(measurements).subspan(first, count));
            if (!stored) {
                return stored.Error();
            }
            counts.Imported += stored->Stored;
            counts.AlreadyPresent += stored->AlreadyPresent;
        }
    }
    return counts;
}

}  // namespace orvik::results
