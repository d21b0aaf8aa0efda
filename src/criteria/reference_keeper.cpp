#include "criteria/reference_keeper.h"

namespace orvik {
namespace {
constexpr const char* kLogSource = "references";
}  // namespace

std::optional<Failure> ReferenceKeeper::Load(const std::string& libraryPath) {
    path_ = ReferenceFilePath(libraryPath);
    ReferenceFileLoad load = LoadReferenceFile(path_);
    references_ = std::move(load.References);
    if (load.Missing) {
        log_->Info(kLogSource, "no reference curves: " + path_ + " does not exist");
    }
    if (load.Damage) {
        log_->Warning(kLogSource, load.Damage->Message + " " + load.Damage->Detail);
    }
    return load.Damage;
}

Status ReferenceKeeper::Mark(CriterionReference reference) {
    if (const std::string problem = ReferenceProblem(reference); !problem.empty()) {
        return Failure{"This trace cannot be the reference: " + problem + ".", ""};
    }
    const ReferenceSet previous = references_;
    references_.Set(std::move(reference));
    return SaveOrRestore(previous);
}

Status ReferenceKeeper::Clear(std::int32_t criterionId) {
    const ReferenceSet previous = references_;
    if (!references_.Clear(criterionId)) {
        return {};
    }
    return SaveOrRestore(previous);
}

Status ReferenceKeeper::SaveOrRestore(const ReferenceSet& previous) {
    Status saved = SaveReferenceFile(path_, references_);
    if (!saved) {
        // What the tests judge by must be what the file holds.
        references_ = previous;
        log_->Warning(kLogSource, saved.Error().Message + " " + saved.Error().Detail);
    }
    return saved;
}

}  // namespace orvik
