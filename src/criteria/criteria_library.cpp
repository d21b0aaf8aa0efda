#include "criteria/criteria_library.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

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

void CriteriaLibrary::WillRemove(const Criterion& criterion) const {
    if (removalWatcher_) {
        removalWatcher_(criterion);
    }
}

void CriteriaLibrary::Clear() {
    for (const auto& criterion : Criteria) {
        WillRemove(*criterion);
    }
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
    // Each criterion read goes to the front of the list. They are collected
    // in file order and put in front together (also when the stream breaks
    // off), so that a long list costs no more than its reading.
    std::vector<std::unique_ptr<Criterion>> read;
    const auto putInFront = [&] {
        Criteria.insert(Criteria.begin(), std::make_move_iterator(read.rbegin()),
                        std::make_move_iterator(read.rend()));
        read.clear();
    };
    try {
        SerializeList(
            archive, Criteria,
            [&] {
                auto criterion = std::make_unique<Criterion>();
                criterion->Serialize(archive);
                read.push_back(std::move(criterion));
            },
            [&](std::unique_ptr<Criterion>& criterion) { criterion->Serialize(archive); });
    } catch (...) {
        putInFront();
        throw;
    }
    putInFront();
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
    const auto found = std::find_if(Criteria.begin(), Criteria.end(),
                                    [&](const auto& owned) { return owned.get() == criterion; });
    if (found == Criteria.end()) {
        return false;
    }
    WillRemove(**found);
    Criteria.erase(found);
    return true;
}

bool CriteriaLibrary::RemoveScript(const Script* script) {
    return EraseOwned(Scripts, script);
}

// Only reached when the largest id is 2147483647, where the next number would
// not fit: the smallest id that no criterion uses instead.
std::int32_t CriteriaLibrary::UnusedId() const {
    std::int32_t candidate = 0;
    while (FindById(candidate) != nullptr) {
        ++candidate;
    }
    return candidate;
}

namespace {

// The ids in use while duplicates are renumbered. A criterion only gives up
// its id to a later one that keeps it, so ids never fall out of use and the
// smallest unused id only grows: finding it costs nothing over the whole run.
class IdsInUse {
  public:
    explicit IdsInUse(const std::vector<std::unique_ptr<Criterion>>& criteria) {
        for (const auto& criterion : criteria) {
            Add(criterion->Id);
        }
    }
    void Add(std::int32_t id) { used_.insert(id); }
    // Only needed when a file holds ids up to 2147483647, where the next
    // number would not fit.
    std::int32_t SmallestUnused() {
        while (used_.count(candidate_) != 0) {
            ++candidate_;
        }
        return candidate_;
    }

  private:
    std::unordered_set<std::int32_t> used_;
    std::int32_t candidate_ = 0;
};

}  // namespace

// Counted in 64 bits so that an id of 2147483647 in a file cannot overflow;
// the ids themselves stay 32-bit. Of two criteria with one id the earlier is
// renumbered: the first criterion against each later one in turn, every
// other criterion once when a later one shares its id. Counts of the later
// ids keep this linear; a library read from a file may hold any number.
void CriteriaLibrary::MakeIdsUnique() {
    if (Criteria.empty()) {
        return;
    }
    IdsInUse used(Criteria);
    std::int64_t next = 1;
    const auto fresh = [&] {
        const std::int32_t id =
            next <= INT32_MAX ? static_cast<std::int32_t>(next) : used.SmallestUnused();
        ++next;
        used.Add(id);
        return id;
    };
    Criterion& first = *Criteria.front();
    next = std::max<std::int64_t>(next, std::int64_t{first.Id} + 1);
    for (std::size_t d = 1; d < Criteria.size(); ++d) {
        const Criterion& later = *Criteria[d];
        next = std::max<std::int64_t>(next, std::int64_t{later.Id} + 1);
        if (later.Id == first.Id) {
            first.Id = fresh();
        }
    }
    // From here on `next` lies above every id, so a fresh id matches no other.
    std::unordered_map<std::int32_t, std::size_t> laterCount;
    for (std::size_t d = 1; d < Criteria.size(); ++d) {
        ++laterCount[Criteria[d]->Id];
    }
    for (std::size_t c = 1; c < Criteria.size(); ++c) {
        Criterion& current = *Criteria[c];
        if (--laterCount[current.Id] > 0) {
            current.Id = fresh();
        }
    }
}

}  // namespace orvik
