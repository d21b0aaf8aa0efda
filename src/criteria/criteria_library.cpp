#include "criteria/criteria_library.h"

#include <algorithm>
#include <cstdint>

#include "base/archive.h"
#include "base/file_store.h"

namespace orvik {
namespace {

constexpr const char* kLogSource = "criteria";

// Destroys the element of `list` that is `item`; false when there is none.
template <typename T>
bool EraseOwned(std::vector<std::unique_ptr<T>>& list, const T* item) {
    const auto found = std::find_if(list.begin(), list.end(),
                                    [&](const auto& owned) { return owned.get() == item; });
    if (found == list.end()) {
        return false;
    }
    list.erase(found);
    return true;
}

std::string DamagedLibraryMessage(const std::string& path, const std::string& reason) {
    return "The criteria library " + path + " cannot be read (" + reason +
           "). The file has been left untouched and the program starts with an empty library.";
}

}  // namespace

void CriteriaLibrary::Clear() {
    Criteria.clear();
    Scripts.clear();
    Preferences = ReportPreferences();
    PromptForTraceName = 0;
    FileVersion = kLibraryVersion;
}

void CriteriaLibrary::Serialize(Archive& archive) {
    std::int32_t version = kLibraryVersion;
    archive.Int32(version);
    FileVersion = version;
    if (version > 2) {
        for (std::string* text :
             {&Preferences.CompanyName, &Preferences.Address1, &Preferences.Address2,
              &Preferences.Telephone, &Preferences.Fax, &Preferences.Email, &Preferences.Web,
              &Preferences.DefaultPrefix, &Preferences.DefaultPostfix}) {
            archive.String(*text);
        }
        archive.Int32(PromptForTraceName);
    }
    SerializeList(
        archive, Criteria,
        [&] {
            auto criterion = std::make_unique<Criterion>();
            criterion->Serialize(archive);
            Criteria.insert(Criteria.begin(), std::move(criterion));
        },
        [&](std::unique_ptr<Criterion>& criterion) { criterion->Serialize(archive); });
    if (version > 1) {
        SerializeList(
            archive, Scripts,
            [&] {
                auto script = std::make_unique<Script>();
                script->Serialize(archive);
                Scripts.push_back(std::move(script));
            },
            [&](std::unique_ptr<Script>& script) { script->Serialize(archive); });
    }
}

Result<LibraryLoadStatus> CriteriaLibrary::Load(const std::string& path) {
    Clear();
    protectDamagedFile_ = false;
    LibraryLoadStatus status = LibraryLoadStatus::Loaded;
    const Status read = Read(path, status);
    if (!read) {
        Clear();
        protectDamagedFile_ = true;
        protectedPath_ = path;
        log_->Warning(kLogSource,
                      "Damaged library " + path + " kept untouched: " + read.Error().Detail);
    } else if (status == LibraryLoadStatus::Missing) {
        log_->Info(kLogSource, "No library at " + path + "; starting empty");
    } else {
        log_->Info(kLogSource, "Loaded " + path + ": " + std::to_string(Criteria.size()) +
                                   " criteria, " + std::to_string(Scripts.size()) + " scripts");
    }
    MakeIdsUnique();
    if (!read) {
        return read.Error();
    }
    return status;
}

// Fills the library from the file; a failure's detail is the reason alone.
Status CriteriaLibrary::Read(const std::string& path, LibraryLoadStatus& status) {
    const auto bytes = ReadWholeFile(path);
    std::string reason;
    if (!bytes) {
        if (!FileExists(path)) {
            status = LibraryLoadStatus::Missing;
            return {};
        }
        reason = bytes.Error().Message;
    } else {
        try {
            Archive archive = Archive::ForLoading(*bytes);
            Serialize(archive);
            return {};
        } catch (const ArchiveError& failure) {
            reason = failure.what();
        } catch (const std::bad_alloc&) {
            reason = "not enough memory";
        }
    }
    return Failure{DamagedLibraryMessage(path, reason), reason};
}

Status CriteriaLibrary::Save(const std::string& path) {
    if (protectDamagedFile_ && path == protectedPath_) {
        log_->Warning(kLogSource, "Save over the damaged library " + path + " refused");
        return Failure{path +
                           " was not saved: it holds a damaged library that is kept until "
                           "you agree to replace it.",
                       ""};
    }
    Archive archive = Archive::ForStoring();
    Serialize(archive);
    Status saved = SaveFileAtomically(path, archive.Bytes());
    if (!saved) {
        log_->Error(kLogSource, "Save of " + path + " failed: " + saved.Error().Message);
    }
    return saved;
}

Criterion* CriteriaLibrary::FindById(std::int32_t id) const {
    for (const auto& criterion : Criteria) {
        if (criterion->Id == id) {
            return criterion.get();
        }
    }
    return nullptr;
}

Criterion& CriteriaLibrary::AddCriterion(const Criterion& values) {
    std::int64_t largest = -1;
    for (const auto& criterion : Criteria) {
        largest = std::max<std::int64_t>(largest, criterion->Id);
    }
    auto criterion = std::make_unique<Criterion>(values);
    criterion->Id = largest < INT32_MAX ? static_cast<std::int32_t>(largest + 1) : UnusedId();
    Criteria.push_back(std::move(criterion));
    return *Criteria.back();
}

bool CriteriaLibrary::RemoveCriterion(const Criterion* criterion) {
    return EraseOwned(Criteria, criterion);
}

bool CriteriaLibrary::RemoveScript(const Script* script) {
    return EraseOwned(Scripts, script);
}

// Only reached when a file holds ids up to 2147483647, where the next number
// would not fit: the smallest id that no criterion uses instead.
std::int32_t CriteriaLibrary::UnusedId() const {
    std::int32_t candidate = 0;
    while (FindById(candidate) != nullptr) {
        ++candidate;
    }
    return candidate;
}

// Counted in 64 bits so that an id of 2147483647 in a file cannot overflow;
// the ids themselves stay 32-bit.
void CriteriaLibrary::MakeIdsUnique() {
    std::int64_t next = 1;
    for (std::size_t c = 0; c < Criteria.size(); ++c) {
        Criterion& current = *Criteria[c];
        if (current.Id >= next) {
            next = std::int64_t{current.Id} + 1;
        }
        for (std::size_t d = c + 1; d < Criteria.size(); ++d) {
            const Criterion& later = *Criteria[d];
            if (later.Id >= next) {
                next = std::int64_t{later.Id} + 1;
            }
            if (later.Id == current.Id) {
                current.Id = next <= INT32_MAX ? static_cast<std::int32_t>(next) : UnusedId();
                ++next;
            }
        }
    }
}

}  // namespace orvik
