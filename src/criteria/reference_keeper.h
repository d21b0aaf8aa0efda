#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/diagnostic_log.h"
#include "base/failure.h"
#include "criteria/criterion_reference.h"

namespace orvik {

// The criteria's reference curves as the program keeps them: read from the
// side file beside the library, and written back there on every change.
class ReferenceKeeper {
  public:
    // Reads the side file beside `libraryPath`, replacing what was kept. A
    // damaged or unreadable file leaves no references and is returned, once,
    // for the operator; a missing one is only noted in the log.
    std::optional<Failure> Load(const std::string& libraryPath);

    const ReferenceSet& References() const { return references_; }
    const std::string& Path() const { return path_; }

    // Makes `reference` its criterion's reference and saves. A reference
    // that cannot be used, or a failed save, changes nothing and says why.
    Status Mark(CriterionReference reference);
    // Drops the criterion's reference and saves; nothing to do when it has none.
    Status Clear(std::int32_t criterionId);

    void SetLog(DiagnosticLog& log) { log_ = &log; }

  private:
    Status SaveOrRestore(const ReferenceSet& previous);

    std::string path_ = ReferenceFilePath("criteria.dat");
    ReferenceSet references_;
    DiagnosticLog* log_ = &DiagnosticLog::Null();
};

inline constexpr const char* kReferenceCaption = "Reference curve";

}  // namespace orvik
