#pragma once

#include <optional>
#include <string>

#include "base/station_ports.h"
#include "results/collection_measurements.h"
#include "results/measurement.h"
#include "results/results_recorder.h"

namespace orvik {
class COrvikDoc;
struct StartUpFindings;
}  // namespace orvik

namespace orvik::results {

// A station's side of the results database: each trace that Record Test
// files becomes a measurement, with the station, the instrument and the
// operator, handed to the recorder. Runs on the window thread; the work
// there is building the measurement, the database is the recorder's.
class StationResults : public FiledTraceListener {
  public:
    explicit StationResults(ResultsRecorder& recorder, StationIdentity station = ThisStation());

    // The instrument as start-up (or a saved calibration) found it; none
    // while no instrument has been found.
    void SetInstrument(std::optional<InstrumentIdentity> instrument) {
        instrument_ = std::move(instrument);
    }

    void TraceFiled(const COrvikDoc& document, const CollectionItem& trace) override;
    // Every trace of a collection, as when each was filed: a recovered
    // collection's traces, of which the database may hold some already.
    void FileCollection(const COrvikDoc& document);

    // This machine's host name, as name and host.
    static StationIdentity ThisStation();
    // Who is logged in: the operator of traces recorded outside a script.
    static std::string LoginName();

  private:
    RecordingContext ContextOf(const COrvikDoc& document) const;

    ResultsRecorder& recorder_;
    StationIdentity station_;
    std::optional<InstrumentIdentity> instrument_;
    std::string operator_ = LoginName();
};

// The instrument that start-up found, for the measurements; none when it
// found none.
std::optional<InstrumentIdentity> InstrumentOf(const StartUpFindings& findings,
                                               const std::string& calibrationOperator,
                                               const std::string& calibrationDate);

}  // namespace orvik::results
