#include "base/abandoned_files.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "base/file_store.h"

namespace orvik {
namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// "PID-N" as a save names its temporary file; the process id, else empty.
std::string SaverOf(const std::string& suffix) {
    const std::size_t dash = suffix.find('-');
    if (dash == std::string::npos || !AllDigits(suffix.substr(dash + 1))) {
        return {};
    }
    const std::string pid = suffix.substr(0, dash);
    return AllDigits(pid) ? pid : std::string();
}

std::size_t RemoveBeside(const std::filesystem::path& target) {
    namespace fs = std::filesystem;
    const std::string prefix = fs::path(TemporaryFileName(target.string(), "")).filename().string();
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::size_t removed = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix)) {
            continue;
        }
        const std::string pid = SaverOf(name.substr(prefix.size()));
        std::error_code statError;
        if (!pid.empty() && !ProcessIsAlive(pid) && it->is_regular_file(statError) &&
            ::unlink(it->path().c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace

bool ProcessIsAlive(const std::string& pid) {
    errno = 0;
    const long number = std::strtol(pid.c_str(), nullptr, 10);
    if (!AllDigits(pid) || number <= 0 || errno != 0) {
        return true;
    }
    return ::kill(static_cast<pid_t>(number), 0) == 0 || errno != ESRCH;
}

std::size_t RemoveAbandonedSaveFiles(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) {
        return 0;
    }
    std::set<fs::path> targets{fs::path(path)};
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    if (!error) {
        targets.insert(resolved);
    }
    std::size_t removed = 0;
    for (const fs::path& target : targets) {
        removed += RemoveBeside(target);
    }
    return removed;
}

}  // namespace orvik
