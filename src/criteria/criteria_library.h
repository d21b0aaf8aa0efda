#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/diagnostic_log.h"
#include "base/failure.h"
#include "criteria/criterion.h"
#include "criteria/report_preferences.h"
#include "script/script.h"

namespace orvik {

class Archive;

inline constexpr const char* kCriteriaFileName = "criteria.dat";

// How a library was loaded. A file that exists but cannot be read or makes
// no sense is a failure instead.
enum class LibraryLoadStatus {
    Loaded,   // the file was read
    Missing,  // no file: the empty defaults are kept, which is not an error
};

// The criteria, scripts, report preferences and trace-name flag, stored
// together in criteria.dat.
class CriteriaLibrary {
  public:
    static constexpr std::int32_t kLibraryVersion = 3;

    std::vector<std::unique_ptr<Criterion>> Criteria;
    std::vector<std::unique_ptr<Script>> Scripts;
    ReportPreferences Preferences;
    std::int32_t PromptForTraceName = 0;
    // Version of the file last read (3 when none was); saving always writes 3.
    std::int32_t FileVersion = kLibraryVersion;

    // Replaces the whole library with the file's contents. A criterion read
    // goes to the front of the list, so the list holds them in the reverse of
    // the file's order; scripts keep the file's order. Ids are made unique
    // afterwards whether or not a file was read. A damaged file fails with one
    // sentence for the operator naming the file and the reason (the reason
    // alone is the detail); it leaves the library empty and is protected from
    // being saved over (see Save).
    Result<LibraryLoadStatus> Load(const std::string& path = kCriteriaFileName);

    // Writes version 3 through a temporary file. Refused while the file that
    // was last loaded is damaged and the operator has not agreed to replace it.
    Status Save(const std::string& path = kCriteriaFileName);
    void Serialize(Archive& archive);

    // Where damaged files and failed saves are recorded; none by default.
    void SetLog(DiagnosticLog& log) { log_ = &log; }

    bool OverwriteProtected() const { return protectDamagedFile_; }
    // The operator has been told about the damaged file and lets it be replaced.
    void AllowOverwrite() { protectDamagedFile_ = false; }

    // Told of each criterion just before the library destroys it (a Delete in
    // the Criteria Manager, a Load), so that whatever lists criteria lets go of
    // it first. One watcher at a time; none to stop.
    void SetRemovalWatcher(std::function<void(const Criterion&)> watcher) {
        removalWatcher_ = std::move(watcher);
    }

    Criterion* FindById(std::int32_t id) const;
    // Appends a criterion with an id one greater than the largest in the list.
    Criterion& AddCriterion(const Criterion& values = Criterion());
    bool RemoveCriterion(const Criterion* criterion);
    Script& AddScript() { return CreateScript(Scripts); }
    bool RemoveScript(const Script* script);

    // Renumbers duplicate ids: of two criteria with the same id the earlier in
    // the list receives a fresh number larger than every id seen so far.
    void MakeIdsUnique();

  private:
    void Clear();
    std::int32_t UnusedId() const;

    Status Read(const std::string& path, LibraryLoadStatus& status);

    void WillRemove(const Criterion& criterion) const;

    std::function<void(const Criterion&)> removalWatcher_;
    bool protectDamagedFile_ = false;
    std::string protectedPath_;
    DiagnosticLog* log_ = &DiagnosticLog::Null();
};

}  // namespace orvik
