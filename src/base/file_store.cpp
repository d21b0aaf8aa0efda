#include "base/file_store.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

namespace orvik {
namespace {

// Files smaller than this are simply read; mapping only pays for large ones.
constexpr std::size_t kMapThreshold = 1 << 20;
// Written data is handed to the disk in steps of this size while the rest is
// still being produced, so that the final flush has little left to wait for.
constexpr std::uint64_t kWritebackStep = 8 << 20;

// A failure of a file primitive names the step, the file and the system's
// reason; the operation above it decides what the operator is told.
Failure DescribeErrno(const std::string& action, const std::string& path) {
    return {action + " " + path + ": " + std::strerror(errno), ""};
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

  private:
    int fd_;
};

Result<std::vector<std::uint8_t>> ReadByParts(int fd, std::size_t expected,
                                              const std::string& path) {
    std::vector<std::uint8_t> bytes(expected > 0 ? expected : 65536);
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            bytes.resize(bytes.size() * 2);  // the file grew, or its size was unknown
        }
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return DescribeErrno("Cannot read", path);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

// The folder a file is in, as open() takes it.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

FileBytes::FileBytes(std::vector<std::uint8_t> bytes)
    : owned_(std::move(bytes)), data_(owned_.data()), size_(owned_.size()) {}

FileBytes::FileBytes(FileBytes&& other) noexcept {
    *this = std::move(other);
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        Release();
        owned_ = std::move(other.owned_);
        mapping_ = std::exchange(other.mapping_, nullptr);
        size_ = std::exchange(other.size_, 0);
        data_ = mapping_ ? static_cast<const std::uint8_t*>(mapping_) : owned_.data();
        other.data_ = nullptr;
    }
    return *this;
}

FileBytes::~FileBytes() {
    Release();
}

void FileBytes::Release() {
    if (mapping_) {
        ::munmap(mapping_, size_);
        mapping_ = nullptr;
    }
    owned_.clear();
    data_ = nullptr;
    size_ = 0;
}

Result<FileBytes> ReadWholeFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
        return DescribeErrno("Cannot open", path);
    }
    if (S_ISDIR(status.st_mode)) {
        return Failure{"Cannot open " + path + ": it is a folder", ""};
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    if (S_ISREG(status.st_mode) && size >= kMapThreshold) {
        // A private mapping: later changes to the file cannot reach a reader
        // that is half way through it.
        void* mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.get(), 0);
        if (mapping != MAP_FAILED) {
            FileBytes bytes;
            bytes.mapping_ = mapping;
            bytes.data_ = static_cast<const std::uint8_t*>(mapping);
            bytes.size_ = size;
            return bytes;
        }
    }
    auto bytes = ReadByParts(file.get(), size, path);
    if (!bytes) {
        return bytes.Error();
    }
    return FileBytes(std::move(*bytes));
}

AtomicFileWriter::AtomicFileWriter(std::string path) : path_(std::move(path)) {
    // An unnamed file can only be given its name through /proc without
    // privileges; without /proc the temporary file is named from the start.
    if (::access("/proc/self/fd", X_OK) == 0) {
        fd_ = ::open(FolderOf(path_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            unnamed_ = true;
            return;
        }
    }
    temporary_ = TemporaryFileName(path_, "XXXXXX");
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temporary_.clear();
        failure_ = DescribeErrno("Cannot create", path_);
        return;
    }
    // mkstemp creates the file for its owner only; a saved file should get the
    // usual permissions, as if it had been created directly.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

bool AtomicFileWriter::NameUnnamedFile() {
    // rename needs a name to move over the target; the file gets a fresh
    // hidden one just before, so the moment it is visible is as short as the
    // two calls.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temporary_ =
            TemporaryFileName(path_, std::to_string(::getpid()) + "-" + std::to_string(attempt));
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary_.c_str(), AT_SYMLINK_FOLLOW) ==
            0) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    temporary_.clear();
    return false;
}

AtomicFileWriter::~AtomicFileWriter() {
    Discard();
}

void AtomicFileWriter::Fail(const std::string& action) {
    if (!failure_) {
        failure_ = DescribeErrno(action, path_);
    }
}

void AtomicFileWriter::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

void AtomicFileWriter::Write(std::span<const std::uint8_t> bytes) {
    if (failure_) {
        return;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("Cannot write");
            return;
        }
        done += static_cast<std::size_t>(written);
    }
    written_ += bytes.size();
    if (written_ - flushedUpTo_ >= kWritebackStep) {
        // Start the disk on what is written so far without waiting for it.
        ::sync_file_range(fd_, static_cast<off_t>(flushedUpTo_),
                          static_cast<off_t>(written_ - flushedUpTo_), SYNC_FILE_RANGE_WRITE);
        flushedUpTo_ = written_;
    }
}

Status AtomicFileWriter::Commit(const std::function<void()>& beforeReplace) {
    if (!failure_ && ::fdatasync(fd_) != 0) {
        Fail("Cannot write");
    }
    if (!failure_ && unnamed_ && !NameUnnamedFile()) {
        Fail("Cannot create");
    }
    if (!failure_) {
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0) {
            Fail("Cannot write");
        }
    }
    if (!failure_ && beforeReplace) {
        beforeReplace();
    }
    if (!failure_ && ::rename(temporary_.c_str(), path_.c_str()) != 0) {
        Fail("Cannot replace");
    }
    if (failure_) {
        Discard();
        return *failure_;
    }
    temporary_.clear();
    return SyncFolder(FolderOf(path_));
}

Status SaveFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    AtomicFileWriter writer(path);
    writer.Write(bytes);
    return writer.Commit();
}

std::string TemporaryFileName(const std::string& path, const std::string& suffix) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + "." + suffix;
}

void ReportFileSizeLimitAsWriteFailure() {
    std::signal(SIGXFSZ, SIG_IGN);
}

Status SyncFolder(const std::string& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // EINVAL: a file system that cannot flush a folder (some network and
    // user-space ones); there is nothing more to do there.
    if (fd.get() < 0 || (::fsync(fd.get()) != 0 && errno != EINVAL)) {
        return DescribeErrno("Cannot flush the folder", folder);
    }
    return {};
}

bool FileExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

}  // namespace orvik
