#include "base/file_identity.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

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

FileHold::FileHold(const std::string& path) : fd_(OpenRegularFile(path)) {
    if (fd_ >= 0 && ::flock(fd_, LOCK_SH | LOCK_NB) != 0) {
        Release();
    }
}

FileHold::~FileHold() {
    Release();
}

FileHold::FileHold(FileHold&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileHold& FileHold::operator=(FileHold&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void FileHold::Release() {
    if (fd_ >= 0) {
        ::close(fd_);  // and with it the lock
        fd_ = -1;
    }
}

bool FileIsHeld(const std::string& path) {
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return false;
    }
    // A shared hold anywhere keeps an exclusive lock out.
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace orvik
