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

// Whether a failure to create a file in a folder is the folder's refusal.
bool FolderRefuses(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
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
        stamp_ = other.stamp_;
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
    const FileStamp stamp = FileStamp::Of(status);
    if (S_ISREG(status.st_mode) && size >= kMapThreshold) {
        // A private mapping: later changes to the file cannot reach a reader
        // that is half way through it.
        void* mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.get(), 0);
        if (mapping != MAP_FAILED) {
            FileBytes bytes;
            bytes.mapping_ = mapping;
            bytes.data_ = static_cast<const std::uint8_t*>(mapping);
            bytes.size_ = size;
            bytes.stamp_ = stamp;
            return bytes;
        }
    }
    auto bytes = ReadByParts(file.get(), size, path);
    if (!bytes) {
        return bytes.Error();
    }
    FileBytes read(std::move(*bytes));
    read.stamp_ = stamp;
    return read;
}

AtomicFileWriter::AtomicFileWriter(std::string path) : path_(std::move(path)) {
    Result<SaveTarget> target = ResolveSaveTarget(path_);
    if (!target) {
        failure_ = target.Error();
        return;
    }
    target_ = std::move(*target);
    if (target_.What != SaveTarget::Kind::Stream) {
        CreateTemporary();
        return;
    }
    // What is read from it, or thrown away, is what the operator chose; it
    // is opened as it is, and a FIFO waits here for its reader.
    fd_ = ::open(target_.Path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        Fail("Cannot open");
    }
}

void AtomicFileWriter::CreateTemporary() {
    // An unnamed file can only be given its name through /proc without
    // privileges; without /proc the temporary file is named from the start.
    if (::access("/proc/self/fd", X_OK) == 0) {
        fd_ = ::open(target_.Folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        unnamed_ = fd_ >= 0;
    }
    if (fd_ < 0) {
        temporary_ = TemporaryFileName(target_.Path, "XXXXXX");
        fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    }
    if (fd_ < 0) {
        temporary_.clear();
        if (FolderRefuses(errno)) {
            failure_ = Failure{"Cannot write " + path_ + ": the folder " + target_.Folder +
                                   " is not writable (" + std::strerror(errno) + ")",
                               ""};
        } else {
            Fail("Cannot create");
        }
        return;
    }
    if (target_.What == SaveTarget::Kind::ReplaceFile) {
        // The owner first: changing it clears the set-id bits the mode may have.
        if (::fchown(fd_, target_.Owner, target_.Group) != 0) {
            // Only the group, where this user belongs to it; otherwise the new
            // file is ours, as any file this user creates would be.
            const bool groupKept = ::fchown(fd_, static_cast<uid_t>(-1), target_.Group) == 0;
            static_cast<void>(groupKept);
        }
        ::fchmod(fd_, target_.Mode);
    } else if (!unnamed_) {
        // mkstemp creates the file for its owner only; a new file should get
        // the usual permissions, as if it had been created directly.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
}

bool AtomicFileWriter::NameUnnamedFile() {
    // rename needs a name to move over the target; the file gets a fresh
    // hidden one just before, so the moment it is visible is as short as the
    // two calls.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temporary_ = TemporaryFileName(target_.Path,
                                       std::to_string(::getpid()) + "-" + std::to_string(attempt));
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
    if (target_.What != SaveTarget::Kind::Stream && written_ - flushedUpTo_ >= kWritebackStep) {
        // Start the disk on what is written so far without waiting for it.
        ::sync_file_range(fd_, static_cast<off_t>(flushedUpTo_),
                          static_cast<off_t>(written_ - flushedUpTo_), SYNC_FILE_RANGE_WRITE);
        flushedUpTo_ = written_;
    }
}

Status AtomicFileWriter::Commit(const std::function<void()>& beforeReplace) {
    if (!failure_ && target_.What == SaveTarget::Kind::Stream) {
        if (::close(std::exchange(fd_, -1)) != 0) {
            Fail("Cannot write");
        }
    } else if (!failure_) {
        Replace(beforeReplace);
    }
    if (failure_) {
        Discard();
        return *failure_;
    }
    return {};
}

// The temporary file's bytes reach the disk before its name replaces the
// target's, and the folder's new entry reaches it before the save counts as
// done: whatever follows a save (the recovery journal emptied) may rely on it.
void AtomicFileWriter::Replace(const std::function<void()>& beforeReplace) {
    struct stat written {};
    if (::fsync(fd_) != 0 || ::fstat(fd_, &written) != 0) {
        Fail("Cannot write");
    }
    if (!failure_ && unnamed_ && !NameUnnamedFile()) {
        Fail("Cannot create");
    }
    if (!failure_ && ::close(std::exchange(fd_, -1)) != 0) {
        Fail("Cannot write");
    }
    if (!failure_ && beforeReplace) {
        beforeReplace();
    }
    if (!failure_ && ::rename(temporary_.c_str(), target_.Path.c_str()) != 0) {
        Fail("Cannot replace");
    }
    if (failure_) {
        return;
    }
    temporary_.clear();
    if (const Status synced = SyncFolder(target_.Folder); !synced) {
        // The new file is in place; only its name may not outlast a power cut.
        failure_ = synced.Error();
        return;
    }
    stamp_ = FileStamp::Of(written);
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
