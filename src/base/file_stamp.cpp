#include "base/file_stamp.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

#include "base/save_target.h"

namespace orvik {
namespace {

// Opened without blocking, so that a FIFO put where a collection was does
// not stop the program; only regular files are held.
int OpenRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat status {};
    if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The user's own folder for the locks on names: $XDG_RUNTIME_DIR/orvik-holds,
// else /tmp/orvik-holds-UID. A folder there that is not the user's own (or
// is a link) is not used.
std::optional<std::string> HoldFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime != nullptr && runtime[0] == '/'
                                   ? std::string(runtime) + "/orvik-holds"
                                   : "/tmp/orvik-holds-" + std::to_string(::geteuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::geteuid()) {
        return std::nullopt;
    }
    return folder;
}

// The lock file standing for the file `path` names: its links followed and
// its folder's path made canonical, so that every way to the file meets at
// one name.
std::optional<std::string> NameLock(const std::string& path) {
    const Result<SaveTarget> target = ResolveSaveTarget(path);
    if (!target || target->What == SaveTarget::Kind::Stream) {
        return std::nullopt;
    }
    char* folder = ::realpath(target->Folder.c_str(), nullptr);
    if (folder == nullptr) {
        return std::nullopt;
    }
    const std::size_t slash = target->Path.rfind('/');
    const std::string file =
        std::string(folder) + "/" +
        (slash == std::string::npos ? target->Path : target->Path.substr(slash + 1));
    std::free(folder);
    const std::optional<std::string> holds = HoldFolder();
    if (!holds) {
        return std::nullopt;
    }
    char name[32];
    std::snprintf(name, sizeof name, "%016zx.lock", std::hash<std::string>{}(file));
    return *holds + "/" + name;
}

// Whether some shared lock is on `fd`: an exclusive one cannot be had.
bool Locked(int fd) {
    if (fd < 0) {
        return false;
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

int SharedLock(int fd) {
    if (fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

FileStamp FileStamp::Of(const struct stat& status) {
    return {
        static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
        static_cast<std::int64_t>(status.st_size),
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileStamp::Of(status);
}

FileHold::FileHold(const std::string& path) : file_(SharedLock(OpenRegularFile(path))) {
    if (file_ >= 0) {
        if (const std::optional<std::string> lock = NameLock(path)) {
            name_ = SharedLock(::open(lock->c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        }
    }
}

FileHold::~FileHold() {
    Release();
}

FileHold::FileHold(FileHold&& other) noexcept
    : file_(std::exchange(other.file_, -1)), name_(std::exchange(other.name_, -1)) {}

FileHold& FileHold::operator=(FileHold&& other) noexcept {
    if (this != &other) {
        Release();
        file_ = std::exchange(other.file_, -1);
        name_ = std::exchange(other.name_, -1);
    }
    return *this;
}

void FileHold::Release() {
    // Closing ends the locks. The lock file stays: removing it could let two
    // programs lock two different files of the same name.
    for (int* fd : {&file_, &name_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

bool FileIsHeld(const std::string& path) {
    if (Locked(OpenRegularFile(path))) {
        return true;
    }
    const std::optional<std::string> lock = NameLock(path);
    return lock && Locked(::open(lock->c_str(), O_RDONLY | O_CLOEXEC));
}

}  // namespace orvik
