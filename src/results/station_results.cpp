#include "results/station_results.h"

#include <pwd.h>
#include <unistd.h>

#include "collection/orvik_doc.h"
#include "instrument/device_startup.h"
#include "results/collection_measurements.h"
#include "results/text_encoding.h"

namespace orvik::results {

StationResults::StationResults(ResultsRecorder& recorder, StationIdentity station)
    : recorder_(recorder), station_(std::move(station)) {}

StationIdentity StationResults::ThisStation() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) {
        host[0] = '\0';
    }
    return {host, host};
}

std::string StationResults::LoginName() {
    if (const passwd* user = ::getpwuid(::geteuid()); user != nullptr && user->pw_name) {
        return user->pw_name;
    }
    return {};
}

RecordingContext StationResults::ContextOf(const COrvikDoc& document) const {
    return {station_, instrument_, operator_, document.Path()};
}

void StationResults::TraceFiled(const COrvikDoc& document, const CollectionItem& trace) {
    const std::ptrdiff_t index = document.IndexOf(&trace);
    if (index < 0) {
        return;
    }
    recorder_.Record(
        MeasurementOf(document.Items(), static_cast<std::size_t>(index), ContextOf(document)));
}

void StationResults::FileCollection(const COrvikDoc& document) {
    recorder_.Record(MeasurementsOf(document.Items(), ContextOf(document)));
}

std::optional<InstrumentIdentity> InstrumentOf(const StartUpFindings& findings,
                                               const std::string& calibrationOperator,
                                               const std::string& calibrationDate) {
    if (!findings.instrumentFound) {
        return std::nullopt;
    }
    return InstrumentIdentity{FromLatin1(findings.serialNumber), findings.releaseNumber,
                              FromLatin1(calibrationDate), FromLatin1(calibrationOperator)};
}

}  // namespace orvik::results
