#include "criteria/file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace orvik {
namespace {

std::string DescribeErrno(const std::string& action, const std::string& path) {
    return action + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       std::string* error) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
        if (error) {
            *error = DescribeErrno("Cannot open", path);
        }
        return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
        if (error) {
            *error = "Cannot open " + path + ": it is a folder";
        }
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            // The size may have grown since fstat; keep reading until the end.
            bytes.resize(bytes.size() + 65536);
        }
        const ssize_t got = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (error) {
                *error = DescribeErrno("Cannot read", path);
            }
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

FileResult SaveFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::string temporary = path + ".XXXXXX";
    FileDescriptor file(::mkstemp(temporary.data()));
    if (file.get() < 0) {
        return FileResult::Failure(DescribeErrno("Cannot create", path));
    }
    // mkstemp creates the file for its owner only; a saved document should get
    // the usual permissions, as if it had been created directly.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file.get(), 0666 & ~mask);

    if (!WriteAll(file.get(), bytes) || ::fsync(file.get()) != 0) {
        const FileResult failure = FileResult::Failure(DescribeErrno("Cannot write", path));
        ::unlink(temporary.c_str());
        return failure;
    }
    if (::close(file.release()) != 0) {
        const FileResult failure = FileResult::Failure(DescribeErrno("Cannot write", path));
        ::unlink(temporary.c_str());
        return failure;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const FileResult failure = FileResult::Failure(DescribeErrno("Cannot replace", path));
        ::unlink(temporary.c_str());
        return failure;
    }
    return FileResult::Success();
}

bool FileExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

}  // namespace orvik
